#include "RemoteAccessPage.h"

#include "SettingsWidgets.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>

RemoteAccessPage::RemoteAccessPage(QWidget *parent) : QWidget(parent)
{
    auto *form = new QFormLayout(this);
    form->addRow(
        WrappedLabel(QStringLiteral("Tallyport can serve a read-only status page, a JSON API, metrics for "
                                    "Prometheus and a health check to other computers and phones. "
                                    "Changes take effect when this window closes."),
                     this));
    chkWebEnabled =
        Named(new QCheckBox(QStringLiteral("Serve the status page, metrics and health check"), this),
              "chkWebEnabled");
    form->addRow(chkWebEnabled);
    txtWebAddress = NamedLineEdit("txtWebAddress", 45, this);
    txtWebPort = NamedLineEdit("txtWebPort", 5, this);
    txtWebPort->setMaximumWidth(txtWebPort->fontMetrics().horizontalAdvance(QStringLiteral("0000000")) + 16);
    AcceptDigitsOnly(txtWebPort);
    form->addRow(QStringLiteral("Address"), txtWebAddress);
    form->addRow(
        WrappedLabel(QStringLiteral("127.0.0.1 serves this computer only; 0.0.0.0 (or this computer's "
                                    "address) serves the network and needs a token."),
                     this));
    form->addRow(QStringLiteral("Port"), txtWebPort);

    // The token is a password: masked unless asked for (a button, so that showing it is not an edit).
    txtWebToken = NamedLineEdit("txtWebToken", 128, this);
    btnWebShowToken = Named(new QPushButton(this), "btnWebShowToken");
    btnWebShowToken->setCheckable(true);
    btnWebShowToken->setAutoDefault(false);
    showToken(false);
    btnWebToken = Named(new QPushButton(QStringLiteral("New Token"), this), "btnWebToken");
    btnWebToken->setAutoDefault(false);
    auto *tokenRow = new QHBoxLayout;
    tokenRow->addWidget(txtWebToken, 1);
    tokenRow->addWidget(btnWebShowToken);
    tokenRow->addWidget(btnWebToken);
    form->addRow(QStringLiteral("Token"), tokenRow);
    form->addRow(
        WrappedLabel(QStringLiteral("With a token, every request must send the header \"Authorization: "
                                    "Bearer <token>\"; a browser may add ?token=<token> to the page's "
                                    "address. Leave it empty for none."),
                     this));
    txtWebCertificate = NamedLineEdit("txtWebCertificate", 260, this);
    txtWebKey = NamedLineEdit("txtWebKey", 260, this);
    form->addRow(QStringLiteral("Certificate file"), txtWebCertificate);
    form->addRow(QStringLiteral("Key file"), txtWebKey);
    form->addRow(WrappedLabel(QStringLiteral("With both PEM files set the server speaks HTTPS."), this));
    lblWebStatus = Named(new QLabel(this), "lblWebStatus");
    lblWebStatus->setWordWrap(true);
    form->addRow(QStringLiteral("Now"), lblWebStatus);
    connect(btnWebToken, &QPushButton::clicked, this, &RemoteAccessPage::makeToken);
    connect(btnWebShowToken, &QPushButton::toggled, this, &RemoteAccessPage::showToken);
}

void RemoteAccessPage::showToken(bool shown)
{
    txtWebToken->setEchoMode(shown ? QLineEdit::Normal : QLineEdit::Password);
    btnWebShowToken->setText(shown ? QStringLiteral("Hide") : QStringLiteral("Show"));
}

void RemoteAccessPage::fill(const WebIniSettings &settings, const QString &statusLine)
{
    chkWebEnabled->setChecked(settings.enabled);
    txtWebAddress->setText(settings.address);
    txtWebPort->setText(QString::number(settings.port));
    txtWebToken->setText(settings.token);
    txtWebCertificate->setText(settings.certificate);
    txtWebKey->setText(settings.key);
    lblWebStatus->setText(statusLine.isEmpty() ? QStringLiteral("not serving") : statusLine);
}

bool RemoteAccessPage::collect(WebIniSettings &settings, QString &reason, QLineEdit *&badBox) const
{
    bool number = false;
    const int port = txtWebPort->text().trimmed().toInt(&number);
    if (!number || port < 1 || port > 65535) {
        reason = QStringLiteral("The port for remote access must be a number from 1 to 65535.");
        badBox = txtWebPort;
        return false;
    }
    settings.enabled = chkWebEnabled->isChecked();
    settings.address = txtWebAddress->text().trimmed();
    settings.port = port;
    settings.token = txtWebToken->text().trimmed();
    settings.certificate = txtWebCertificate->text().trimmed();
    settings.key = txtWebKey->text().trimmed();
    return true;
}

// 32 characters of letters and digits from the system's random source.
void RemoteAccessPage::makeToken()
{
    static const char alphabet[] = "ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz23456789";
    QString token;
    for (int i = 0; i < 32; ++i)
        token += QLatin1Char(alphabet[QRandomGenerator::system()->bounded(int(sizeof(alphabet) - 1))]);
    txtWebToken->setText(token);
    emit tokenMade();
}

#include "moc_RemoteAccessPage.cpp"
