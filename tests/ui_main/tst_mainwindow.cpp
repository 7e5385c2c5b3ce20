#include <core/ConfigFile.h>
#include <ui/main/DialogPrompts.h>
#include <ui/main/MainWindow.h>
#include <ui/main/ModalWindow.h>

#include <core/LocalWait.h>
#include <support/GuardReports.h>
#include <support/TestState.h>

#include <QElapsedTimer>

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QGroupBox>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {
QAction *action(QWidget &window, const char *name)
{
    return window.findChild<QAction *>(QLatin1String(name));
}

// Closes the modal window that opens next (the About box), after checking it from inside.
void closeModalSoon(const std::function<void(QWidget *)> &check = {})
{
    QTimer::singleShot(0, [check] {
        QWidget *modal = QApplication::activeModalWidget();
        if (check)
            check(modal);
        if (modal)
            modal->close();
    });
}

// The menu commands refused during a cycle (About is not: it leaves polling alone).
const char *const kWindowCommands[] = {"mnuTree", "mnuOrganization", "mnuGenReport", "mnuLogIn"};
} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        QApplication::setApplicationName("Tallyport");
        QApplication::setApplicationVersion("1.0.0");
        m_t = std::make_unique<TestState>();
        m_t->state.setMonitoringActive(false);
        m_window = std::make_unique<MainWindow>(m_t->state);
    }
    void cleanup()
    {
        m_window.reset();
        m_t.reset();
    }

    void firstStartInAnEmptyDirectory()
    {
        m_window->start();
        QTRY_VERIFY(m_t->state.MonitoringActive());
        QCOMPARE(m_window->windowTitle(), QString("Tallyport Rev 1.0.0"));
        QCOMPARE(QFile(m_t->path("TallyportConfig.dat")).size(), 1501);
        const QStringList &lines = m_t->status.lines();
        QVERIFY(lines.contains("Configuration file not found.  Please run configuration"));
        QVERIFY(
            lines.contains("Please click on Setup and then Configure Tallyport and verify all parameters."));
        QVERIFY(lines.contains(
            "Wexa.mdb is not present in the application directory.  Tallyport requires this file."));
        QVERIFY(lines.contains("There are no sensors programmed yet"));
        QCOMPARE(m_t->prompts.texts.count(), 1);
        QVERIFY(m_t->prompts.texts.first().startsWith("The program file Wexa.mdb is not present in the "));
        QVERIFY(!m_window->pollTimer().isRunning());

        // A second start finds the settings written by the first. A settings file that others may
        // read (an older version's, a restored backup) is made its owner's alone as it is read.
        const QString config = m_t->path("TallyportConfig.dat");
        const auto everyoneReads = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther;
        QVERIFY(QFile::setPermissions(config, everyoneReads));
        m_t->prompts.texts.clear();
        m_window->activate();
        QVERIFY(!m_t->status.contains("Configuration file not found."));
        QVERIFY(!m_t->status.contains("Please click on Setup"));
        const auto othersAny = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther |
                               QFile::WriteOther | QFile::ExeOther;
        QCOMPARE(QFile::permissions(config) & othersAny, QFile::Permissions());
        QVERIFY(QFile::permissions(config) & QFile::ReadOwner);
    }

    void namedSensorsArmThePollTimer()
    {
        int gridRows = -1;
        m_window->activation().services.CountNamedSensors = [](int &count) {
            count = 4;
            return true;
        };
        m_window->activation().services.ConfigureServerStatusGrid = [&](int rows) { gridRows = rows; };
        QFile::copy(QString(TALLYPORT_BINARY_DIR) + "/bin/ding.wav", m_t->path("wexa.mdb"));
        m_window->activate();
        QCOMPARE(gridRows, 4);
        QVERIFY(m_window->pollTimer().isRunning());
        QCOMPARE(m_window->pollTimer().ticksPerCycle(), 12);
        QVERIFY(m_t->status.lines().contains("Update Rate 60 seconds"));
        QVERIFY(m_t->prompts.texts.isEmpty());
    }

    void menuRightsFollowTheLogin()
    {
        // An administrator user name and password are set, nobody is logged in.
        m_t->state.Config.AdminUserName = "admin";
        m_t->state.Config.AdminPassword = "secret";
        Cipher cipher;
        cipher.InitCipher();
        ConfigFile(m_t->state, cipher).SaveConfiguration();
        m_t->state.Config = ConfigRecord();

        m_window->activate();
        QVERIFY(!action(*m_window, "mnuTree")->isEnabled());
        QVERIFY(!action(*m_window, "mnuOrganization")->isEnabled());
        QVERIFY(action(*m_window, "mnuLogIn")->isEnabled());
        QCOMPARE(action(*m_window, "mnuLogIn")->text(), QString("Log In"));

        // A successful login shows the administrator caption at the next activation.
        m_window->openLogin = [this] {
            m_t->state.LoginSucceeded = true;
            return true;
        };
        action(*m_window, "mnuLogIn")->trigger();
        QVERIFY(action(*m_window, "mnuTree")->isEnabled());
        QCOMPARE(action(*m_window, "mnuLogIn")->text(), QString("Log Out"));
        QVERIFY(m_window->windowTitle().endsWith("    ADMINISTRATOR LOGGED IN"));

        action(*m_window, "mnuLogIn")->trigger();
        QVERIFY(!m_t->state.LoginSucceeded);
        QVERIFY(!action(*m_window, "mnuTree")->isEnabled());
        QVERIFY(!action(*m_window, "mnuOrganization")->isEnabled());
        QCOMPARE(action(*m_window, "mnuLogIn")->text(), QString("Log In"));
        QVERIFY(!m_window->windowTitle().contains("ADMINISTRATOR"));
    }

    // While a cycle runs no window opens and the poll timer is not restarted from the menus.
    void windowCommandsAreRefusedDuringACycle()
    {
        m_t->state.setMonitoringActive(true);
        int opened = 0;
        m_window->openDeviceConfiguration = [&] { ++opened; };
        m_window->openSettings = [&] { ++opened; };
        m_window->openLogin = [&] {
            ++opened;
            return false;
        };
        // Should a box open after all, it must not hang the test.
        QTimer guard;
        connect(&guard, &QTimer::timeout, [&] {
            if (QWidget *modal = QApplication::activeModalWidget()) {
                ++opened;
                modal->close();
            }
        });
        guard.start(200);
        QStringList restarted;
        PollTimer &timer = m_window->pollTimer();
        timer.setTicksPerCycle(1);
        timer.runCycle = [&](std::function<void()> ended) {
            for (const char *name : kWindowCommands) {
                action(*m_window, name)->trigger();
                if (timer.isRunning())
                    restarted << name;
            }
            ended();
        };
        timer.Tick();
        QCOMPARE(opened, 0);
        QCOMPARE(restarted, QStringList());
        QVERIFY(m_t->prompts.texts.isEmpty());
    }

    // An activation asked for inside a cycle (a window closed during it) runs after the cycle:
    // inside, it would disarm the running transaction's watchdog and restart the tick.
    void activationDuringACycleWaitsForItsEnd()
    {
        m_t->state.setMonitoringActive(true);
        int stopTimeouts = 0;
        m_window->activation().services.StopTimeout = [&] { ++stopTimeouts; };
        m_window->activation().services.CountNamedSensors = [](int &count) {
            count = 2;
            return true;
        };
        PollTimer &timer = m_window->pollTimer();
        timer.setTicksPerCycle(1);
        int stopsInCycle = -1;
        timer.runCycle = [&](std::function<void()> ended) {
            m_t->state.UpdateStatus("Communication with server A at IP address 1", ": OK");
            m_window->activate();
            stopsInCycle = stopTimeouts;
            QVERIFY(m_t->status.contains(": OK"));
            ended();
        };
        timer.Tick();
        QCOMPARE(stopsInCycle, 0);
        QCOMPARE(stopTimeouts, 1);
        QVERIFY(!m_t->status.contains(": OK"));
        QVERIFY(m_t->status.lines().contains("Update Rate 60 seconds"));
        QVERIFY(timer.isRunning());
    }

    // About leaves polling alone: it opens while a cycle runs, and cycles go on while it is open
    // (an activation that waits for the running cycle still runs). Create Reports restarts the
    // poll timer and keeps its tick count.
    void aboutAndCreateReports()
    {
        m_t->state.setMonitoringActive(true);
        PollTimer &timer = m_window->pollTimer();
        timer.setTickMs(20);
        timer.setTicksPerCycle(2);
        std::function<void()> firstCycleEnd;
        timer.runCycle = [&](std::function<void()> ended) {
            if (!firstCycleEnd)
                firstCycleEnd = std::move(ended); // the first cycle runs until the box is open
            else
                QTimer::singleShot(0, &timer, ended);
        };
        timer.StartPollTimer();
        QTRY_VERIFY(firstCycleEnd && m_t->state.UpdateInProgress);
        m_t->state.ReinitOnActivate = true;
        QString openedName;
        int cyclesWhileOpen = 0;
        closeModalSoon([&](QWidget *box) {
            openedName = box ? box->objectName() : QString();
            QSignalSpy cycles(&timer, &PollTimer::cycleFinished);
            firstCycleEnd();
            QTest::qWait(400);
            cyclesWhileOpen = int(cycles.count());
        });
        action(*m_window, "mnuAbout")->trigger();
        QCOMPARE(openedName, QString("frmAbout"));
        QVERIFY2(cyclesWhileOpen >= 3, qPrintable(QString::number(cyclesWhileOpen)));
        QVERIFY(timer.isRunning());
        QVERIFY(m_t->state.ReinitOnActivate);
        QCOMPARE(m_t->state.ActiveFormName, QString("frmMain"));

        timer.StopPollTimer();
        QTRY_VERIFY(!m_t->state.UpdateInProgress);
        const int ticks = timer.tickCount();
        action(*m_window, "mnuGenReport")->trigger();
        QVERIFY(!m_t->state.ReinitOnActivate);
        QVERIFY(timer.isRunning());
        QCOMPARE(timer.tickCount(), ticks);
        QVERIFY(m_t->prompts.texts.isEmpty());
        timer.StopPollTimer();
        timer.runCycle = nullptr;
    }

    // Every way the program asks, chooses a file or shows a window modally is checked by the
    // nested-wait guard, scripted as well as real, so one opened from a poll cycle's step is
    // caught wherever a test reaches it; outside a step nothing is reported.
    void everyPromptAndModalWindowIsGuarded()
    {
        GuardReports reports;
        DialogPrompts real(m_window.get());
        QDialog window(m_window.get());
        const auto askEveryWay = [&] {
            m_t->prompts.message("Asked from a step");
            m_t->prompts.queueFileName("a.csv");
            m_t->prompts.saveFileName("Save", QString(), QString());
            m_t->prompts.queueFileName("/tmp");
            m_t->prompts.directoryName("Folder", QString());
            closeModalSoon();
            real.message("Asked from a step");
            closeModalSoon();
            real.saveFileName("Save", QString(), QString());
            closeModalSoon();
            real.directoryName("Folder", QString());
            closeModalSoon();
            ExecModal(window);
        };
        {
            const NoNestedWaits step;
            askEveryWay();
        }
        QStringList what;
        for (const QString &message : reports.messages)
            what << message.section(" started", 0, 0);
        QCOMPARE(what, QStringList({"A message box", "A file chooser", "A folder chooser", "A message box",
                                    "A file chooser", "A folder chooser", "A modal window"}));
        reports.messages.clear();
        askEveryWay();
        QCOMPARE(reports.messages, QStringList());
    }

    // Create Reports clears ReinitOnActivate, About leaves it; logging in and out still sets the
    // menu rights at once.
    void loginAfterAboutOrReportsUnlocksAtOnce_data()
    {
        QTest::addColumn<QString>("command");
        QTest::newRow("About") << "mnuAbout";
        QTest::newRow("Create Reports") << "mnuGenReport";
    }
    void loginAfterAboutOrReportsUnlocksAtOnce()
    {
        QFETCH(QString, command);
        m_t->state.Config.AdminUserName = "admin";
        m_t->state.Config.AdminPassword = "secret";
        Cipher cipher;
        cipher.InitCipher();
        ConfigFile(m_t->state, cipher).SaveConfiguration();
        m_window->activate();
        QVERIFY(!action(*m_window, "mnuTree")->isEnabled());
        const bool reinitBefore = m_t->state.ReinitOnActivate;

        closeModalSoon();
        action(*m_window, qPrintable(command))->trigger();
        QCOMPARE(m_t->state.ReinitOnActivate, command == "mnuAbout" && reinitBefore);
        m_window->openLogin = [this] {
            m_t->state.LoginSucceeded = true;
            return true;
        };
        action(*m_window, "mnuLogIn")->trigger();
        QVERIFY(action(*m_window, "mnuTree")->isEnabled());
        QVERIFY(action(*m_window, "mnuOrganization")->isEnabled());
        QCOMPARE(action(*m_window, "mnuLogIn")->text(), QString("Log Out"));
        QVERIFY(m_window->windowTitle().endsWith("    ADMINISTRATOR LOGGED IN"));

        action(*m_window, "mnuLogIn")->trigger();
        QVERIFY(!action(*m_window, "mnuTree")->isEnabled());
        QCOMPARE(action(*m_window, "mnuLogIn")->text(), QString("Log In"));
    }

    void viewsShowOneFrameAtATime()
    {
        m_window->show();
        auto *status = m_window->findChild<QWidget *>("frmStatus");
        auto *errors = m_window->findChild<QWidget *>("frmErrors");
        auto *chart = m_window->findChild<QWidget *>("XYChart4");
        auto *freeze = m_window->findChild<QWidget *>("btnFreezeExamine");
        m_window->VKLShow(2);
        QVERIFY(chart->isVisible() && freeze->isVisible() && !status->isVisible() && !errors->isVisible());
        m_window->VKLShow(3);
        QVERIFY(errors->isVisible() && !chart->isVisible() && !freeze->isVisible());
        m_window->VKLShow(7);
        QVERIFY(errors->isVisible());
        m_window->VKLShow(1);
        QVERIFY(status->isVisible() && !errors->isVisible() && !chart->isVisible());
    }

    void closingAsksAndNoKeepsPolling()
    {
        bool shutdownMail = false;
        m_window->activation().services.SendShutdownEmail = [&] { shutdownMail = true; };
        m_window->show();
        m_t->state.setMonitoringActive(true);
        m_window->pollTimer().StartPollTimer();

        m_t->prompts.queueAnswer(Prompts::Answer::No);
        QVERIFY(!m_window->close());
        QCOMPARE(m_t->prompts.titles.last(), QString("Close Tallyport?"));
        QVERIFY(m_t->prompts.texts.last().startsWith(
            "WARNING, closing this program will halt the collection of system data.\n\nClick YES"));
        QVERIFY(m_t->state.MonitoringActive());
        QVERIFY(m_window->pollTimer().isRunning());
        QVERIFY(!shutdownMail);

        m_t->prompts.queueAnswer(Prompts::Answer::Yes);
        QVERIFY(m_window->close());
        QVERIFY(!m_t->state.MonitoringActive());
        QVERIFY(!m_window->pollTimer().isRunning());
        QVERIFY(shutdownMail);
    }

    void yesDuringAWaitEndsItAtOnce()
    {
        m_window->show();
        m_t->state.setMonitoringActive(true);
        LocalWait::Outcome outcome = LocalWait::Outcome::Finished;
        QElapsedTimer elapsed;
        // A transaction's wait is running when the user closes the window.
        QTimer::singleShot(20, m_window.get(), [this] {
            m_t->prompts.queueAnswer(Prompts::Answer::Yes);
            m_window->close();
        });
        elapsed.start();
        LocalWait wait(&m_t->state);
        outcome = wait.run(10000);
        QCOMPARE(outcome, LocalWait::Outcome::Stopped);
        QVERIFY(elapsed.elapsed() < 5000);
    }

    // A cycle started by the tick while the close question is open: Yes ends it at once and the
    // program closes, not after the cycle has run to its end.
    void yesEndsACycleThatStartedInsideTheQuestion()
    {
        DialogPrompts prompts;
        ProgramState state(m_t->dir.path(), m_t->clock, prompts, m_t->errors, m_t->status);
        MainWindow window(state);
        window.show();
        state.setMonitoringActive(true);
        PollTimer &timer = window.pollTimer();
        timer.setTickMs(20);
        timer.setTicksPerCycle(1);
        // The cycle goes on until monitoring ends, as one waiting on a silent device would.
        bool cycleRunning = false;
        std::function<void()> endCycle;
        connect(&state, &ProgramState::monitoringActiveChanged, &window, [&](bool active) {
            if (!active && cycleRunning) {
                cycleRunning = false;
                std::exchange(endCycle, {})();
            }
        });
        timer.runCycle = [&](std::function<void()> ended) {
            cycleRunning = true;
            endCycle = std::move(ended);
        };
        timer.StartPollTimer();

        QElapsedTimer sinceYes;
        QTimer answer;
        connect(&answer, &QTimer::timeout, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box || !cycleRunning)
                return;
            answer.stop();
            sinceYes.start();
            box->button(QMessageBox::Yes)->click();
        });
        answer.start(20);
        QVERIFY(window.close());
        QVERIFY(sinceYes.isValid());
        QVERIFY2(sinceYes.elapsed() < 5000, qPrintable(QString::number(sinceYes.elapsed())));
        QVERIFY(!cycleRunning);
        QVERIFY(!state.MonitoringActive());
        QVERIFY(!timer.isRunning());
    }

    // At shutdown the other windows close from the most recently opened down.
    void otherWindowsCloseNewestFirst()
    {
        m_window->show();
        m_t->state.setMonitoringActive(true);
        QStringList closed;
        std::vector<std::unique_ptr<QDialog>> windows;
        for (const char *name : {"first", "second", "third", "fourth", "fifth"}) {
            auto dialog = std::make_unique<QDialog>();
            dialog->setObjectName(name);
            connect(dialog.get(), &QDialog::finished, [&closed, name] { closed << name; });
            dialog->show();
            windows.push_back(std::move(dialog));
        }
        windows[1]->hide();
        windows[1]->show(); // opened again: now the newest
        m_t->prompts.queueAnswer(Prompts::Answer::Yes);
        QVERIFY(m_window->close());
        QCOMPARE(closed, QStringList({"second", "fifth", "fourth", "third", "first"}));
    }

    // The notification-area icon's right button brings the window to the front.
    void trayRightButtonBringsTheWindowToTheFront()
    {
        m_window->start();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        QWidget other;
        other.show();
        other.activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), &other);
        auto *tray = m_window->findChild<QSystemTrayIcon *>("trayIcon");
        QVERIFY(tray);
        emit tray->activated(QSystemTrayIcon::Context);
        QTRY_COMPARE(QApplication::activeWindow(), m_window.get());
    }

    void minimisingWithoutANotificationAreaKeepsTheWindow()
    {
        m_window->start();
        m_window->VKLShow(3);
        m_window->showMinimized();
        QTRY_COMPARE(m_window->currentView(), 1);
        QTest::qWait(50);
        QVERIFY(m_window->isVisible());
    }

private:
    std::unique_ptr<TestState> m_t;
    std::unique_ptr<MainWindow> m_window;
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
