#include "ConfigurationPages.h"

#include "PrinterList.h"
#include "SettingsWidgets.h"

#include <core/ConfigRecord.h>
#include <core/SettingsApply.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
int fieldWidth(const char *field)
{
    return ConfigLayout::field(field)->width;
}

// A number box: digits only, five at most (the record holds up to 32767).
QLineEdit *numberBox(const char *name, QWidget *parent)
{
    QLineEdit *box = NamedLineEdit(name, 5, parent);
    box->setMaximumWidth(box->fontMetrics().horizontalAdvance(QStringLiteral("000000")) + 16);
    AcceptDigitsOnly(box);
    return box;
}

QString numberText(qint16 value)
{
    return QString::number(value);
}
} // namespace

OrganizationPage::OrganizationPage(QWidget *parent) : SettingsPage(parent)
{
    auto *form = new QFormLayout(this);
    txtOrgName = NamedLineEdit("txtOrgName", fieldWidth("OrgName"), this);
    txtOrgAddress = NamedLineEdit("txtOrgAddress", fieldWidth("OrgAddress"), this);
    txtOrgPhoneNumber = NamedLineEdit("txtOrgPhoneNumber", fieldWidth("OrgPhoneNumber"), this);
    form->addRow(
        WrappedLabel(QStringLiteral("The organization's name and address open every e-mail Tallyport "
                                    "sends."),
                     this));
    form->addRow(QStringLiteral("Organization Name"), txtOrgName);
    form->addRow(QStringLiteral("Address"), txtOrgAddress);
    form->addRow(QStringLiteral("Phone Number"), txtOrgPhoneNumber);
}

void OrganizationPage::fill(const ConfigRecord &record)
{
    txtOrgName->setText(record.OrgName.trimmed());
    txtOrgAddress->setText(record.OrgAddress.trimmed());
    txtOrgPhoneNumber->setText(record.OrgPhoneNumber.trimmed());
}

void OrganizationPage::collect(SettingsInput &input) const
{
    input.orgName = txtOrgName->text();
    input.orgAddress = txtOrgAddress->text();
    input.orgPhoneNumber = txtOrgPhoneNumber->text();
}

EmailPage::EmailPage(QWidget *parent) : SettingsPage(parent)
{
    auto *layout = new QVBoxLayout(this);
    auto *form = new QFormLayout;
    txtHost = NamedLineEdit("txtHost", fieldWidth("SMTPHost"), this);
    txtFromAddress = NamedLineEdit("txtFromAddress", fieldWidth("FromAddress"), this);
    txtServerFailureEmailAddress =
        NamedLineEdit("txtServerFailureEmailAddress", fieldWidth("AdminEmailAddress"), this);
    form->addRow(QStringLiteral("SMTP Host (smtp.example.com)"), txtHost);
    form->addRow(QStringLiteral("From Address (valid email address)"), txtFromAddress);
    form->addRow(QStringLiteral("Administrator Email Address"), txtServerFailureEmailAddress);
    layout->addLayout(form);
    chkSystemOKEmail =
        Named(new QCheckBox(QStringLiteral("Send a daily email to the Administrator Email Address "
                                           "to confirm software is up an running."),
                            this),
              "chkSystemOKEmail");
    layout->addWidget(chkSystemOKEmail);
    auto *buttons = new QHBoxLayout;
    btnTestEmail =
        Named(new QPushButton(QStringLiteral("Send a test email to Administrator Email Address"), this),
              "btnTestEmail");
    btnAdvanced = Named(new QPushButton(QStringLiteral("Advanced"), this), "btnAdvanced");
    buttons->addWidget(btnTestEmail);
    buttons->addStretch();
    buttons->addWidget(btnAdvanced);
    layout->addLayout(buttons);
    layout->addStretch();
    // A host marked as missing turns white again as soon as it is edited.
    connect(txtHost, &QLineEdit::textEdited, txtHost, [this] { MarkWhite(txtHost); });
    connect(txtFromAddress, &QLineEdit::textEdited, txtFromAddress, [this] { MarkWhite(txtFromAddress); });
}

void EmailPage::fill(const ConfigRecord &record)
{
    txtHost->setText(record.SMTPHost.trimmed());
    txtFromAddress->setText(record.FromAddress.trimmed());
    txtServerFailureEmailAddress->setText(record.AdminEmailAddress.trimmed());
    chkSystemOKEmail->setChecked(record.SystemOKEmail == 1);
}

void EmailPage::collect(SettingsInput &input) const
{
    input.host = txtHost->text();
    input.fromAddress = txtFromAddress->text();
    input.adminEmailAddress = txtServerFailureEmailAddress->text();
    input.systemOKEmail = chkSystemOKEmail->isChecked();
}

CollectionPage::CollectionPage(QWidget *parent) : SettingsPage(parent)
{
    auto *layout = new QVBoxLayout(this);
    auto *grid = new QGridLayout;
    txtUpdateRate = numberBox("txtUpdateRate", this);
    txtCommunicationRetry = numberBox("txtCommunicationRetry", this);
    txtTCPTimeOut = numberBox("txtTCPTimeOut", this);
    grid->addWidget(new QLabel(QStringLiteral("Update data readings every"), this), 0, 0);
    grid->addWidget(txtUpdateRate, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("(sec. Minimum update rate is 5 seconds)"), this), 0, 2);
    grid->addWidget(
        WrappedLabel(QStringLiteral("Number of times to try to communicate with a Quellmark device."), this),
        1, 0);
    grid->addWidget(txtCommunicationRetry, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("(Enter a value from 1 to 5)"), this), 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Network communication time out. "), this), 2, 0);
    grid->addWidget(txtTCPTimeOut, 2, 1);
    grid->addWidget(new QLabel(QStringLiteral("(sec)") + QStringLiteral("  ") +
                                   QStringLiteral("(Enter a value from 2 to 9)"),
                               this),
                    2, 2);
    grid->setColumnStretch(2, 1);
    layout->addLayout(grid);

    chkEnableTrending =
        Named(new QCheckBox(QStringLiteral("Enable data trending"), this), "chkEnableTrending");
    lblEnableTrending =
        Named(WrappedLabel(QStringLiteral("The more sensors in the system the more difficult it will "
                                          "be to read the trending chart.     "),
                           this),
              "lblEnableTrending");
    chkPopUps =
        Named(new QCheckBox(QStringLiteral("Enable alarm popups notifications.  A popup will be shown "
                                           "every update whenever a sensor is in alarm"),
                            this),
              "chkPopUps");
    layout->addWidget(chkEnableTrending);
    layout->addWidget(lblEnableTrending);
    layout->addWidget(chkPopUps);
    connect(chkEnableTrending, &QCheckBox::toggled, lblEnableTrending, &QWidget::setVisible);

    lblLogDir = Named(WrappedLabel(QString(), this), "lblLogDir");
    btnLogDir = Named(new QPushButton(QStringLiteral("Change Log File Location"), this), "btnLogDir");
    btnNoLogDir = Named(new QPushButton(QStringLiteral("No Backup Copy"), this), "btnNoLogDir");
    layout->addSpacing(8);
    layout->addWidget(lblLogDir);
    auto *logButtons = new QHBoxLayout;
    logButtons->addWidget(btnLogDir);
    logButtons->addWidget(btnNoLogDir);
    logButtons->addStretch();
    layout->addLayout(logButtons);
    layout->addStretch();
}

void CollectionPage::fill(const ConfigRecord &record)
{
    txtUpdateRate->setText(numberText(record.UpdateRate));
    txtCommunicationRetry->setText(numberText(record.CommunicationRetry));
    txtTCPTimeOut->setText(numberText(record.TCPTimeOut));
    chkEnableTrending->setChecked(record.EnableTrending == 1);
    lblEnableTrending->setVisible(chkEnableTrending->isChecked());
    chkPopUps->setChecked(record.PopUps == 1);
    setLogDirectory(record.LogDirectory.trimmed());
}

void CollectionPage::collect(SettingsInput &input) const
{
    input.updateRate = txtUpdateRate->text();
    input.communicationRetry = txtCommunicationRetry->text();
    input.tcpTimeOut = txtTCPTimeOut->text();
    input.enableTrending = chkEnableTrending->isChecked();
    input.popUps = chkPopUps->isChecked();
    input.logDirectory = m_logDirectory;
}

void CollectionPage::setLogDirectory(const QString &directory)
{
    m_logDirectory = directory;
    lblLogDir->setText(QStringLiteral("Current Log File Location: ") + directory);
    btnNoLogDir->setEnabled(!directory.isEmpty());
}

const QString ReportsPage::NoPrinterText = QStringLiteral("No Printer Selected");

ReportsPage::ReportsPage(QWidget *parent) : SettingsPage(parent)
{
    auto *layout = new QVBoxLayout(this);
    auto *schedule = new QHBoxLayout;
    cmboAutoPrintReport = Named(new QComboBox(this), "cmboAutoPrintReport");
    cmboAutoPrintReport->addItems({QStringLiteral("No"), QStringLiteral("Yes")});
    txtTimeToPrint = NamedLineEdit("txtTimeToPrint", fieldWidth("TimeToPrint"), this);
    txtTimeToPrint->setMaximumWidth(txtTimeToPrint->fontMetrics().horizontalAdvance(QStringLiteral("0000")) +
                                    16);
    cmboAMPM = Named(new QComboBox(this), "cmboAMPM");
    cmboAMPM->addItems({QStringLiteral("AM"), QStringLiteral("PM")});
    schedule->addWidget(new QLabel(QStringLiteral("Print a daily report"), this));
    schedule->addWidget(cmboAutoPrintReport);
    schedule->addWidget(new QLabel(QStringLiteral("at"), this));
    schedule->addWidget(txtTimeToPrint);
    schedule->addWidget(cmboAMPM);
    schedule->addStretch();
    layout->addLayout(schedule);

    auto *printer = new QHBoxLayout;
    printer->addWidget(new QLabel(QStringLiteral("Report printer:"), this));
    lblPrinter = Named(new QLabel(NoPrinterText, this), "lblPrinter");
    printer->addWidget(lblPrinter, 1);
    btnPrinter = Named(new QPushButton(QStringLiteral("Change Printer"), this), "btnPrinter");
    printer->addWidget(btnPrinter);
    layout->addLayout(printer);
    lstPrinters = new PrinterList(this);
    lstPrinters->setPrinters(PrinterList::SystemPrinterNames());
    lstPrinters->hide();
    layout->addWidget(lstPrinters, 1);
    layout->addStretch();

    connect(btnPrinter, &QPushButton::clicked, lstPrinters, &QWidget::show);
    connect(lstPrinters, &PrinterList::printerChosen, this, [this](int index, const QString &name) {
        m_printerIndex = index;
        lblPrinter->setText(name);
    });
}

void ReportsPage::fill(const ConfigRecord &record)
{
    cmboAutoPrintReport->setCurrentIndex(record.AutoPrintReport.contains(QLatin1String("Yes")) ? 1 : 0);
    txtTimeToPrint->setText(record.TimeToPrint.trimmed());
    cmboAMPM->setCurrentIndex(record.AMPM.contains(QLatin1String("AM")) ? 0 : 1);
    const QString printer = record.PrinterName.trimmed();
    lblPrinter->setText(printer.isEmpty() ? NoPrinterText : printer);
    m_printerIndex = record.PrinterIndex;
    lstPrinters->checkPrinter(printer);
}

void ReportsPage::collect(SettingsInput &input) const
{
    input.autoPrintReport = cmboAutoPrintReport->currentText();
    input.timeToPrint = txtTimeToPrint->text();
    input.ampm = cmboAMPM->currentText();
    input.printerName = lblPrinter->text();
    input.printerIndex = m_printerIndex;
}

SecurityPage::SecurityPage(QWidget *parent) : SettingsPage(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(
        WrappedLabel(QStringLiteral("To prevent unauthorized access to Tallyport Setup and Configuration "
                                    "screens, enter a user name and password and then click the Apply "
                                    "button.  The user name and password will be required to access "
                                    "these features."),
                     this));
    auto *form = new QFormLayout;
    // No length limit, which would cut a pasted value without a word: Apply refuses a value too
    // long for its encrypted field.
    txtUN = NamedLineEdit("txtUN", UnlimitedLength, this);
    txtPW_0 = NamedLineEdit("txtPW_0", UnlimitedLength, this);
    txtPW_1 = NamedLineEdit("txtPW_1", UnlimitedLength, this);
    txtPW_0->setEchoMode(QLineEdit::Password);
    txtPW_1->setEchoMode(QLineEdit::Password);
    form->addRow(QStringLiteral("User Name"), txtUN);
    form->addRow(QStringLiteral("Password"), txtPW_0);
    form->addRow(QStringLiteral("Confirm Passord"), txtPW_1);
    layout->addLayout(form);
    layout->addWidget(
        WrappedLabel(QStringLiteral("To disable having to log in, click the Clear button and then click "
                                    "the Apply button."),
                     this));
    btnClearUNPW = Named(new QPushButton(QStringLiteral("Clear"), this), "btnClearUNPW");
    layout->addWidget(btnClearUNPW, 0, Qt::AlignLeft);
    layout->addStretch();

    // A new password typed after a confirmation makes the confirmation start again.
    connect(txtPW_0, &QLineEdit::textEdited, txtPW_1, [this] {
        if (!txtPW_1->text().isEmpty())
            txtPW_1->clear();
    });
    connect(btnClearUNPW, &QPushButton::clicked, this, [this] {
        txtUN->clear();
        txtPW_0->clear();
        txtPW_1->clear();
    });
}

void SecurityPage::fill(const ConfigRecord &record)
{
    txtUN->setText(record.AdminUserName.trimmed());
    txtPW_0->setText(record.AdminPassword.trimmed());
    txtPW_1->setText(record.AdminPassword.trimmed());
}

void SecurityPage::collect(SettingsInput &input) const
{
    input.userName = txtUN->text();
    input.password = txtPW_0->text();
    input.confirmPassword = txtPW_1->text();
}

#include "moc_ConfigurationPages.cpp"
