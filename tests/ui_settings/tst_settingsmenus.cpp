#include "support_settings.h"

#include <core/StatusList.h>
#include <ui/settings/ConfigurationDialog.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QTimer>

namespace {
void click(QWidget *window, const char *button)
{
    Control<QPushButton>(*window, button)->click();
}
} // namespace

// The settings windows opened from the main window while it watches a simulated device.
class TestSettingsMenus : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QApplication::setApplicationName("Tallyport");
        QApplication::setApplicationVersion("1.0.0");
    }

    void trayEntryOpensTheWindowWhilePollingGoesOn()
    {
        MonitoredWindow w(21);
        QString error;
        QVERIFY2(w.start(error), qPrintable(error));
        w.action("mpopConfigure")->trigger();
        ConfigurationDialog *dialog = w.settingsWindows->openWindow();
        QVERIFY(dialog && dialog->isVisible());
        QVERIFY(!dialog->isModal());
        QVERIFY(w.window->pollTimer().isRunning());
        QVERIFY(w.waitForCycles(3));
        // Asked for again, the open window comes to the front; there is never a second one.
        w.action("mpopConfigure")->trigger();
        w.action("mnuOrganization")->trigger();
        QCOMPARE(w.window->findChildren<ConfigurationDialog *>().size(), 1);
        QVERIFY(dialog->isVisible());

        // What is saved there, in the window or in its advanced e-mail window, takes effect when
        // the window closes.
        WhenModalOpens([&](QWidget *advanced) {
            TypeInto(Control<QLineEdit>(*advanced, "txtSMTPPort"), "2600");
            click(advanced, "OKButton");
        });
        click(dialog, "btnAdvanced");
        TypeInto(Control<QLineEdit>(*dialog, "txtUpdateRate"), "10");
        click(dialog, "btnApply");
        QCOMPARE(w.monitor->mail.server().port, int(MonitoredWindow::SmtpPort));
        click(dialog, "btnClose");
        QCOMPARE(w.t.prompts.texts, QStringList({"Configuration parameters have been saved"}));
        QTRY_COMPARE(w.window->pollTimer().ticksPerCycle(), 2);
        QCOMPARE(w.monitor->mail.server().port, 2600);
        QVERIFY(w.t.status.lines().contains("Update Rate 10 seconds"));
        QVERIFY(w.waitForCycles(1));
    }

    void closedDuringACycleTheWindowsSettingsApplyAfterIt()
    {
        MonitoredWindow w(25);
        QString error;
        QVERIFY2(w.start(error), qPrintable(error));
        w.action("mpopConfigure")->trigger();
        ConfigurationDialog *dialog = w.settingsWindows->openWindow();
        TypeInto(Control<QLineEdit>(*dialog, "txtUpdateRate"), "10");
        click(dialog, "btnApply");
        // The device answers slowly: the window is closed while the cycle waits for it.
        w.device->setFault(SimFault::Slow);
        int ticksWhenClosed = 0;
        auto *inCycle = new QTimer(dialog);
        connect(inCycle, &QTimer::timeout, dialog, [&, dialog, inCycle] {
            if (!w.t.state.UpdateInProgress)
                return;
            inCycle->stop();
            click(dialog, "btnClose");
            ticksWhenClosed = w.window->pollTimer().ticksPerCycle();
        });
        inCycle->start(5);
        QTRY_COMPARE(ticksWhenClosed, 1);
        QTRY_COMPARE(w.window->pollTimer().ticksPerCycle(), 2);
        QVERIFY(!w.t.state.UpdateInProgress);
        QVERIFY(w.t.status.lines().contains("Update Rate 10 seconds"));
    }

    void configureTallyportStopsPollingAndTheNewRateTakesEffect()
    {
        MonitoredWindow w(22);
        QString error;
        QVERIFY2(w.start(error), qPrintable(error));
        QCOMPARE(w.window->pollTimer().ticksPerCycle(), 1);
        bool stoppedWhileOpen = false;
        bool modal = false;
        WhenModalOpens([&](QWidget *dialog) {
            stoppedWhileOpen = !w.window->pollTimer().isRunning();
            modal = dialog->objectName() == "frmConfiguration";
            TypeInto(Control<QLineEdit>(*dialog, "txtUpdateRate"), "10");
            click(dialog, "btnApply");
            click(dialog, "btnClose");
        });
        w.action("mnuOrganization")->trigger();
        QVERIFY(modal);
        QVERIFY(stoppedWhileOpen);
        QCOMPARE(w.window->pollTimer().ticksPerCycle(), 2);
        QVERIFY(w.window->pollTimer().isRunning());
        QVERIFY(w.t.status.lines().contains("Update Rate 10 seconds"));
    }

    void newPortAndMethodReachTheNextAlarmEmail()
    {
        MonitoredWindow w(23);
        QString error;
        QVERIFY2(w.start(error), qPrintable(error));
        SmtpTestServer::Options options;
        options.host = w.address(11);
        options.port = 2526;
        options.user = "mailer";
        options.password = "secret";
        options.requireAuth = true;
        SmtpTestServer secure(options);
        QVERIFY2(secure.start(), qPrintable(secure.errorOutput()));

        WhenModalOpens([&](QWidget *settings) {
            WhenModalOpens([&](QWidget *advanced) {
                TypeInto(Control<QLineEdit>(*advanced, "txtSMTPPort"), "2526");
                Control<QCheckBox>(*advanced, "chkAuthentication")->click();
                Control<QComboBox>(*advanced, "cmboAuthenticationMethod")->setCurrentText("PLAIN");
                TypeInto(Control<QLineEdit>(*advanced, "txtUserName"), "mailer");
                TypeInto(Control<QLineEdit>(*advanced, "txtPassword"), "secret");
                click(advanced, "OKButton");
            });
            click(settings, "btnAdvanced");
            TypeInto(Control<QLineEdit>(*settings, "txtHost"), w.address(11));
            click(settings, "btnApply");
            click(settings, "btnClose");
        });
        w.action("mnuOrganization")->trigger();

        w.device->setAlarmByte(0, 1);
        QVERIFY(secure.waitForMessages(1, 15000));
        const SmtpTestServer::Received mail = secure.messages().first();
        QCOMPARE(mail.authMechanism, QString("PLAIN"));
        QCOMPARE(mail.login, QString("mailer"));
        QCOMPARE(mail.recipients, QStringList({"alarms@example.com"}));
        QVERIFY(mail.header("Subject").contains("Freezer"));
        QVERIFY(w.smtp->messages().isEmpty());
    }

    void logInUnlocksAndLogOutLocksAtOnce()
    {
        MonitoredWindow w(24);
        w.settings.AdminUserName = "admin";
        w.settings.AdminPassword = "pw";
        QString error;
        QVERIFY2(w.start(error), qPrintable(error));
        QVERIFY(!w.action("mnuTree")->isEnabled());
        QVERIFY(!w.action("mnuOrganization")->isEnabled());
        QVERIFY(!w.action("mpopConfigure")->isEnabled());
        QCOMPARE(w.action("mnuLogIn")->text(), QString("Log In"));

        WhenModalOpens([&](QWidget *login) {
            TypeInto(Control<QLineEdit>(*login, "txtUserName"), "admin");
            TypeInto(Control<QLineEdit>(*login, "txtPassword"), "pw");
            click(login, "cmdOK");
        });
        w.action("mnuLogIn")->trigger();
        QVERIFY(w.t.state.LoginSucceeded);
        QVERIFY(w.action("mnuTree")->isEnabled());
        QVERIFY(w.action("mnuOrganization")->isEnabled());
        QVERIFY(w.action("mpopConfigure")->isEnabled());
        QCOMPARE(w.action("mnuLogIn")->text(), QString("Log Out"));
        QCOMPARE(w.window->windowTitle(), w.window->plainCaption() + "    ADMINISTRATOR LOGGED IN");

        w.action("mnuLogIn")->trigger();
        QVERIFY(!w.t.state.LoginSucceeded);
        QCOMPARE(w.action("mnuLogIn")->text(), QString("Log In"));
        QVERIFY(!w.action("mnuTree")->isEnabled());
        QVERIFY(!w.action("mnuOrganization")->isEnabled());
        QVERIFY(!w.action("mpopConfigure")->isEnabled());
        QCOMPARE(w.window->windowTitle(), w.window->plainCaption());
        QVERIFY(w.t.prompts.texts.isEmpty());
    }
};

QTEST_MAIN(TestSettingsMenus)
#include "tst_settingsmenus.moc"
