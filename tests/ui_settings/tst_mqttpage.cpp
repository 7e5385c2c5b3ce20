#include "support_settings.h"

#include <core/StatusList.h>
#include <mqtt/MqttPublisher.h>
#include <ui/settings/ConfigurationDialog.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTabWidget>

// The MQTT tab of the settings window: what it shows, what it refuses, what it saves.
class TestMqttPage : public QObject {
    Q_OBJECT
private slots:
    void init() { QApplication::setApplicationName("Tallyport"); }

    void tabShowsChecksAndSavesTheMqttSettings()
    {
        SettingsFixture f;
        f.t.state.Config.AdminEmailAddress = "it@acme.test";
        f.save();
        f.t.status.UpdateStatus(MqttPublisher::StatusKey,
                                "not connected to broker port 1883: Connection refused");
        ConfigurationDialog dialog(f.t.state, f.file, f.mail);
        dialog.show();
        QCOMPARE(dialog.tabs()->tabText(dialog.tabs()->count() - 4), QString("MQTT"));
        auto *enabled = Control<QCheckBox>(dialog, "chkMqttEnabled");
        QVERIFY(!enabled->isChecked());
        QCOMPARE(box(dialog, "txtMqttPort")->text(), QString("1883"));
        QCOMPARE(box(dialog, "txtMqttPrefix")->text(), QString("tallyport"));
        QCOMPARE(box(dialog, "txtMqttDiscoveryPrefix")->text(), QString("homeassistant"));
        QVERIFY(Control<QCheckBox>(dialog, "chkMqttDiscovery")->isChecked());
        QCOMPARE(Control<QLabel>(dialog, "lblMqttStatus")->text(),
                 QString("not connected to broker port 1883: Connection refused"));

        // Publishing without a broker, a port or a QoS out of range: refused, nothing saved.
        enabled->click();
        apply(dialog);
        QCOMPARE(f.t.prompts.texts.last(), QString("Please enter the MQTT broker's host name or address."));
        TypeInto(box(dialog, "txtMqttHost"), "broker.lan");
        TypeInto(box(dialog, "txtMqttQos"), "3");
        apply(dialog);
        QCOMPARE(f.t.prompts.texts.last(), QString("The MQTT QoS must be 0, 1 or 2."));
        QVERIFY(!QFile::exists(f.t.path("Tallyport.ini")));

        TypeInto(box(dialog, "txtMqttQos"), "0");
        TypeInto(box(dialog, "txtMqttSite"), "Plant 2");
        TypeInto(box(dialog, "txtMqttPassword"), "s3cret word");
        Control<QCheckBox>(dialog, "chkMqttTls")->click();
        apply(dialog);
        QCOMPARE(f.t.prompts.texts.last(), QString("Configuration parameters have been saved"));
        QSettings ini(f.t.path("Tallyport.ini"), QSettings::IniFormat);
        QCOMPARE(ini.value("mqtt/enabled").toString(), QString("true"));
        QCOMPARE(ini.value("mqtt/host").toString(), QString("broker.lan"));
        QCOMPARE(ini.value("mqtt/qos").toInt(), 0);
        QCOMPARE(ini.value("mqtt/site").toString(), QString("Plant 2"));
        QCOMPARE(ini.value("mqtt/password").toString(), QString("s3cret word"));
        QCOMPARE(ini.value("mqtt/tls").toString(), QString("true"));
        QCOMPARE(f.t.state.Ini.mqtt.host, QString("broker.lan"));
    }

private:
    static QLineEdit *box(QWidget &dialog, const char *name) { return Control<QLineEdit>(dialog, name); }
    static void apply(QWidget &dialog) { Control<QPushButton>(dialog, "btnApply")->click(); }
};

QTEST_MAIN(TestMqttPage)
#include "tst_mqttpage.moc"
