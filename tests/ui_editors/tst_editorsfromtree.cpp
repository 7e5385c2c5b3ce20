// The model editors as the operator reaches them: from the device window's Sensors and More...
// commands, and on to the status grid and the alarm records once the device window closes.
#include "support_editorwindows.h"

#include <acquisition/Monitor.h>
#include <core/Activation.h>
#include <db/SchemaFile.h>
#include <ui/config/ModelEditorRegistry.h>
#include <ui/config/TreeConfiguration.h>
#include <ui/editors/EditorRegistration.h>
#include <ui/editors/PhoneParametersWindow.h>
#include <ui/main/MainWindow.h>

#include <SimDevice.h>
#include <support/QuickTimings.h>
#include <support/TestState.h>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QScopeGuard>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <functional>

namespace {

bool makeDatabase(TestState &t)
{
    QString error;
    return CreateDatabaseFromSchema(QString(TALLYPORT_SOURCE_DIR) + "/resources/schema.sql",
                                    t.path("wexa.mdb"), false, error);
}

void selectDevice(TreeConfiguration &tree, qint64 id)
{
    tree.LoadServers();
    const QTreeWidgetItem *root = tree.tree()->topLevelItem(0);
    for (int i = 0; root && i < root->childCount(); ++i) {
        if (root->child(i)->data(0, Qt::UserRole).toString() == QStringLiteral("SERVER%1").arg(id))
            tree.tree()->setCurrentItem(root->child(i));
    }
}

// Runs act on the editor window of type T below parent once its first download has ended (the
// window may open only after a device transaction, and act must not run inside a transfer's
// wait), then closes it. Checked every 20 ms while parent lives; a window whose download does
// not end within 15 s is closed as a failure.
template <typename T> void whenDownloaded(QWidget &parent, const std::function<void(T &)> &act)
{
    auto *poll = new QTimer(&parent);
    auto *clock = new QElapsedTimer;
    clock->start();
    QObject::connect(poll, &QTimer::destroyed, [clock] { delete clock; });
    QObject::connect(poll, &QTimer::timeout, &parent, [poll, clock, &parent, act] {
        T *window = parent.findChild<T *>();
        if (!window || !window->isVisible())
            return;
        EditorSession &session = window->session();
        const int lastPage = session.layout().download.steps.last().page;
        const bool ended = !session.transferRunning() &&
                           (session.downloaded(lastPage) || !window->form().messages().isEmpty());
        if (!ended && clock->elapsed() < 15000)
            return;
        poll->stop();
        poll->deleteLater();
        const auto closing = qScopeGuard([window] { window->close(); });
        QVERIFY2(session.downloaded(lastPage), qPrintable(window->form().messages().join(" / ")));
        act(*window);
    });
    poll->start(20);
}

// Triggers a command of the device window and runs `act` inside the editor it opens. Returns
// the name of the editor that opened.
QString inEditor(TreeConfiguration &tree, const char *command, const std::function<void(EditorWindow &)> &act)
{
    QString opened;
    whenDownloaded<EditorWindow>(tree, [&](EditorWindow &editor) {
        opened = editor.objectName();
        act(editor);
    });
    tree.findChild<QAction *>(QLatin1String(command))->trigger();
    // No editor opened: the check stops with the command.
    for (QTimer *poll : tree.findChildren<QTimer *>(Qt::FindDirectChildrenOnly))
        poll->deleteLater();
    return opened;
}

// The device window over a fresh database listing one simulated device, with every editor
// registered; the device's node is selected.
struct TreeRig {
    TreeRig(const QString &address, int family, int model, int firmware)
        : address(address), db(t.state), link(t.state, quickTimings()), mail(t.state, nullptr),
          device(family, model, firmware)
    {
        t.state.Config.TCPTimeOut = 2;
        RegisterModelEditors(editors, {t.state, link, &db});
        ready = makeDatabase(t) && device.start(address) &&
                db.AddServer("Device", "", address, "", 1, "", "", 1, &id);
        tree = std::make_unique<TreeConfiguration>(t.state, db, link, mail, editors);
        tree->show();
        selectDevice(*tree, id);
    }

    QString address;
    TestState t;
    Database db;
    DeviceLink link;
    MailManager mail;
    ModelEditorRegistry editors;
    SimDevice device;
    qint64 id = 0;
    bool ready = false;
    std::unique_ptr<TreeConfiguration> tree;
};

} // namespace

class TestEditorsFromTree : public QObject {
    Q_OBJECT
private slots:
    void everyModelOpensItsEditor_data()
    {
        QTest::addColumn<int>("family");
        QTest::addColumn<int>("model");
        QTest::addColumn<QString>("editor");
        QTest::newRow("RX700-5") << 5 << 5 << "frmRX705";
        QTest::newRow("RX700-10") << 5 << 10 << "frmRX705";
        QTest::newRow("RX700-8") << 5 << 8 << "frmRX708";
        QTest::newRow("RX720") << 5 << 20 << "frmRX720";
        QTest::newRow("RX740") << 5 << 40 << "frmRX740";
        QTest::newRow("Wexa 13") << 3 << 3 << "frmWexa";
        QTest::newRow("Wexa 14") << 3 << 4 << "frmWexa";
        QTest::newRow("Wexa 15") << 3 << 5 << "frmWexa";
        QTest::newRow("Wexa 16") << 3 << 6 << "frmWexa16";
        QTest::newRow("4-20 mA monitor: none") << 5 << 4 << "";
        QTest::newRow("phone only: none") << 5 << 50 << "";
    }
    void everyModelOpensItsEditor()
    {
        QFETCH(int, family);
        QFETCH(int, model);
        QFETCH(QString, editor);
        TreeRig rig(QStringLiteral("127.0.83.1"), family, model, 25);
        QVERIFY(rig.ready);
        rig.device.setSensorName(0, "First");
        QString shownName;
        const QString opened = inEditor(*rig.tree, "mnuEditSensors", [&](EditorWindow &window) {
            shownName = Box(window, "txtName_0")->text();
            QCOMPARE(window.IPAddress(), rig.address);
            QCOMPARE(window.DatabaseID(), rig.id);
        });
        QCOMPARE(opened, editor);
        QCOMPARE(shownName, editor.isEmpty() ? QString() : QString("First"));
        QCOMPARE(rig.t.prompts.texts, QStringList());    // an unknown model opens nothing, silently
        QVERIFY(!rig.tree->findChild<EditorWindow *>()); // gone once closed
    }

    void moreOpensThePhoneParameters()
    {
        TreeRig rig(QStringLiteral("127.0.83.2"), 5, 5, 25);
        QVERIFY(rig.ready);
        rig.device.setDeviceName("Lab phone");
        TreeConfiguration &tree = *rig.tree;
        tree.findChild<QAction *>("mnuEditServer")->trigger(); // the server frame with More...
        QTRY_VERIFY(!tree.isBusy());

        QString caption;
        whenDownloaded<PhoneParametersWindow>(tree, [&](PhoneParametersWindow &phone) {
            caption = phone.windowTitle();
            QCOMPARE(Box(phone, "txtPhoneNumber_9")->text(), QString("1"));
        });
        QTest::mouseClick(tree.findChild<QPushButton *>("btnMore"), Qt::LeftButton);
        QCOMPARE(caption, QString("Phone Parameters for server: Lab phone"));
    }

    // A sensor named in the editor is polled once the device window closes: it gets its grid row,
    // and the device's alarm for it becomes an alarm record.
    void aNamedSensorIsMonitoredOnceTheWindowCloses()
    {
        QApplication::setApplicationName("Tallyport");
        TestState t;
        QVERIFY(makeDatabase(t));
        const QString address = QStringLiteral("127.0.42.1");
        SimDevice device(5, 5, 25);
        QVERIFY(device.start(address));
        device.setFrozen(true);

        MainWindow window(t.state);
        window.pollTimer().setTickMs(50);
        Monitor monitor(t.state, window.activation(), window.pollTimer(), quickTimings());
        window.setMonitor(monitor);
        ModelEditorRegistry editors;
        RegisterModelEditors(editors, {t.state, monitor.link, &monitor.database});
        window.openDeviceConfiguration = [&] {
            TreeConfiguration tree(t.state, monitor.database, monitor.link, monitor.mail, editors, &window);
            QTimer::singleShot(0, &tree, [&] {
                qint64 id = 0;
                QList<ServerRecord> rows;
                int count = 0;
                monitor.database.RecordServers(rows, count);
                id = rows.value(0).IDNum;
                selectDevice(tree, id);
                inEditor(tree, "mnuEditSensors", [&](EditorWindow &editor) {
                    QTest::keyClicks(Box(editor, "txtName_3"), "Walk-in");
                    QTest::keyClicks(Box(editor, "txtLL_3"), "33");
                    QTest::keyClicks(Box(editor, "txtUL_3"), "41");
                    QTest::keyClicks(Box(editor, "txtTOL_3"), "1");
                    QTest::mouseClick(Button(editor, "btnNotes"), Qt::LeftButton);
                    QTest::keyClicks(Box(editor, "txtNotes_3"), "door sticks");
                    QTest::mouseClick(Button(editor, "btnSave"), Qt::LeftButton);
                    QTRY_VERIFY(StatusLines(editor).contains("Upload complete"));
                });
                inEditor(tree, "mnuEditSensors", [&](EditorWindow &editor) {
                    QCOMPARE(Box(editor, "txtName_3")->text(), QString("Walk-in"));
                    QCOMPARE(Box(editor, "txtUL_3")->text(), QString("41.0"));
                    QCOMPARE(Box(editor, "txtNotes_3")->text(), QString("door sticks"));
                });
                tree.reject();
            });
            tree.exec();
        };
        QVERIFY(monitor.database.AddServer("Kitchen", device.modelText(), address, "", 1, "", "", 1));
        window.show();
        window.activate();
        window.findChild<QAction *>("mnuTree")->trigger();

        QCOMPARE(device.sensorName(3), QByteArray("Walk-in"));
        double lower = 0, upper = 0;
        device.limits(3, &lower, &upper);
        QCOMPARE(upper, 41.0);

        device.setReading(3, 52.0);
        device.setMinutes(3, 2);
        device.setAlarmByte(3, 1);
        window.activate(); // the device window asked for a new activation when it closed
        QTRY_VERIFY_WITH_TIMEOUT(monitor.grid.rowCount() == 1 &&
                                     monitor.grid.index(0, 1).data().toString() == QString("Walk-in"),
                                 10000);
        int alarms = 0;
        QTRY_VERIFY_WITH_TIMEOUT(monitor.database.CountAlarms(alarms) && alarms == 1, 10000);
        QList<AlarmRecord> rows;
        monitor.database.AlarmsNewestFirst(rows);
        QCOMPARE(rows.value(0).Sensor, QString("Walk-in"));
        t.state.setMonitoringActive(false);
    }
};

QTEST_MAIN(TestEditorsFromTree)
#include "tst_editorsfromtree.moc"
