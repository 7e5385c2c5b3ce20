#include <acquisition/StatusGridModel.h>

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

using Status = StatusGridModel::SensorStatus;

namespace {

// Writes one sensor the way the alarm evaluation does and moves on.
void writeSensor(StatusGridModel &grid, const QString &name, int id, const QString &reading, Status status)
{
    grid.WriteSensorIdentity("Lab", name, id, QString(QChar(0xB0)) + "F");
    grid.WriteReading(reading);
    grid.WriteStatus(status);
    grid.MoveToNextRow();
}

} // namespace

class TestStatusGridModel : public QObject {
    Q_OBJECT
private slots:
    // The six headings; only the readings are right-aligned.
    void headingsAndAlignment()
    {
        StatusGridModel grid;
        grid.ConfigureServerStatusGrid(1);
        QCOMPARE(grid.columnCount(), 6);
        QStringList headings;
        for (int column = 0; column < grid.columnCount(); ++column) {
            headings << grid.headerData(column, Qt::Horizontal).toString();
            const QVariant alignment = grid.index(0, column).data(Qt::TextAlignmentRole);
            QCOMPARE(alignment.isValid(), column == StatusGridModel::ReadingColumn);
        }
        QCOMPARE(headings, QStringList({"Device", "Sensor", "Reading", "Units", "Status", "Sensor ID"}));
        QCOMPARE(
            grid.index(0, StatusGridModel::ReadingColumn).data(Qt::TextAlignmentRole).value<Qt::Alignment>(),
            Qt::AlignRight | Qt::AlignVCenter);
    }

    void configureLaysOutOneEmptyRowPerSensor()
    {
        StatusGridModel grid;
        QAbstractItemModelTester tester(&grid, QAbstractItemModelTester::FailureReportingMode::QtTest);
        grid.ConfigureServerStatusGrid(3);
        QCOMPARE(grid.rowCount(), 3);
        writeSensor(grid, "A", 1, "70.0", Status::Alarm);
        QCOMPARE(grid.currentRow(), 1);

        grid.ConfigureServerStatusGrid(2);
        QCOMPARE(grid.rowCount(), 2);
        QCOMPARE(grid.currentRow(), 0);
        QCOMPARE(grid.cellText(0, StatusGridModel::SensorColumn), QString());
        QCOMPARE(grid.data(grid.index(0, StatusGridModel::StatusColumn), Qt::BackgroundRole), QVariant());

        grid.ConfigureServerStatusGrid(-1);
        QCOMPARE(grid.rowCount(), 0);
    }

    void statusTextAndColour_data()
    {
        QTest::addColumn<Status>("status");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QColor>("colour");
        QTest::addColumn<bool>("alarming");
        QTest::newRow("normal") << Status::Normal << "Normal" << QColor(0, 255, 0) << false;
        QTest::newRow("alarm") << Status::Alarm << "ALARM" << QColor(255, 0, 0) << true;
        QTest::newRow("no data") << Status::NoData << "NO DATA" << QColor(255, 255, 255) << true;
    }
    void statusTextAndColour()
    {
        QFETCH(Status, status);
        QFETCH(QString, text);
        QFETCH(QColor, colour);
        QFETCH(bool, alarming);
        StatusGridModel grid;
        QAbstractItemModelTester tester(&grid, QAbstractItemModelTester::FailureReportingMode::QtTest);
        grid.ConfigureServerStatusGrid(2);
        // A row never written is neither coloured nor alarming.
        QVERIFY(!grid.IsRowAlarming(1));

        QSignalSpy changed(&grid, &QAbstractItemModel::dataChanged);
        grid.WriteSensorIdentity("Lab A", "Freezer", 42, "%RH");
        grid.WriteReading("No Data");
        grid.WriteStatus(status);
        QCOMPARE(changed.size(), 3);
        QCOMPARE(changed.last().at(0).toModelIndex(), grid.index(0, StatusGridModel::StatusColumn));

        const QStringList row{"Lab A", "Freezer", "No Data", "%RH", text, "42"};
        for (int column = 0; column < 6; ++column) {
            QCOMPARE(grid.data(grid.index(0, column)).toString(), row[column]);
            const QVariant background = grid.data(grid.index(0, column), Qt::BackgroundRole);
            QCOMPARE(background, column == StatusGridModel::StatusColumn ? QVariant(colour) : QVariant());
        }
        QCOMPARE(grid.status(0), status);
        QCOMPARE(grid.IsRowAlarming(0), alarming);
        QCOMPARE(grid.AnyRowAlarming(), alarming);
    }

    void cursorStopsAtTheLastRow()
    {
        StatusGridModel grid;
        QAbstractItemModelTester tester(&grid, QAbstractItemModelTester::FailureReportingMode::QtTest);
        grid.ConfigureServerStatusGrid(2);
        writeSensor(grid, "first", 1, "70.0", Status::Normal);
        writeSensor(grid, "second", 2, "71.0", Status::Normal);
        QCOMPARE(grid.currentRow(), 1);
        // A sensor added since the grid was laid out overwrites the last row.
        writeSensor(grid, "surplus", 3, "72.0", Status::Alarm);
        QCOMPARE(grid.rowCount(), 2);
        QCOMPARE(grid.cellText(1, StatusGridModel::SensorColumn), "surplus");
        QCOMPARE(grid.cellText(1, StatusGridModel::SensorIdColumn), "3");

        // The next cycle starts again at the first row.
        grid.MoveToFirstRow();
        writeSensor(grid, "first", 1, "69.0", Status::NoData);
        QCOMPARE(grid.cellText(0, StatusGridModel::ReadingColumn), "69.0");
        QCOMPARE(grid.status(0), Status::NoData);
        QCOMPARE(grid.currentRow(), 1);
    }

    // Each sensor keeps the row it was first written to: when sensors before it are not written
    // in a cycle (a busy device), rows do not move up, and the rows not written are told apart.
    void sensorsKeepTheirRows()
    {
        StatusGridModel grid;
        QAbstractItemModelTester tester(&grid, QAbstractItemModelTester::FailureReportingMode::QtTest);
        grid.ConfigureServerStatusGrid(3);
        grid.MoveToFirstRow();
        writeSensor(grid, "busy one", 1, "70.0", Status::Normal);
        writeSensor(grid, "busy two", 2, "71.0", Status::Alarm);
        writeSensor(grid, "other", 3, "72.0", Status::Normal);
        grid.MoveToFirstRow();
        // Views hear only of the cells that changed: here the reading of the third row.
        QSignalSpy changed(&grid, &QAbstractItemModel::dataChanged);
        writeSensor(grid, "other", 3, "73.0", Status::Normal);
        QCOMPARE(changed.size(), 1);
        QCOMPARE(changed.first().at(0).toModelIndex(), grid.index(2, StatusGridModel::ReadingColumn));
        QCOMPARE(changed.first().at(1).toModelIndex(), grid.index(2, StatusGridModel::ReadingColumn));
        QCOMPARE(grid.cellText(2, StatusGridModel::ReadingColumn), "73.0");
        QCOMPARE(grid.cellText(0, StatusGridModel::SensorColumn), "busy one");
        QCOMPARE(grid.status(1), Status::Alarm);
        QVERIFY(grid.evaluatedThisCycle(2));
        QVERIFY(!grid.evaluatedThisCycle(0));
        QCOMPARE(grid.data(grid.index(1, 2), StatusGridModel::EvaluatedThisCycleRole), QVariant(false));
        QCOMPARE(grid.data(grid.index(2, 2), StatusGridModel::EvaluatedThisCycleRole), QVariant(true));
    }

    void noRowsDropsWrites()
    {
        StatusGridModel grid;
        QAbstractItemModelTester tester(&grid, QAbstractItemModelTester::FailureReportingMode::QtTest);
        grid.ConfigureServerStatusGrid(0);
        grid.MoveToFirstRow();
        QVERIFY(!grid.WriteSensorIdentity("Lab", "A", 1, ""));
        QVERIFY(!grid.WriteReading("70.0"));
        QVERIFY(!grid.WriteStatus(Status::Alarm));
        QVERIFY(!grid.MoveToNextRow());
        QCOMPARE(grid.rowCount(), 0);
        QVERIFY(!grid.AnyRowAlarming());
    }
};

QTEST_GUILESS_MAIN(TestStatusGridModel)
#include "tst_statusgridmodel.moc"
