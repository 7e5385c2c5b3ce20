#include "MqttPage.h"

#include "SettingsWidgets.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>

namespace {
bool numberIn(const QLineEdit *box, int minimum, int maximum, int &value)
{
    bool ok = false;
    value = box->text().trimmed().toInt(&ok);
    return ok && value >= minimum && value <= maximum;
}
} // namespace

MqttPage::MqttPage(QWidget *parent) : QWidget(parent)
{
    auto *form = new QFormLayout(this);
    auto *intro =
        new QLabel(QStringLiteral("Tallyport can publish every reading, alarm state and device outcome "
                                  "to an MQTT broker, where Home Assistant finds the devices by "
                                  "itself. Changes take effect when this window closes."),
                   this);
    intro->setWordWrap(true);
    form->addRow(intro);
    chkMqttEnabled =
        Named(new QCheckBox(QStringLiteral("Publish to an MQTT broker"), this), "chkMqttEnabled");
    form->addRow(chkMqttEnabled);
    txtMqttHost = NamedLineEdit("txtMqttHost", 255, this);
    txtMqttPort = NamedLineEdit("txtMqttPort", 5, this);
    AcceptDigitsOnly(txtMqttPort);
    form->addRow(QStringLiteral("Broker"), txtMqttHost);
    form->addRow(QStringLiteral("Port"), txtMqttPort);
    chkMqttTls =
        Named(new QCheckBox(QStringLiteral("TLS (the broker's certificate is checked)"), this), "chkMqttTls");
    form->addRow(chkMqttTls);
    txtMqttCafile = NamedLineEdit("txtMqttCafile", 260, this);
    form->addRow(QStringLiteral("CA file"), txtMqttCafile);
    txtMqttUser = NamedLineEdit("txtMqttUser", 255, this);
    txtMqttPassword = NamedLineEdit("txtMqttPassword", 255, this);
    txtMqttPassword->setEchoMode(QLineEdit::Password);
    form->addRow(QStringLiteral("User"), txtMqttUser);
    form->addRow(QStringLiteral("Password"), txtMqttPassword);
    txtMqttClientId = NamedLineEdit("txtMqttClientId", 255, this);
    txtMqttClientId->setPlaceholderText(QStringLiteral("made from this computer's name"));
    form->addRow(QStringLiteral("Client id"), txtMqttClientId);
    txtMqttPrefix = NamedLineEdit("txtMqttPrefix", 255, this);
    txtMqttSite = NamedLineEdit("txtMqttSite", 255, this);
    txtMqttSite->setPlaceholderText(QStringLiteral("the organisation name"));
    form->addRow(QStringLiteral("Topic prefix"), txtMqttPrefix);
    form->addRow(QStringLiteral("Site"), txtMqttSite);
    txtMqttQos = NamedLineEdit("txtMqttQos", 1, this);
    AcceptDigitsOnly(txtMqttQos);
    form->addRow(QStringLiteral("QoS (0 to 2)"), txtMqttQos);
    chkMqttDiscovery =
        Named(new QCheckBox(QStringLiteral("Home Assistant discovery"), this), "chkMqttDiscovery");
    form->addRow(chkMqttDiscovery);
    txtMqttDiscoveryPrefix = NamedLineEdit("txtMqttDiscoveryPrefix", 255, this);
    form->addRow(QStringLiteral("Discovery prefix"), txtMqttDiscoveryPrefix);
    lblMqttStatus = Named(new QLabel(this), "lblMqttStatus");
    lblMqttStatus->setWordWrap(true);
    form->addRow(QStringLiteral("Now"), lblMqttStatus);
}

void MqttPage::fill(const MqttIniSettings &settings, const QString &statusLine)
{
    chkMqttEnabled->setChecked(settings.enabled);
    txtMqttHost->setText(settings.host);
    txtMqttPort->setText(QString::number(settings.port));
    chkMqttTls->setChecked(settings.tls);
    txtMqttCafile->setText(settings.cafile);
    txtMqttUser->setText(settings.user);
    txtMqttPassword->setText(settings.password);
    txtMqttClientId->setText(settings.clientId);
    txtMqttPrefix->setText(settings.prefix);
    txtMqttSite->setText(settings.site);
    txtMqttQos->setText(QString::number(settings.qos));
    chkMqttDiscovery->setChecked(settings.discovery);
    txtMqttDiscoveryPrefix->setText(settings.discoveryPrefix);
    lblMqttStatus->setText(statusLine.isEmpty() ? QStringLiteral("not publishing") : statusLine);
}

bool MqttPage::collect(MqttIniSettings &settings, QString &reason, QLineEdit *&badBox) const
{
    int port = 0;
    int qos = 0;
    if (!numberIn(txtMqttPort, 1, 65535, port)) {
        reason = QStringLiteral("The MQTT broker's port must be a number from 1 to 65535.");
        badBox = txtMqttPort;
        return false;
    }
    if (!numberIn(txtMqttQos, 0, 2, qos)) {
        reason = QStringLiteral("The MQTT QoS must be 0, 1 or 2.");
        badBox = txtMqttQos;
        return false;
    }
    if (chkMqttEnabled->isChecked() && txtMqttHost->text().trimmed().isEmpty()) {
        reason = QStringLiteral("Please enter the MQTT broker's host name or address.");
        badBox = txtMqttHost;
        return false;
    }
    settings.enabled = chkMqttEnabled->isChecked();
    settings.host = txtMqttHost->text().trimmed();
    settings.port = port;
    settings.tls = chkMqttTls->isChecked();
    settings.cafile = txtMqttCafile->text().trimmed();
    settings.user = txtMqttUser->text().trimmed();
    settings.password = txtMqttPassword->text();
    settings.clientId = txtMqttClientId->text().trimmed();
    settings.prefix = txtMqttPrefix->text().trimmed();
    settings.site = txtMqttSite->text().trimmed();
    settings.qos = qos;
    settings.discovery = chkMqttDiscovery->isChecked();
    settings.discoveryPrefix = txtMqttDiscoveryPrefix->text().trimmed();
    return true;
}

#include "moc_MqttPage.cpp"
