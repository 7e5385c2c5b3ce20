#include "ConfigurationDialog.h"

#include "AdvancedEmailDialog.h"
#include "ConfigurationPages.h"
#include "EscalationPage.h"
#include "MqttPage.h"
#include "NotificationsPage.h"
#include "PrinterList.h"
#include "RemoteAccessPage.h"
#include "SettingsWidgets.h"

#include <alarms/MailManager.h>
#include <core/ConfigFile.h>
#include <core/IniFile.h>
#include <core/ProgramState.h>
#include <core/Prompts.h>
#include <core/SettingsApply.h>
#include <core/StatusList.h>
#include <mqtt/MqttPublisher.h>
#include <ui/main/ModalWindow.h>
#include <web/ListenPlan.h>
#include <web/WebService.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QShowEvent>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {
const QString kDiscardQuestion = QStringLiteral(
    "You have made changes to the settings without saving them.  Do you wish to discard your "
    "changes?\n\nClick Yes to discard changes.\nTo save changes, click No and then click Apply "
    "before closing this window");

// Puts an edited section of Tallyport.ini in effect and writes it; false, with the section in
// use kept, when the file could not be written.
template <typename Section>
bool saveIniSection(IniFile &ini, Section &inUse, const Section &edited, const QString &name)
{
    if (edited == inUse)
        return true;
    const Section before = inUse;
    inUse = edited;
    if (ini.Save(name))
        return true;
    inUse = before;
    return false;
}
} // namespace

ConfigurationDialog::ConfigurationDialog(ProgramState &state, ConfigFile &configFile, MailManager &mail,
                                         Notifier *notifier, QWidget *parent)
    : QDialog(parent), m_state(state), m_configFile(configFile), m_mail(mail)
{
    setObjectName(QStringLiteral("frmConfiguration"));
    setWindowTitle(QStringLiteral("Tallyport Configuration"));
    auto *layout = new QVBoxLayout(this);
    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("SSTab"));
    layout->addWidget(m_tabs, 1);

    addPage(m_organization = new OrganizationPage);
    addPage(m_email = new EmailPage);
    addPage(m_collection = new CollectionPage);
    addPage(m_reports = new ReportsPage);
    addPage(m_security = new SecurityPage);
    m_mqttPage = new MqttPage;
    m_tabs->addTab(m_mqttPage, MqttPage::title());
    const QStringList mqttLines = m_state.status().lines().filter(MqttPublisher::StatusKey);
    m_mqttPage->fill(m_state.Ini.mqtt, mqttLines.isEmpty()
                                           ? QString()
                                           : mqttLines.first().mid(MqttPublisher::StatusKey.size()));
    trackChanges(m_mqttPage);
    m_remote = new RemoteAccessPage;
    m_tabs->addTab(m_remote, RemoteAccessPage::title());
    m_remote->fill(m_state.Ini.web, remoteAccessNow());
    trackChanges(m_remote);
    connect(m_remote, &RemoteAccessPage::tokenMade, this, &ConfigurationDialog::markChanged);
    // The channels are saved with the tab's own buttons, one at a time.
    m_notifications = new NotificationsPage(m_state, notifier);
    m_tabs->addTab(m_notifications, NotificationsPage::title());
    // So are the reminders and the steps of escalation, with their tab's own button.
    m_escalation = new EscalationPage(m_state);
    m_tabs->addTab(m_escalation, EscalationPage::title());
    buildButtons();
    m_tabs->setCurrentIndex(0);

    connect(m_email->btnTestEmail, &QPushButton::clicked, this, &ConfigurationDialog::onTestEmail);
    connect(m_email->btnAdvanced, &QPushButton::clicked, this, &ConfigurationDialog::onAdvanced);
    connect(m_collection->btnLogDir, &QPushButton::clicked, this, &ConfigurationDialog::onLogDirectory);
    connect(m_collection->btnNoLogDir, &QPushButton::clicked, this, &ConfigurationDialog::onNoLogDirectory);
    connect(m_security->btnClearUNPW, &QPushButton::clicked, this, &ConfigurationDialog::markChanged);
    connect(m_reports->lstPrinters, &PrinterList::printerChosen, this, &ConfigurationDialog::markChanged);
    // The fullest tab fits without squeezing its lines.
    resize(QSize(700, 400).expandedTo(sizeHint()));
}

// The remote access lines of the status list, without their key, and the warning that comes
// with serving the network over plain HTTP.
QString ConfigurationDialog::remoteAccessNow() const
{
    const QStringList lines = m_state.status().lines();
    const QStringList serving = lines.filter(WebService::StatusKey);
    QString now = serving.isEmpty() ? QString() : serving.first().mid(WebService::StatusKey.size());
    for (const QString &warning : lines.filter(WebService::PlainNetworkKey))
        now += QLatin1Char('\n') + warning;
    return now;
}

void ConfigurationDialog::addPage(SettingsPage *page)
{
    m_pages.append(page);
    m_tabs->addTab(page, page->title());
    page->fill(m_state.Config);
    trackChanges(page);
}

// Any edit by the user counts as a change; filling the boxes from the record does not.
void ConfigurationDialog::trackChanges(QWidget *page)
{
    for (QLineEdit *box : page->findChildren<QLineEdit *>())
        connect(box, &QLineEdit::textEdited, this, &ConfigurationDialog::markChanged);
    for (QCheckBox *check : page->findChildren<QCheckBox *>())
        connect(check, &QCheckBox::clicked, this, &ConfigurationDialog::markChanged);
    for (QComboBox *list : page->findChildren<QComboBox *>())
        connect(list, &QComboBox::activated, this, &ConfigurationDialog::markChanged);
}

void ConfigurationDialog::buildButtons()
{
    auto *row = new QHBoxLayout;
    m_btnApply = new QPushButton(QStringLiteral("Apply"), this);
    m_btnApply->setObjectName(QStringLiteral("btnApply"));
    m_btnClose = new QPushButton(QStringLiteral("Close"), this);
    m_btnClose->setObjectName(QStringLiteral("btnClose"));
    // Enter in a box must not press a button the user did not choose.
    m_btnApply->setAutoDefault(false);
    m_btnClose->setAutoDefault(false);
    row->addStretch();
    row->addWidget(m_btnApply);
    row->addWidget(m_btnClose);
    static_cast<QVBoxLayout *>(layout())->addLayout(row);
    connect(m_btnApply, &QPushButton::clicked, this, &ConfigurationDialog::onApply);
    connect(m_btnClose, &QPushButton::clicked, this, &ConfigurationDialog::reject);
}

// The changed flag is cleared when the window opens and after a save. The window system's own
// show event, when a minimised window is restored, keeps the edits it holds.
void ConfigurationDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        m_changed = false;
    if (!m_centred && screen()) {
        m_centred = true;
        move(screen()->availableGeometry().center() - rect().center());
    }
}

bool ConfigurationDialog::unsaved() const
{
    return m_changed || m_notifications->hasUnsavedEdits() || m_escalation->hasUnsavedEdits();
}

void ConfigurationDialog::reject()
{
    if (m_testRunning)
        return;
    if (unsaved() && !discardAsked())
        return;
    QDialog::reject();
}

bool ConfigurationDialog::closeForLogOut()
{
    if (m_testRunning) {
        closeAfterTest();
        return true;
    }
    if (unsaved() && !discardAsked())
        return false;
    QDialog::reject();
    return true;
}

bool ConfigurationDialog::discardChangesForClose()
{
    if (!unsaved())
        return true;
    if (!discardAsked())
        return false;
    m_changed = false;
    // The test e-mail's wait is beneath this question: the window goes once the e-mail is done,
    // never from under it.
    if (m_testRunning)
        closeAfterTest();
    else
        QDialog::reject();
    return true;
}

bool ConfigurationDialog::discardAsked()
{
    return m_state.prompts().ask(kDiscardQuestion, QStringLiteral("Settings have changed"),
                                 Prompts::Buttons::YesNo, Prompts::Icon::Critical) == Prompts::Answer::Yes;
}

void ConfigurationDialog::closeAfterTest()
{
    setEnabled(false);
    m_closeAfterTest = true;
}

SettingsInput ConfigurationDialog::collect() const
{
    SettingsInput input;
    for (const SettingsPage *page : m_pages)
        page->collect(input);
    return input;
}

void ConfigurationDialog::onApply()
{
    m_btnApply->setEnabled(false);
    apply();
    m_btnApply->setEnabled(true);
}

// The window's values go into a copy of the settings in use; the program gets them only once
// they are saved.
void ConfigurationDialog::apply()
{
    const SettingsInput input = collect();
    ConfigRecord record = m_state.Config;
    const Refusal refusal = CheckAndCopySettings(record, input);
    if (refusal.refused()) {
        ShowRefusal(this, m_state.prompts(), refusal);
        return;
    }
    const QString address = input.adminEmailAddress.trimmed();
    if (!acceptAdminAddress(address))
        return;
    record.AdminEmailAddress = CutToField("AdminEmailAddress", address);
    if (!collectRemoteAccess() || !collectMqtt())
        return;
    save(record);
}

bool ConfigurationDialog::collectRemoteAccess()
{
    QString reason;
    QLineEdit *badBox = nullptr;
    WebIniSettings web;
    if (!m_remote->collect(web, reason, badBox)) {
        MarkYellow(badBox);
        FocusBox(badBox);
        m_state.prompts().message(reason);
        return false;
    }
    ListenPlan plan;
    if (web.enabled && !MakeListenPlan(web, m_state.programDirectory(), plan, reason)) {
        FocusBox(m_remote->txtWebAddress);
        m_state.prompts().message(QStringLiteral("Remote access cannot start: ") + reason + QLatin1Char('.'));
        return false;
    }
    m_web = web;
    return true;
}

bool ConfigurationDialog::collectMqtt()
{
    QString reason;
    QLineEdit *badBox = nullptr;
    if (m_mqttPage->collect(m_mqtt, reason, badBox))
        return true;
    MarkYellow(badBox);
    FocusBox(badBox);
    m_state.prompts().message(reason);
    return false;
}

bool ConfigurationDialog::acceptAdminAddress(const QString &address)
{
    if (!AddressNeedsQuestion(address))
        return true;
    FocusBox(m_email->txtServerFailureEmailAddress);
    return m_state.prompts().ask(AddressQuestion(address), QApplication::applicationName(),
                                 Prompts::Buttons::YesNo, Prompts::Icon::Question) == Prompts::Answer::Yes;
}

void ConfigurationDialog::save(const ConfigRecord &record)
{
    bool recordSaved = false;
    bool webSaved = true;
    bool mqttSaved = true;
    IniFile ini(m_state);
    {
        BusyPointer busy;
        recordSaved = m_configFile.SaveRecord(record);
        if (recordSaved) {
            webSaved = saveIniSection(ini, m_state.Ini.web, m_web, QStringLiteral("web"));
            mqttSaved = saveIniSection(ini, m_state.Ini.mqtt, m_mqtt, QStringLiteral("mqtt"));
        }
    }
    if (!recordSaved) {
        m_state.prompts().message(
            QStringLiteral("Error saving configuration file.  Please verify that hard drive "
                           "is not write protected."));
        return;
    }
    m_saved = true;
    m_state.status().clear();
    takeEffect(record);
    if (!webSaved) {
        // The settings file took everything else; those settings are in effect. The Remote
        // Access tab keeps its edits for another Apply.
        m_state.prompts().message(
            QStringLiteral("Configuration parameters have been saved, except the Remote Access "
                           "settings: ") +
            ini.lastError() +
            QStringLiteral("  Please verify that hard drive is not write protected and click Apply "
                           "again."));
        return;
    }
    if (!mqttSaved) {
        m_state.prompts().message(
            QStringLiteral("Configuration parameters have been saved, except the MQTT settings: ") +
            ini.lastError() +
            QStringLiteral("  Please verify that hard drive is not write protected and click Apply again."));
        return;
    }
    m_state.prompts().message(QStringLiteral("Configuration parameters have been saved"));
    m_changed = false;
}

void ConfigurationDialog::takeEffect(const ConfigRecord &record)
{
    m_state.Config = record;
    m_mail.SetUpMailManager();
    emit settingsSaved();
}

void ConfigurationDialog::onTestEmail()
{
    setTestRunning(true);
    const auto enableAgain = qScopeGuard([this] {
        setTestRunning(false);
        if (m_closeAfterTest)
            QDialog::reject();
    });
    if (!testBoxFilled(m_email->txtHost, QStringLiteral("Please enter a valid SMTP host address")) ||
        !testBoxFilled(m_email->txtFromAddress, QStringLiteral("Please enter a from address")))
        return;
    const QString host = m_email->txtHost->text().trimmed();
    const QString address = m_email->txtServerFailureEmailAddress->text().trimmed();
    // The settings in use with what is typed here, for this message only.
    ConfigRecord trial = m_state.Config;
    trial.SMTPHost = host;
    trial.FromAddress = m_email->txtFromAddress->text().trimmed();
    trial.OrgName = m_organization->txtOrgName->text().trimmed();
    trial.OrgAddress = m_organization->txtOrgAddress->text().trimmed();
    QString error;
    bool sent = false;
    {
        BusyPointer busy;
        sent = m_mail.SendTestEmail(address, trial, error);
    }
    if (sent)
        m_state.prompts().message(QStringLiteral("A test email has been successfully sent to ") + address +
                                  QStringLiteral(" using mail server ") + host);
    else
        m_state.prompts().message(QStringLiteral("Failed to send email to '") + address +
                                  QStringLiteral("'. The error is: ") + error);
}

// An empty box (blanks count as empty) is reported, emptied, marked and given the focus.
bool ConfigurationDialog::testBoxFilled(QLineEdit *box, const QString &message)
{
    if (!box->text().trimmed().isEmpty())
        return true;
    m_state.prompts().message(message);
    box->clear();
    MarkYellow(box);
    FocusBox(box);
    return false;
}

void ConfigurationDialog::setTestRunning(bool running)
{
    m_testRunning = running;
    for (QPushButton *button : {m_email->btnTestEmail, m_email->btnAdvanced, m_btnApply, m_btnClose})
        button->setEnabled(!running);
}

void ConfigurationDialog::onLogDirectory()
{
    const QString directory = m_state.prompts().directoryName(QStringLiteral("Change Log File Location"),
                                                              m_collection->logDirectory());
    if (directory.isEmpty())
        return;
    // The record keeps the path in 100 Windows-1252 characters; a path it would cut or alter
    // would name another directory.
    if (!FitsTextField("LogDirectory", directory)) {
        m_state.prompts().message(
            QStringLiteral("The folder ") + directory +
            QStringLiteral(" can not be stored as the log file location.  Please choose "
                           "a folder whose path has at most 100 characters and no "
                           "special symbols."));
        return;
    }
    m_collection->setLogDirectory(directory);
    markChanged();
}

void ConfigurationDialog::onNoLogDirectory()
{
    if (m_collection->logDirectory().isEmpty())
        return;
    // Blank, not never-assigned: the record's field is written as blanks, its "none".
    m_collection->setLogDirectory(QStringLiteral(""));
    markChanged();
}

void ConfigurationDialog::onAdvanced()
{
    AdvancedEmailDialog advanced(m_state, m_configFile, this);
    ExecModal(advanced);
    if (advanced.saved()) {
        m_saved = true;
        takeEffect(m_state.Config);
    }
}

#include "moc_ConfigurationDialog.cpp"
