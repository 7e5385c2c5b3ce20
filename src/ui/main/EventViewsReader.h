#pragma once

#include <QWidget>

class EventBrowser;
class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QScrollBar;
class QTextEdit;

// The alarm reader tab: one alarm at a time, chosen with AlarmNum (1 = the newest), and the
// entry of its resolution.
class AlarmReaderPage final : public QWidget {
    Q_OBJECT
public:
    AlarmReaderPage(EventBrowser &browser, QWidget *parent = nullptr);

    QScrollBar *alarmNum() const { return m_alarmNum; }
    // Shows the alarm chosen by AlarmNum, after reading the alarm list again.
    void DisplayAlarms();
    // Shows the alarm picked in the alarm grid (row 0 = the newest).
    void showRow(int row);

private:
    void showReader();
    void openResolution();
    void closeResolution();
    void saveResolution();

    EventBrowser &m_browser;
    QLabel *m_lblAlarmRecordNum = nullptr;
    QScrollBar *m_alarmNum = nullptr;
    QTextEdit *m_rtbAlarms = nullptr;
    QPushButton *m_btnResolution = nullptr;
    QGroupBox *m_frmResolution = nullptr;
    QPlainTextEdit *m_txtResolution = nullptr;
    QPushButton *m_btnSaveResolution = nullptr;
    QPushButton *m_btnCancelResolution = nullptr;
};
