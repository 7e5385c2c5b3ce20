// The device configuration window from the main window: polling stops while it is open, and a
// device added or disabled there is polled, or no longer polled, once it closes.
#include <acquisition/Monitor.h>
#include <core/Activation.h>
#include <db/SchemaFile.h>
#include <ui/config/ModelEditorRegistry.h>
#include <ui/config/TreeConfiguration.h>
#include <ui/main/MainWindow.h>

#include <SimDevice.h>
#include <support/QuickTimings.h>
#include <support/TestState.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <functional>

namespace {
const QString Address = QStringLiteral("127.0.35.1");
const QString OkLine = "Communication with server Dairy cooler at IP address " + Address + ": OK";
} // namespace

class TestTreeEndToEnd : public QObject {
    Q_OBJECT
private:
    // Opens the window from the Setup menu and runs `act` inside it; the window closes after.
    void inConfigurationWindow(MainWindow &window, const std::function<void(TreeConfiguration &)> &act)
    {
        bool ran = false;
        QTimer::singleShot(0, [&] {
            auto *tree = qobject_cast<TreeConfiguration *>(QApplication::activeModalWidget());
            if (tree == nullptr)
                tree = window.findChild<TreeConfiguration *>();
            QVERIFY(tree != nullptr);
            QCOMPARE(m_t.state.ActiveFormName, QStringLiteral("frmTreeConfiguration"));
            QVERIFY(!window.pollTimer().isRunning());
            act(*tree);
            ran = true;
            tree->reject();
        });
        window.findChild<QAction *>("mnuTree")->trigger();
        QVERIFY(ran);
        QCOMPARE(m_t.state.ActiveFormName, QStringLiteral("frmMain"));
    }

private slots:
    void addedDeviceIsPolledDisabledIsNot()
    {
        QApplication::setApplicationName("Tallyport");
        QString error;
        QVERIFY2(CreateDatabaseFromSchema(QString(TALLYPORT_SOURCE_DIR) + "/resources/schema.sql",
                                          m_t.path("wexa.mdb"), false, error),
                 qPrintable(error));
        SimDevice device(5, 5, 23);
        QVERIFY(device.start(Address));
        device.setFrozen(true);

        MainWindow window(m_t.state);
        window.pollTimer().setTickMs(50);
        Monitor monitor(m_t.state, window.activation(), window.pollTimer(), quickTimings());
        window.setMonitor(monitor);
        ModelEditorRegistry editors;
        window.openDeviceConfiguration = [&] {
            TreeConfiguration tree(m_t.state, monitor.database, monitor.link, monitor.mail, editors, &window);
            tree.exec();
        };
        window.show();
        window.activate();

        inConfigurationWindow(window, [&](TreeConfiguration &tree) {
            tree.findChild<QAction *>("mnuAdd")->trigger();
            tree.findChild<QLineEdit *>("txtServerName")->setText("Dairy cooler");
            tree.findChild<QLineEdit *>("txtServerIPAddress")->setText(Address);
            QTest::mouseClick(tree.findChild<QPushButton *>("btnSaveServer"), Qt::LeftButton);
            // Its parameter editor names a sensor.
            QVERIFY(monitor.database.SaveSensor(tree.CurrentServerID(), "Milk", 0, "", "Temperature", "", "",
                                                ""));
        });
        QCOMPARE(device.deviceName(), QByteArray("Dairy cooler"));
        QTRY_VERIFY_WITH_TIMEOUT(m_t.status.contains(OkLine), 10000);

        inConfigurationWindow(window, [&](TreeConfiguration &tree) {
            QTreeWidgetItem *node = tree.tree()->topLevelItem(0)->child(0);
            tree.tree()->setCurrentItem(node);
            emit tree.tree()->customContextMenuRequested(tree.tree()->visualItemRect(node).center());
            tree.findChild<QAction *>("mnuEnableDisable")->trigger();
        });
        device.clearTraffic();
        // A few cycles later the disabled device has not been asked anything.
        const int cycles = 3;
        int finished = 0;
        connect(&window.pollTimer(), &PollTimer::cycleFinished, this, [&] { ++finished; });
        QTRY_VERIFY_WITH_TIMEOUT(finished >= cycles, 10000);
        QCOMPARE(device.transactionCount(), 0);
        QVERIFY(!m_t.status.contains(OkLine));
        m_t.state.setMonitoringActive(false);
    }

private:
    TestState m_t;
};

QTEST_MAIN(TestTreeEndToEnd)
#include "tst_treeendtoend.moc"
