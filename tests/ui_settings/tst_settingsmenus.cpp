#include "support_settings.h"

#include <core/StatusList.h>
#include <ui/settings/ConfigurationDialog.h>

#include <core/IniFile.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTimer>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

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

        // What is saved there, in the window or in its advanced e-mail window, takes effect at
        // once, all of it, while the window stays open.
        WhenModalOpens([&](QWidget *advanced) {
            TypeInto(Control<QLineEdit>(*advanced, "txtSMTPPort"), "2600");
            click(advanced, "OKButton");
        });
        click(dialog, "btnAdvanced");
        QCOMPARE(w.monitor->mail.server().port, 2600);
        TypeInto(Control<QLineEdit>(*dialog, "txtUpdateRate"), "10");
        click(dialog, "btnApply");
        QCOMPARE(w.t.prompts.texts, QStringList({"Configuration parameters have been saved"}));
        QTRY_COMPARE(w.window->pollTimer().ticksPerCycle(), 2);
        QVERIFY(w.t.status.lines().contains("Update Rate 10 seconds"));
        QVERIFY(dialog->isVisible());
        click(dialog, "btnClose");
        QVERIFY(w.waitForCycles(1));
    }

    void appliedDuringACycleTheWindowsSettingsApplyAfterIt()
    {
        MonitoredWindow w(25);
        QString error;
        QVERIFY2(w.start(error), qPrintable(error));
        w.action("mpopConfigure")->trigger();
        ConfigurationDialog *dialog = w.settingsWindows->openWindow();
        TypeInto(Control<QLineEdit>(*dialog, "txtUpdateRate"), "10");
        // The device answers slowly: Apply is pressed while the cycle waits for it.
        w.device->setFault(SimFault::Slow);
        int ticksWhenApplied = 0;
        auto *inCycle = new QTimer(dialog);
        connect(inCycle, &QTimer::timeout, dialog, [&, dialog, inCycle] {
            if (!w.t.state.UpdateInProgress)
                return;
            inCycle->stop();
            click(dialog, "btnApply");
            ticksWhenApplied = w.window->pollTimer().ticksPerCycle();
        });
        inCycle->start(5);
        QTRY_COMPARE(ticksWhenApplied, 1);
        QTRY_COMPARE(w.window->pollTimer().ticksPerCycle(), 2);
        QVERIFY(!w.t.state.UpdateInProgress);
        QVERIFY(w.t.status.lines().contains("Update Rate 10 seconds"));
    }

    // A real box or window left open never stops monitoring, whether it opens while a cycle
    // waits on a silent device or between two cycles: beneath it the answering device is read
    // every cycle, and an alarm that starts meanwhile is recorded and e-mailed. No (or closing
    // the window) leaves monitoring running; Yes to the close question ends it at once.
    void openBoxesNeverStopMonitoring_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<bool>("insideAWait");
        QTest::addColumn<bool>("yes");
        for (const char *box : {"close question", "Apply message", "Advanced window"})
            for (bool inside : {true, false})
                QTest::newRow(qPrintable(
                    QStringLiteral("%1, %2").arg(box, inside ? "inside a wait" : "between cycles")))
                    << QString(box) << inside << false;
        QTest::newRow("close question answered Yes") << QString("close question") << true << true;
    }
    void openBoxesNeverStopMonitoring()
    {
        QFETCH(QString, box);
        QFETCH(bool, insideAWait);
        QFETCH(bool, yes);
        MonitoredWindow w(26);
        w.withSilentDevice = true;
        QString error;
        QVERIFY2(w.start(error), qPrintable(error));
        w.showRealBoxes();
        ConfigurationDialog *dialog = nullptr;
        if (box != "close question") {
            w.action("mpopConfigure")->trigger();
            dialog = w.settingsWindows->openWindow();
            QVERIFY(dialog);
        }
        PollTimer &timer = w.window->pollTimer();
        int alarmsBefore = 0;
        w.monitor->database.CountAlarms(alarmsBefore);

        bool checked = false;
        bool cycleRunningAtAnswer = false;
        QElapsedTimer sinceYes;
        qint64 cycleEndedAfterYes = -1;
        connect(&w.monitor->cycle, &PollCycle::finished, [&] {
            if (sinceYes.isValid() && cycleEndedAfterYes < 0)
                cycleEndedAfterYes = sinceYes.elapsed();
        });
        WhenModalOpens([&](QWidget *modal) {
            // Whatever happens below, the box is answered, so the test never hangs on it.
            const auto answer = qScopeGuard([&] {
                if (auto *question = qobject_cast<QMessageBox *>(modal)) {
                    QAbstractButton *button = question->button(yes ? QMessageBox::Yes : QMessageBox::No);
                    if (!button)
                        button = question->button(QMessageBox::Ok);
                    sinceYes.start();
                    button->click();
                } else {
                    click(modal, "CancelButton");
                }
            });
            QCOMPARE(timer.cycleRunning(), insideAWait);
            QSignalSpy cycles(&timer, &PollTimer::cycleFinished);
            const int readsBefore = w.device->transactionCount();
            w.device->setAlarmByte(0, 1);
            QTest::qWait(2600);
            QVERIFY2(cycles.count() >= 2, qPrintable(QString::number(cycles.count())));
            // The answering device is read in every cycle (at least once; a slow answer on a
            // loaded machine may cost a cycle its second read).
            const int reads = w.device->transactionCount() - readsBefore;
            QVERIFY2(reads >= cycles.count(),
                     qPrintable(QStringLiteral("%1 reads in %2 cycles").arg(reads).arg(cycles.count())));
            int alarms = 0;
            QVERIFY(w.monitor->database.CountAlarms(alarms));
            QCOMPARE(alarms, alarmsBefore + 1);
            const auto alarmMailed = [&] {
                const auto mails = w.smtp->messages();
                return std::any_of(mails.begin(), mails.end(), [](const SmtpTestServer::Received &mail) {
                    return mail.recipients == QStringList{"alarms@example.com"} &&
                           mail.header("Subject").contains("Freezer");
                });
            };
            QTRY_VERIFY_WITH_TIMEOUT(alarmMailed(), 5000);
            cycleRunningAtAnswer = timer.cycleRunning();
            checked = true;
        });
        // The box opens at the chosen moment: while a cycle waits for the silent device (the
        // answering one, polled after it, not taken yet), or while no cycle runs.
        QTimer moment;
        bool opened = false;
        connect(&moment, &QTimer::timeout, [&] {
            if (timer.cycleRunning() != insideAWait)
                return;
            moment.stop();
            opened = true;
            if (box == "close question")
                QCOMPARE(w.window->close(), yes);
            else if (box == "Apply message")
                click(dialog, "btnApply");
            else
                click(dialog, "btnAdvanced");
        });
        moment.start(insideAWait ? 300 : 5);
        QTRY_VERIFY_WITH_TIMEOUT(opened && !QApplication::activeModalWidget(), 20000);
        QVERIFY(checked);
        if (yes) {
            QVERIFY(!w.t.state.MonitoringActive());
            QTRY_VERIFY(!timer.cycleRunning());
            if (cycleRunningAtAnswer)
                QVERIFY2(cycleEndedAfterYes >= 0 && cycleEndedAfterYes < 1000,
                         qPrintable(QString::number(cycleEndedAfterYes)));
            QCOMPARE(w.monitor->cycle.exchanges().running(), 0);
            QVERIFY(!timer.isRunning());
            return;
        }
        QVERIFY(w.t.state.MonitoringActive());
        QVERIFY(w.waitForCycles(2));
        if (dialog)
            click(dialog, "btnClose");
    }

    // Closing the program while the settings window holds unsaved changes: they are asked about
    // once, before the close question and while monitoring runs. No keeps the program and the
    // window open (to Apply them); Yes closes the window and goes on to the close question.
    void closingWithUnsavedSettingsAsksAboutThemOnceFirst()
    {
        MonitoredWindow w(28);
        QString error;
        QVERIFY2(w.start(error), qPrintable(error));
        w.action("mpopConfigure")->trigger();
        QPointer<ConfigurationDialog> dialog = w.settingsWindows->openWindow();
        QVERIFY(dialog);
        TypeInto(Control<QLineEdit>(*dialog, "txtUpdateRate"), "10");
        w.t.prompts.texts.clear();
        w.t.prompts.queueAnswer(Prompts::Answer::No);
        QVERIFY(!w.window->close());
        QCOMPARE(w.t.prompts.texts.size(), 1);
        QVERIFY(w.t.prompts.texts[0].startsWith("You have made changes to the settings"));
        QVERIFY(dialog && dialog->isVisible());
        QVERIFY(w.t.state.MonitoringActive());
        QVERIFY(w.waitForCycles(1));

        w.t.prompts.texts.clear();
        w.t.prompts.queueAnswer(Prompts::Answer::Yes); // discard
        w.t.prompts.queueAnswer(Prompts::Answer::Yes); // close
        QVERIFY(w.window->close());
        QCOMPARE(w.t.prompts.texts.size(), 2);
        QVERIFY(w.t.prompts.texts[0].startsWith("You have made changes to the settings"));
        QVERIFY(w.t.prompts.texts[1].startsWith("WARNING, closing this program"));
        QTRY_VERIFY(!dialog || !dialog->isVisible());
        QVERIFY(!w.t.state.MonitoringActive());
        QCOMPARE(w.t.prompts.unexpected, 0);
    }

    // The program is closed while the settings window's test e-mail waits on a mail server that
    // takes the connection and never greets: the changes are discarded (Yes), then the close
    // question is answered. The window is locked and closes once the e-mail has failed, never
    // beneath it; No leaves monitoring running throughout, Yes ends it.
    void closingDuringATestEmail_data()
    {
        QTest::addColumn<bool>("close");
        QTest::newRow("No to closing") << false;
        QTest::newRow("Yes to closing") << true;
    }
    void closingDuringATestEmail()
    {
        QFETCH(bool, close);
        MonitoredWindow w(29);
        w.settings.SMTPTimeOut = 2;
        QString error;
        QVERIFY2(w.start(error), qPrintable(error));
        SmtpTestServer::Options options;
        options.mode = SmtpTestServer::Mode::Silent;
        options.host = w.address(11);
        options.port = MonitoredWindow::SmtpPort;
        SmtpTestServer mute(options);
        QVERIFY2(mute.start(), qPrintable(mute.errorOutput()));
        w.action("mpopConfigure")->trigger();
        QPointer<ConfigurationDialog> dialog = w.settingsWindows->openWindow();
        QVERIFY(dialog);
        TypeInto(Control<QLineEdit>(*dialog, "txtHost"), w.address(11));
        w.t.prompts.texts.clear();
        QSignalSpy cycles(&w.window->pollTimer(), &PollTimer::cycleFinished);

        bool closed = !close;
        bool lockedOpen = false;
        int cyclesAtClose = -1;
        QTimer::singleShot(400, dialog, [&] {
            w.t.prompts.queueAnswer(Prompts::Answer::Yes); // discard the changes
            w.t.prompts.queueAnswer(close ? Prompts::Answer::Yes : Prompts::Answer::No);
            closed = w.window->close();
            lockedOpen = dialog && dialog->isVisible() && !dialog->isEnabled();
            cyclesAtClose = int(cycles.count());
        });
        click(dialog, "btnTestEmail"); // returns once the e-mail has given up
        QCOMPARE(closed, close);
        QVERIFY(lockedOpen);
        QCOMPARE(w.t.prompts.texts.size(), 3);
        QVERIFY(w.t.prompts.texts[0].startsWith("You have made changes to the settings"));
        QVERIFY(w.t.prompts.texts[1].startsWith("WARNING, closing this program"));
        QVERIFY2(w.t.prompts.texts[2].startsWith("Failed to send email to 'admin@example.com'"),
                 qPrintable(w.t.prompts.texts[2]));
        QTRY_VERIFY(!dialog);
        QCOMPARE(w.t.state.MonitoringActive(), !close);
        if (close) {
            QTRY_VERIFY(!w.window->pollTimer().cycleRunning());
            QVERIFY(!w.window->pollTimer().isRunning());
        } else {
            // Cycles ran beneath the e-mail's wait after the answer, and go on after it.
            QVERIFY2(cycles.count() > cyclesAtClose, qPrintable(QString::number(cycles.count())));
            QVERIFY(w.waitForCycles(2));
        }
        QCOMPARE(w.t.prompts.unexpected, 0);
    }

    // The notification area's commands leave polling stopped while the settings window opened
    // from the menu holds it: Create Reports starts no cycle, Configure is locked as the menus
    // are, and polling starts again when the window closes.
    void trayCommandsLeavePollingHeldByTheMenusWindow()
    {
        MonitoredWindow w(27);
        QString error;
        QVERIFY2(w.start(error), qPrintable(error));
        PollTimer &timer = w.window->pollTimer();
        QSignalSpy cycles(&timer, &PollTimer::cycleEnded);
        int cyclesWhileOpen = -1;
        bool pollingWhileOpen = true;
        bool configureWhileOpen = true;
        WhenModalOpens([&](QWidget *dialog) {
            w.action("mpopCreateReports")->trigger();
            configureWhileOpen = w.action("mpopConfigure")->isEnabled();
            QTest::qWait(800);
            cyclesWhileOpen = int(cycles.count());
            pollingWhileOpen = timer.isRunning();
            click(dialog, "btnClose");
        });
        QTRY_VERIFY(!w.t.state.UpdateInProgress);
        cycles.clear();
        w.action("mnuOrganization")->trigger();
        QCOMPARE(cyclesWhileOpen, 0);
        QVERIFY(!pollingWhileOpen);
        QVERIFY(!configureWhileOpen);
        QVERIFY(timer.isRunning());
        QVERIFY(w.action("mpopConfigure")->isEnabled());
        QVERIFY(w.waitForCycles(1));
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
        QVERIFY(w.triggerBetweenCycles("mnuOrganization"));
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
        // A provider's key longer than the settings record's field holds.
        const QString key = "SG." + QString(33, 'K') + "." + QString(32, 'z');
        QCOMPARE(key.size(), 69);
        options.user = "mailer";
        options.password = key;
        options.requireAuth = true;
        SmtpTestServer secure(options);
        QVERIFY2(secure.start(), qPrintable(secure.errorOutput()));

        WhenModalOpens([&](QWidget *settings) {
            WhenModalOpens([&](QWidget *advanced) {
                TypeInto(Control<QLineEdit>(*advanced, "txtSMTPPort"), "2526");
                Control<QCheckBox>(*advanced, "chkAuthentication")->click();
                Control<QComboBox>(*advanced, "cmboAuthenticationMethod")->setCurrentText("PLAIN");
                TypeInto(Control<QLineEdit>(*advanced, "txtUserName"), "mailer");
                auto *password = Control<QLineEdit>(*advanced, "txtPassword");
                TypeInto(password, key); // as a paste
                QCOMPARE(password->text(), key);
                click(advanced, "OKButton");
            });
            click(settings, "btnAdvanced");
            TypeInto(Control<QLineEdit>(*settings, "txtHost"), w.address(11));
            click(settings, "btnApply");
            click(settings, "btnClose");
        });
        QVERIFY(w.triggerBetweenCycles("mnuOrganization"));

        w.device->setAlarmByte(0, 1);
        QVERIFY(secure.waitForMessages(1, 15000));
        const SmtpTestServer::Received mail = secure.messages().first();
        QCOMPARE(mail.authMechanism, QString("PLAIN"));
        QCOMPARE(mail.login, QString("mailer"));
        QCOMPARE(mail.recipients, QStringList({"alarms@example.com"}));
        QVERIFY(mail.header("Subject").contains("Freezer"));
        QVERIFY(w.smtp->messages().isEmpty());
        // The key is kept whole and encrypted beside the settings record.
        QFile iniFile(w.t.path(IniFile::FileName));
        QVERIFY(iniFile.open(QIODevice::ReadOnly));
        const QByteArray written = iniFile.readAll();
        QVERIFY(written.contains("smtpPassword="));
        QVERIFY(!written.contains(key.toUtf8()));
    }

    // Apply answered No, a test e-mail through the typed host, then the window closed with its
    // changes discarded: the next alarm e-mail goes to the saved host, never the discarded one.
    // Once that host is saved, the alarm e-mails go there.
    void discardedMailHostNeverReceivesAnAlarm()
    {
        MonitoredWindow w(26);
        QString error;
        QVERIFY2(w.start(error), qPrintable(error));
        SmtpTestServer::Options options;
        options.host = w.address(11);
        options.port = MonitoredWindow::SmtpPort;
        SmtpTestServer other(options);
        QVERIFY2(other.start(), qPrintable(other.errorOutput()));

        WhenModalOpens([&](QWidget *settings) {
            TypeInto(Control<QLineEdit>(*settings, "txtHost"), w.address(11));
            TypeInto(Control<QLineEdit>(*settings, "txtServerFailureEmailAddress"), "admin");
            w.t.prompts.queueAnswer(Prompts::Answer::No);
            click(settings, "btnApply");
            TypeInto(Control<QLineEdit>(*settings, "txtServerFailureEmailAddress"), "admin@example.com");
            click(settings, "btnTestEmail");
            w.t.prompts.queueAnswer(Prompts::Answer::Yes);
            click(settings, "btnClose");
        });
        QVERIFY(w.triggerBetweenCycles("mnuOrganization"));
        QCOMPARE(w.t.prompts.texts.size(), 3);
        QVERIFY(w.t.prompts.texts.at(1).startsWith("A test email has been successfully sent"));
        QCOMPARE(w.t.prompts.titles.last(), QString("Settings have changed"));
        QVERIFY(other.waitForMessages(1));

        w.device->setAlarmByte(0, 1);
        QVERIFY(w.smtp->waitForMessages(1, 15000));
        QVERIFY(w.smtp->messages().first().header("Subject").contains("Freezer"));
        QVERIFY(w.waitForCycles(2));
        QCOMPARE(other.messages().size(), 1);
        QCOMPARE(w.monitor->mail.server().host, w.address(10));

        WhenModalOpens([&](QWidget *settings) {
            TypeInto(Control<QLineEdit>(*settings, "txtHost"), w.address(11));
            click(settings, "btnApply");
            click(settings, "btnClose");
        });
        QVERIFY(w.triggerBetweenCycles("mnuOrganization"));
        w.device->setAlarmByte(0, 0);
        QVERIFY(w.waitForCycles(2));
        w.device->setAlarmByte(0, 1);
        QVERIFY(other.waitForMessages(2, 15000));
        QVERIFY(other.messages().last().header("Subject").contains("Freezer"));
        QCOMPARE(w.smtp->messages().size(), 1);
    }

    // Logging out closes a settings window left open, after the question about its changes (No
    // keeps the window and the administrator logged in). Credentials cleared and saved in that
    // window take effect at once: no login is set, so there is nothing left to lock.
    void logOutClosesTheOpenSettingsWindow()
    {
        MonitoredWindow w(27);
        w.settings.AdminUserName = "admin";
        w.settings.AdminPassword = "pw";
        QString error;
        QVERIFY2(w.start(error), qPrintable(error));
        const auto logIn = [&w] {
            WhenModalOpens([](QWidget *login) {
                TypeInto(Control<QLineEdit>(*login, "txtUserName"), "admin");
                TypeInto(Control<QLineEdit>(*login, "txtPassword"), "pw");
                click(login, "cmdOK");
            });
            w.action("mnuLogIn")->trigger();
        };
        logIn();
        w.action("mpopConfigure")->trigger();
        QPointer<ConfigurationDialog> dialog = w.settingsWindows->openWindow();
        TypeInto(Control<QLineEdit>(*dialog, "txtOrgName"), "Edited");

        w.t.prompts.queueAnswer(Prompts::Answer::No);
        w.action("mnuLogIn")->trigger();
        QCOMPARE(w.t.prompts.titles, QStringList({"Settings have changed"}));
        QVERIFY(w.t.state.LoginSucceeded);
        QVERIFY(dialog && dialog->isVisible());
        QCOMPARE(w.action("mnuLogIn")->text(), QString("Log Out"));
        QVERIFY(w.action("mnuOrganization")->isEnabled());

        w.t.prompts.queueAnswer(Prompts::Answer::Yes);
        w.action("mnuLogIn")->trigger();
        QTRY_VERIFY(!dialog);
        QVERIFY(!w.t.state.LoginSucceeded);
        QCOMPARE(w.action("mnuLogIn")->text(), QString("Log In"));
        QVERIFY(!w.action("mnuOrganization")->isEnabled());
        QVERIFY(!w.action("mpopConfigure")->isEnabled());
        QCOMPARE(w.t.state.Config.OrgName, QString("Test Org"));

        logIn();
        w.action("mpopConfigure")->trigger();
        dialog = w.settingsWindows->openWindow();
        click(dialog, "btnClearUNPW");
        click(dialog, "btnApply");
        QCOMPARE(w.t.prompts.texts.last(), QString("Configuration parameters have been saved"));
        QTRY_COMPARE(w.action("mnuLogIn")->text(), QString("Log In"));
        QVERIFY(w.action("mnuOrganization")->isEnabled());
        QCOMPARE(w.window->windowTitle(), w.window->plainCaption());
        click(dialog, "btnClose");
        QVERIFY(w.t.prompts.unexpected == 0);
    }

    // Under a usual umask the files holding secrets are still the owner's only: the settings
    // record, the ini file and the database with its journals.
    void filesWithSecretsAreTheOwnersOnly()
    {
#ifdef Q_OS_UNIX
        const mode_t previous = umask(022);
        MonitoredWindow w(28);
        QString error;
        const bool started = w.start(error);
        umask(previous);
        QVERIFY2(started, qPrintable(error));
        for (const char *name :
             {"TallyportConfig.dat", "Tallyport.ini", "wexa.mdb", "wexa.mdb-wal", "wexa.mdb-shm"}) {
            const QString path = w.t.path(QLatin1String(name));
            QVERIFY2(QFile::exists(path), name);
            QCOMPARE(QFile::permissions(path) & ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser),
                     QFile::ReadOwner | QFile::WriteOwner);
        }
#else
        QSKIP("File modes are a Unix matter");
#endif
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
