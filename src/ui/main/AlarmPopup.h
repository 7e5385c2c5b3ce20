#pragma once

#include <QWidget>

class AlarmResponse;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSoundEffect;
class QTimer;

// The alarm notice: a small frameless window in the corner of the screen that shows a text for
// a few seconds while "ding.wav" from the program directory plays. A machine without a sound
// device simply stays silent. Below the notice it lists the open alarms nobody has acknowledged,
// with "Acknowledge" (by the administrator logged in, else by a name typed there); once someone
// works in it, it stays until it is closed.
class AlarmPopup final : public QWidget {
    Q_OBJECT
public:
    static constexpr int DisplayMs = 6000;

    explicit AlarmPopup(const QString &programDirectory, QWidget *parent = nullptr);
    ~AlarmPopup() override;

    // Where alarms are acknowledged; without it the notice offers none.
    void setResponse(AlarmResponse *response);

    void showNotice(const QString &text);
    QString text() const;
    // Whether someone is working in it (it then stays until closed).
    bool engaged() const { return m_engaged; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildAcknowledgement();
    // Lists the open alarms nobody has acknowledged, keeping the one selected.
    void listUnacknowledged();
    void acknowledgeSelected();
    void engage();
    void dismiss();
    void placeInCorner();

    QLabel *m_title;
    QLabel *m_text;
    QTimer *m_hideTimer;
    QSoundEffect *m_sound;
    AlarmResponse *m_response = nullptr;
    QWidget *m_ackArea = nullptr;
    QListWidget *m_alarms = nullptr;
    QWidget *m_nameRow = nullptr;
    QLineEdit *m_name = nullptr;
    QPushButton *m_acknowledge = nullptr;
    QPushButton *m_close = nullptr;
    QLabel *m_answer = nullptr;
    bool m_engaged = false;
};
