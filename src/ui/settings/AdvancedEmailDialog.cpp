#include "AdvancedEmailDialog.h"

#include "SettingsWidgets.h"

#include <alarms/AdvancedEmailSettings.h>
#include <core/ConfigFile.h>
#include <core/ConfigRecord.h>
#include <core/ProgramState.h>
#include <core/Prompts.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace {
const QString kNone = QStringLiteral("NONE");

QLineEdit *numberBoxWithText(const char *name, const char *designText, QWidget *parent)
{
    QLineEdit *box = NamedLineEdit(name, 5, parent);
    box->setText(QLatin1String(designText));
    box->setMaximumWidth(box->fontMetrics().horizontalAdvance(QStringLiteral("000000")) + 16);
    AcceptDigitsOnly(box);
    return box;
}
} // namespace

AdvancedEmailDialog::AdvancedEmailDialog(ProgramState &state, ConfigFile &configFile, QWidget *parent)
    : QDialog(parent), m_state(state), m_configFile(configFile)
{
    setObjectName(QStringLiteral("frmAdvancedEmail"));
    setWindowTitle(QStringLiteral("Internet Email Settings"));
    auto *layout = new QVBoxLayout(this);
    buildServerBox(layout);
    buildAuthenticationBox(layout);
    buildButtons(layout);
    setMinimumWidth(440);
    connect(chkAuthentication, &QCheckBox::clicked, this, &AdvancedEmailDialog::applyAuthenticationRule);
}

void AdvancedEmailDialog::buildServerBox(QVBoxLayout *layout)
{
    auto *server = new QGroupBox(QStringLiteral("SMTP Server"), this);
    auto *form = new QFormLayout(server);
    txtSMTPPort = numberBoxWithText("txtSMTPPort", "25", server);
    txtServerTimeOut = numberBoxWithText("txtServerTimeOut", "60", server);
    form->addRow(QStringLiteral("Outgoing Server Port  "), txtSMTPPort);
    form->addRow(QStringLiteral("Outgoing Server Time Out (sec)   "), txtServerTimeOut);
    chkSSL = Named(new QCheckBox(QStringLiteral("Connect to the SMTP server via the SSL protocol"), server),
                   "chkSSL");
    form->addRow(chkSSL);
    layout->addWidget(server);
}

void AdvancedEmailDialog::buildAuthenticationBox(QVBoxLayout *layout)
{
    chkAuthentication =
        Named(new QCheckBox(QStringLiteral("My outgoing server (SMTP) requires authentication"), this),
              "chkAuthentication");
    layout->addWidget(chkAuthentication);
    auto *form = new QFormLayout;
    cmboAuthenticationMethod = Named(new QComboBox(this), "cmboAuthenticationMethod");
    cmboAuthenticationMethod->addItems(AuthenticationMethods());
    // Mail providers' keys are often longer than the settings record's field; the settings file
    // keeps a longer one elsewhere, so the boxes take any length.
    txtUserName = NamedLineEdit("txtUserName", UnlimitedLength, this);
    txtPassword = NamedLineEdit("txtPassword", UnlimitedLength, this);
    txtPassword->setEchoMode(QLineEdit::Password);
    txtLoginDomain = NamedLineEdit("txtLoginDomain", ConfigLayout::field("LoginDomain")->width, this);
    form->addRow(QStringLiteral("Log on using:"), cmboAuthenticationMethod);
    form->addRow(QStringLiteral("User Name:"), txtUserName);
    form->addRow(QStringLiteral("Password:"), txtPassword);
    layout->addLayout(form);
    auto *domain =
        new QLabel(QStringLiteral("Windows domain for logging into the SMTP server (if required):"), this);
    domain->setWordWrap(true);
    layout->addWidget(domain);
    layout->addWidget(txtLoginDomain);
}

void AdvancedEmailDialog::buildButtons(QVBoxLayout *layout)
{
    auto *row = new QHBoxLayout;
    OKButton = Named(new QPushButton(QStringLiteral("OK"), this), "OKButton");
    CancelButton = Named(new QPushButton(QStringLiteral("Cancel"), this), "CancelButton");
    OKButton->setDefault(true);
    row->addStretch();
    row->addWidget(OKButton);
    row->addWidget(CancelButton);
    layout->addStretch();
    layout->addLayout(row);
    connect(OKButton, &QPushButton::clicked, this, &AdvancedEmailDialog::onOk);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

void AdvancedEmailDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!m_centred && screen()) {
        m_centred = true;
        move(screen()->availableGeometry().center() - rect().center());
    }
    load();
}

// Reads the settings file. A file that cannot be read leaves the settings in memory as they
// were, so nothing half-read is shown or saved again.
void AdvancedEmailDialog::load()
{
    if (QFile::exists(m_configFile.path())) {
        const ConfigRecord before = m_state.Config;
        if (!m_configFile.ReadConfiguration()) {
            m_state.Config = before;
            m_state.prompts().message(
                QStringLiteral("There was an error loading the the Advanced Email form.  "
                               "The error is ") +
                m_configFile.lastError() + QStringLiteral("."));
        }
    }
    showValues(AdvancedEmailFromRecord(m_state.Config));
}

void AdvancedEmailDialog::showValues(const AdvancedEmailInput &input)
{
    txtSMTPPort->setText(input.port);
    txtServerTimeOut->setText(input.timeOut);
    MarkWhite(txtSMTPPort);
    MarkWhite(txtServerTimeOut);
    chkSSL->setChecked(input.useSsl);
    chkAuthentication->setChecked(input.authentication);
    cmboAuthenticationMethod->setCurrentText(input.method);
    txtUserName->setText(input.userName);
    txtPassword->setText(input.password);
    txtLoginDomain->setText(input.loginDomain);
    applyAuthenticationRule();
}

AdvancedEmailInput AdvancedEmailDialog::collect() const
{
    AdvancedEmailInput input;
    input.port = txtSMTPPort->text();
    input.timeOut = txtServerTimeOut->text();
    input.useSsl = chkSSL->isChecked();
    input.authentication = chkAuthentication->isChecked();
    input.method = cmboAuthenticationMethod->currentText();
    input.userName = txtUserName->text();
    input.password = txtPassword->text();
    input.loginDomain = txtLoginDomain->text();
    return input;
}

// Without authentication the method is "NONE" and the user name and password are not used;
// the domain box stays open either way.
void AdvancedEmailDialog::applyAuthenticationRule()
{
    const bool on = chkAuthentication->isChecked();
    if (!on)
        cmboAuthenticationMethod->setCurrentText(kNone);
    cmboAuthenticationMethod->setEnabled(on);
    txtUserName->setEnabled(on);
    txtPassword->setEnabled(on);
}

void AdvancedEmailDialog::onOk()
{
    // The program's settings change only when the file took the new values.
    ConfigRecord record = m_state.Config;
    const Refusal refusal = CheckAndCopyAdvancedEmail(record, collect());
    if (refusal.refused()) {
        ShowRefusal(this, m_state.prompts(), refusal);
        return;
    }
    m_saved = m_configFile.SaveRecord(record);
    if (m_saved)
        m_state.Config = record;
    else
        m_state.prompts().message(QStringLiteral("Error saving SMTP advanced settings."));
    accept();
}

#include "moc_AdvancedEmailDialog.cpp"
