#pragma once

#include <core/IniSettings.h>
#include <notify/ChannelTest.h>

#include <QWidget>

class Notifier;
class ProgramState;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

// The "Notifications" tab: the channels of Tallyport.ini ([notify.NAME]) beside e-mail. A
// channel is added, changed or removed at once with the tab's own buttons (a channel that cannot
// be used is refused with the reason and nothing is saved); a channel renamed takes its messages
// along. Test sends a test message through the channel as typed and shows the receiver's answer.
class NotificationsPage final : public QWidget {
    Q_OBJECT
public:
    // With the running notifier a rename reaches its queue too; without one, the database only.
    explicit NotificationsPage(ProgramState &state, Notifier *notifier = nullptr, QWidget *parent = nullptr);
    static QString title() { return QStringLiteral("Notifications"); }
    // The boxes hold what the tab's Save has not saved: a channel changed, or a new one begun.
    bool hasUnsavedEdits() const;

    QListWidget *lstNotifyChannels;
    QLineEdit *txtNotifyName;
    QComboBox *cboNotifyType;
    QLineEdit *txtNotifyUrl;
    QLineEdit *txtNotifyToken;
    QLineEdit *txtNotifyHeaders;
    QLineEdit *txtNotifySecret;
    QLineEdit *txtNotifyEvents;
    QLineEdit *txtNotifyDevices;
    QCheckBox *chkNotifyInsecure;
    QPushButton *btnNotifyNew;
    QPushButton *btnNotifySave;
    QPushButton *btnNotifyRemove;
    QPushButton *btnNotifyTest;
    QLabel *lblNotifyAnswer;

private:
    void build();
    void refreshList(const QString &select);
    void showChannel(const QString &name);
    NotifyChannelSettings typed() const;
    void onNew();
    void onSave();
    bool rename(const NotifyChannelSettings &channel, QString &error);
    void onRemove();
    void onTest();

    ProgramState &m_state;
    Notifier *m_notifier;
    ChannelTest m_test;
    QString m_shown; // the name of the channel in the boxes; empty for a new one
};
