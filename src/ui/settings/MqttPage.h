#pragma once

#include <core/IniSettings.h>

#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;

// The "MQTT" tab: the [mqtt] settings of "Tallyport.ini" (readings, states and device outcomes
// published to a broker, with Home Assistant discovery), and where the connection stands now.
class MqttPage final : public QWidget {
    Q_OBJECT
public:
    explicit MqttPage(QWidget *parent = nullptr);
    static QString title() { return QStringLiteral("MQTT"); }

    void fill(const MqttIniSettings &settings, const QString &statusLine);
    // The settings as typed; false with the reason and the box to mark when a number is out of
    // range or publishing is on without a broker.
    bool collect(MqttIniSettings &settings, QString &reason, QLineEdit *&badBox) const;

    QCheckBox *chkMqttEnabled;
    QLineEdit *txtMqttHost;
    QLineEdit *txtMqttPort;
    QCheckBox *chkMqttTls;
    QLineEdit *txtMqttCafile;
    QLineEdit *txtMqttUser;
    QLineEdit *txtMqttPassword;
    QLineEdit *txtMqttClientId;
    QLineEdit *txtMqttPrefix;
    QLineEdit *txtMqttSite;
    QLineEdit *txtMqttQos;
    QCheckBox *chkMqttDiscovery;
    QLineEdit *txtMqttDiscoveryPrefix;
    QLabel *lblMqttStatus;
};
