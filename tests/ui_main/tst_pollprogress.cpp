// What the main window shows while a poll cycle's exchanges overlap: the progress bar counts the
// devices done, the pointer is busy and the connection indicator lights while devices are talked
// to; all of it comes back to rest when the cycle ends.
#include <acquisition/Monitor.h>
#include <core/Activation.h>
#include <db/SchemaFile.h>
#include <link/DeviceLink.h>
#include <ui/main/MainWindow.h>

#include <SimDevice.h>
#include <support/QuickTimings.h>
#include <support/Screenshot.h>
#include <support/TestState.h>

#include <QApplication>
#include <QDir>
#include <QFrame>
#include <QHeaderView>
#include <QProgressBar>
#include <QPushButton>
#include <QSet>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <memory>
#include <vector>

namespace {
const QString kTemperature = QStringLiteral("Temperature Sensor Port 1");
constexpr int kDevices = 4;
} // namespace

class TestPollProgress : public QObject {
    Q_OBJECT
private slots:
    void progressCursorAndIndicatorFollowTheCycle()
    {
        QApplication::setApplicationName("Tallyport");
        QString error;
        QVERIFY2(CreateDatabaseFromSchema(QString(TALLYPORT_SOURCE_DIR) + "/resources/schema.sql",
                                          m_t.path("wexa.mdb"), false, error),
                 qPrintable(error));
        MainWindow window(m_t.state);
        Monitor monitor(m_t.state, window.activation(), window.pollTimer(), quickTimings());
        window.setMonitor(monitor);
        // Two answer slowly, two never answer: with two exchanges at a time the cycle takes a
        // while and ends its exchanges one by one.
        std::vector<std::unique_ptr<SimDevice>> devices;
        for (int i = 1; i <= kDevices; ++i) {
            auto device = std::make_unique<SimDevice>(5, 5, 25);
            const QString address = QStringLiteral("127.0.107.%1").arg(i);
            QVERIFY(device->start(address));
            device->setFrozen(true);
            device->setReading(0, 36.5 + i);
            device->faultOptions().slowDelayMs = 200;
            device->setFault(i % 2 == 1 ? SimFault::Slow : SimFault::Silent);
            qint64 id = 0;
            QVERIFY(monitor.database.AddServer(QStringLiteral("Device %1").arg(i), device->modelText(),
                                               address, "", 1, "", "", -1, &id));
            QVERIFY(monitor.database.SaveSensor(id, QStringLiteral("Probe %1").arg(i), 0, "", kTemperature,
                                                "", "", ""));
            devices.push_back(std::move(device));
        }
        window.show();
        window.activate();
        m_t.state.Config.CommunicationRetry = 1;
        m_t.state.Ini.poll.parallel = 2;

        auto *progress = window.findChild<QProgressBar *>("ProgressBar");
        auto *indicator = window.findChild<QFrame *>("shpGo");
        QVERIFY(progress && indicator);
        QSet<int> values;
        QSet<int> maxima;
        bool busySeen = false, greenSeen = false;
        QTimer sample;
        connect(&sample, &QTimer::timeout, [&] {
            values.insert(progress->value());
            maxima.insert(progress->maximum());
            busySeen = busySeen || window.cursor().shape() == Qt::BusyCursor;
            greenSeen = greenSeen || indicator->styleSheet().contains("#00ff00");
            if (progress->value() == 2)
                screenshot(window, "main-window-cycle-progress");
        });
        sample.start(10);
        // The cycle goes on from the exchanges' signals after the click has returned.
        QTest::mouseClick(window.findChild<QPushButton *>("btnUpdate"), Qt::LeftButton);
        QVERIFY(window.pollTimer().cycleRunning());
        QTRY_VERIFY_WITH_TIMEOUT(!window.pollTimer().cycleRunning(), 20000);
        sample.stop();

        QVERIFY(maxima.contains(kDevices));
        QVERIFY2(values.contains(1) && values.contains(2), qPrintable(QString::number(values.size())));
        QVERIFY(busySeen);
        QVERIFY(greenSeen);
        QCOMPARE(progress->value(), 0);
        QVERIFY(window.cursor().shape() != Qt::BusyCursor);
        QVERIFY(indicator->styleSheet().contains("#e0e0e0"));
        QCOMPARE(m_t.status.lines().filter(": OK").size(), 2);
        QCOMPARE(m_t.status.lines().filter(": FAILED").size(), 2);
        gridColumnsFitTheirContents(window);
        m_t.state.setMonitoringActive(false);
    }

private:
    // No column cuts what it shows ("NO DATA", the names, the readings), and together they fill
    // the grid's width.
    static void gridColumnsFitTheirContents(MainWindow &window)
    {
        auto *grid = window.findChild<QTableView *>("gridServerStatus");
        QVERIFY(grid);
        QTRY_VERIFY(grid->horizontalHeader()->length() >= grid->viewport()->width());
        QAbstractItemModel *model = grid->model();
        for (int column = 0; column < model->columnCount(); ++column)
            for (int row = 0; row < model->rowCount(); ++row) {
                const QString text = model->index(row, column).data().toString();
                QVERIFY2(grid->columnWidth(column) > grid->fontMetrics().horizontalAdvance(text),
                         qPrintable(text));
            }
    }

    static void screenshot(QWidget &window, const QString &name) { SaveScreenshot(window, name); }

    TestState m_t;
};

QTEST_MAIN(TestPollProgress)
#include "tst_pollprogress.moc"
