#pragma once

#include <core/IniSettings.h>

#include <QDialog>
#include <QList>

class CollectionPage;
class ConfigFile;
struct ConfigRecord;
class EmailPage;
class MailManager;
class MqttPage;
class EscalationPage;
class NotificationsPage;
class OrganizationPage;
class ProgramState;
class QLineEdit;
class QPushButton;
class QTabWidget;
class Notifier;
class RemoteAccessPage;
class ReportsPage;
class SecurityPage;
class SettingsPage;
struct SettingsInput;

// frmConfiguration ("Tallyport Configuration"): edits the settings record, one tab per group
// of settings, and saves it with Apply. Closing with unsaved changes asks first.
class ConfigurationDialog final : public QDialog {
    Q_OBJECT
public:
    // The notifier, when given, renames a channel's queue with the channel.
    ConfigurationDialog(ProgramState &state, ConfigFile &configFile, MailManager &mail,
                        Notifier *notifier = nullptr, QWidget *parent = nullptr);

    // Typing has changed a setting since the window opened or last saved.
    bool changed() const { return m_changed; }
    // A save succeeded while the window was open (Apply, or OK of the advanced e-mail window).
    bool saved() const { return m_saved; }

    QTabWidget *tabs() const { return m_tabs; }
    // Adds a tab; its settings are filled now and collected at every Apply.
    void addPage(SettingsPage *page);

    // The close box, Escape and Close: asks first when there are unsaved changes; never while a
    // test e-mail is on its way.
    void reject() override;
    // The administrator logs out: the window closes, after the question when there are unsaved
    // changes. False when the user keeps the window (and the log-out is cancelled). A test e-mail
    // on its way locks the window, which closes once the e-mail is done.
    bool closeForLogOut();
    // The program is being closed: with unsaved changes the user is asked once whether to
    // discard them; Yes closes the window (during a test e-mail: locks it and closes it once the
    // e-mail is done), No keeps it (false: the program stays open).
    bool discardChangesForClose();

signals:
    // A save succeeded; the program's settings and mailer hold what was saved.
    void settingsSaved();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void buildButtons();
    void trackChanges(QWidget *page);
    void markChanged() { m_changed = true; }
    // Changes not saved: those Apply saves, and a channel of the Notifications tab not yet saved
    // with its own button.
    bool unsaved() const;
    // The question whether to discard unsaved changes; true for Yes.
    bool discardAsked();
    // Locks the window while the test e-mail runs; it closes when the e-mail is done.
    void closeAfterTest();
    SettingsInput collect() const;

    void onApply();
    void apply();
    bool acceptAdminAddress(const QString &address);
    // The Remote Access tab's settings into m_web; false (after a message) when they cannot be
    // used.
    bool collectRemoteAccess();
    QString remoteAccessNow() const;
    // The MQTT tab's settings into m_mqtt; false (after a message) when they cannot be used.
    bool collectMqtt();
    void save(const ConfigRecord &record);
    // What was saved takes effect in the program at once.
    void takeEffect(const ConfigRecord &record);

    void onTestEmail();
    bool testBoxFilled(QLineEdit *box, const QString &message);
    void setTestRunning(bool running);
    void onLogDirectory();
    void onNoLogDirectory();
    void onAdvanced();

    ProgramState &m_state;
    ConfigFile &m_configFile;
    MailManager &m_mail;
    QTabWidget *m_tabs;
    QList<SettingsPage *> m_pages;
    OrganizationPage *m_organization;
    EmailPage *m_email;
    CollectionPage *m_collection;
    ReportsPage *m_reports;
    SecurityPage *m_security;
    RemoteAccessPage *m_remote;
    WebIniSettings m_web;
    MqttPage *m_mqttPage;
    MqttIniSettings m_mqtt;
    NotificationsPage *m_notifications;
    EscalationPage *m_escalation;
    QPushButton *m_btnApply = nullptr;
    QPushButton *m_btnClose = nullptr;
    bool m_changed = false;
    bool m_saved = false;
    bool m_testRunning = false;
    bool m_closeAfterTest = false;
    bool m_centred = false;
};
