#include "support_settings.h"

#include <core/IniFile.h>
#include <core/StatusList.h>
#include <ui/settings/ConfigurationDialog.h>
#include <web/WebService.h>

#include <support/Screenshot.h>
#include <web/support_http.h>

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTabWidget>
#include <QTcpServer>

// The Remote Access tab of the settings window, and the server following Tallyport.ini at the
// activation after the window closes.
class TestRemoteAccess : public QObject {
    Q_OBJECT
private slots:
    void init() { QApplication::setApplicationName("Tallyport"); }

    void tabShowsAndSavesTheWebSettings()
    {
        SettingsFixture f;
        f.t.state.Config.AdminEmailAddress = "it@acme.test";
        f.save();
        f.t.status.UpdateStatus(WebService::StatusKey, "serving http://127.0.0.1:8080/");
        ConfigurationDialog dialog(f.t.state, f.file, f.mail);
        dialog.show();
        QCOMPARE(dialog.tabs()->tabText(dialog.tabs()->count() - 3), QString("Remote Access"));
        auto *enabled = Control<QCheckBox>(dialog, "chkWebEnabled");
        QVERIFY(!enabled->isChecked());
        QCOMPARE(box(dialog, "txtWebAddress")->text(), QString("127.0.0.1"));
        QCOMPARE(box(dialog, "txtWebPort")->text(), QString("8080"));
        QCOMPARE(Control<QLabel>(dialog, "lblWebStatus")->text(), QString("serving http://127.0.0.1:8080/"));

        // Serving the network without a token is refused and nothing is saved.
        enabled->click();
        TypeInto(box(dialog, "txtWebAddress"), "0.0.0.0");
        TypeInto(box(dialog, "txtWebPort"), "8181");
        apply(dialog);
        QCOMPARE(f.t.prompts.texts.last(),
                 QString("Remote access cannot start: address 0.0.0.0 is reachable from other computers and "
                         "needs a token."));
        QVERIFY(!QFile::exists(f.t.path("Tallyport.ini")));

        TypeInto(box(dialog, "txtWebPort"), "70000");
        apply(dialog);
        QCOMPARE(f.t.prompts.texts.last(),
                 QString("The port for remote access must be a number from 1 to 65535."));
        TypeInto(box(dialog, "txtWebPort"), "8181");

        Control<QPushButton>(dialog, "btnWebToken")->click();
        const QString token = box(dialog, "txtWebToken")->text();
        QCOMPARE(token.size(), 32);
        QCOMPARE(box(dialog, "txtWebToken")->echoMode(), QLineEdit::Password);
        QVERIFY(dialog.changed());
        apply(dialog);
        QCOMPARE(f.t.prompts.texts.last(), QString("Configuration parameters have been saved"));

        QSettings ini(f.t.path("Tallyport.ini"), QSettings::IniFormat);
        QCOMPARE(ini.value("web/enabled").toString(), QString("true"));
        QCOMPARE(ini.value("web/address").toString(), QString("0.0.0.0"));
        QCOMPARE(ini.value("web/port").toInt(), 8181);
        QCOMPARE(ini.value("web/token").toString(), token);
        QCOMPARE(f.t.state.Ini.web.token, token);
    }

    // The token is masked until asked for (which is not an edit); serving the network over
    // plain HTTP shows its warning on the tab too.
    void tokenIsMaskedAndPlainNetworkWarned()
    {
        SettingsFixture f;
        f.t.state.Config.AdminEmailAddress = "it@acme.test";
        f.save();
        f.t.state.Ini.web = {true, "0.0.0.0", 8080, "k3y-Of-Sixteen+Chars/x", "", "", ""};
        f.t.status.UpdateStatus(WebService::StatusKey, "serving http://0.0.0.0:8080/");
        f.t.status.UpdateStatus(
            WebService::PlainNetworkKey,
            "the token crosses the network readable; set a certificate and key for HTTPS");
        ConfigurationDialog dialog(f.t.state, f.file, f.mail);
        dialog.show();
        dialog.tabs()->setCurrentIndex(dialog.tabs()->count() - 3);
        QCOMPARE(
            Control<QLabel>(dialog, "lblWebStatus")->text(),
            QString("serving http://0.0.0.0:8080/\nRemote access is not encrypted: the token crosses the "
                    "network readable; set a certificate and key for HTTPS"));
        QLineEdit *token = box(dialog, "txtWebToken");
        auto *show = Control<QPushButton>(dialog, "btnWebShowToken");
        QCOMPARE(token->echoMode(), QLineEdit::Password);
        QCOMPARE(show->text(), QString("Show"));
        SaveScreenshot(dialog, "settings-remote-access");
        show->click();
        QCOMPARE(token->echoMode(), QLineEdit::Normal);
        QCOMPARE(token->text(), QString("k3y-Of-Sixteen+Chars/x"));
        QCOMPARE(show->text(), QString("Hide"));
        QVERIFY(!dialog.changed());
        show->click();
        QCOMPARE(token->echoMode(), QLineEdit::Password);
    }

    // What the settings window saved, the activation after it applies: the server starts and
    // the status list says where.
    void activationStartsTheServerFromTallyportIni()
    {
        MonitoredWindow w(123);
        QString error;
        QVERIFY2(w.start(error), qPrintable(error));
        WebService web(w.t.state, w.monitor->grid, w.window->pollTimer(), w.monitor->database);
        ConnectRemoteAccess(web, w.window->activation(), w.window->pollTimer(), w.monitor->outbox);

        QTcpServer probe; // a free port for the server
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const quint16 port = probe.serverPort();
        probe.close();
        w.t.state.Ini.web.enabled = true;
        w.t.state.Ini.web.port = port;
        QVERIFY(IniFile(w.t.state).Save("web"));
        w.window->reactivate();
        const QString line = QString("Remote access: serving http://127.0.0.1:%1/").arg(port);
        QVERIFY2(w.t.status.contains(line), qPrintable(w.t.status.lines().join('\n')));
        QVERIFY(w.waitForCycles(1));
        const QUrl base(QString("http://127.0.0.1:%1").arg(port));
        QCOMPARE(HttpGet(base.resolved(QUrl("/healthz"))).body, QByteArray("ok\n"));
        QVERIFY(HttpGet(base.resolved(QUrl("/metrics"))).body.contains("tallyport_device_up{device=\"Lab\""));

        // Turned off in the file: the next activation stops it.
        w.t.state.Ini.web.enabled = false;
        QVERIFY(IniFile(w.t.state).Save("web"));
        w.window->reactivate();
        QTRY_VERIFY(!web.isRunning());
        QVERIFY(w.t.status.lines().filter(WebService::StatusKey).isEmpty());
        QCOMPARE(HttpGet(base.resolved(QUrl("/healthz")), {}, 3000).status, 0);
    }

private:
    static QLineEdit *box(QWidget &dialog, const char *name) { return Control<QLineEdit>(dialog, name); }
    static void apply(QWidget &dialog) { Control<QPushButton>(dialog, "btnApply")->click(); }
};

QTEST_MAIN(TestRemoteAccess)
#include "tst_remoteaccess.moc"
