#pragma once

#include <QWidget>

class EventBrowser;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QScrollBar;
class QTextEdit;

// The alarm reader tab: one alarm at a time, chosen with AlarmNum (1 = the newest), the entry of
// its resolution, and its acknowledgement while it is open (with the administrator's name while
// logged in, else a name typed).
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
    void openAcknowledge();
    void closeAcknowledge();
    void saveAcknowledge();
    // Whether a name must be typed to acknowledge (nobody is logged in).
    bool nameNeeded() const;
    // The reader's buttons follow the alarm shown and the entry open.
    void enableButtons();

    EventBrowser &m_browser;
    QLabel *m_lblAlarmRecordNum = nullptr;
    QScrollBar *m_alarmNum = nullptr;
    QTextEdit *m_rtbAlarms = nullptr;
    QPushButton *m_btnResolution = nullptr;
    QGroupBox *m_frmResolution = nullptr;
    QPlainTextEdit *m_txtResolution = nullptr;
    QPushButton *m_btnSaveResolution = nullptr;
    QPushButton *m_btnCancelResolution = nullptr;
    QLineEdit *m_txtResolutionBy = nullptr;
    QWidget *m_resolutionByRow = nullptr;
    QPushButton *m_btnAcknowledge = nullptr;
    QGroupBox *m_frmAcknowledge = nullptr;
    QLineEdit *m_txtAckBy = nullptr;
    QLineEdit *m_txtAckComment = nullptr;
    QPushButton *m_btnSaveAcknowledge = nullptr;
    QPushButton *m_btnCancelAcknowledge = nullptr;
};
