#include <acquisition/StatusGridModel.h>
#include <acquisition/TrendData.h>
#include <acquisition/TrendFeed.h>
#include <acquisition/TrendTimeTicks.h>
#include <support/TestState.h>

#include "support_trendgrid.h"

#include <QSignalSpy>
#include <QTest>

#include <cmath>

namespace {
const QString F = QString(QChar(0x00B0)) + QLatin1Char('F');
const QString C = QString(QChar(0x00B0)) + QLatin1Char('C');
const QString RH = QStringLiteral("%RH");

void setReading(TrendGrid &grid, int row, const QString &text)
{
    grid.setCell(row, TrendData::ReadingColumn, text);
}

QStringList axisTitles(const TrendData &data)
{
    QStringList titles;
    for (TrendUnit unit : data.axes())
        titles << TrendData::UnitTitle(unit);
    return titles;
}
} // namespace

class TestTrendData : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        m_t = std::make_unique<TestState>();
        m_data = std::make_unique<TrendData>(m_t->clock);
        m_data->setModel(&m_grid);
        m_t->clock.set(QDateTime(QDate(2024, 5, 1), QTime(9, 0)));
    }
    void cleanup()
    {
        m_data.reset();
        m_t.reset();
    }

    void axesFollowTheUnits_data()
    {
        QTest::addColumn<QStringList>("units");
        QTest::addColumn<QStringList>("axes");
        QTest::addColumn<QList<int>>("seriesAxis");
        QTest::newRow("door and water only") << QStringList{"", "", " "} << QStringList{} << QList<int>{};
        QTest::newRow("minutes are not charted")
            << QStringList{"", "Minutes", F} << QStringList{F} << QList<int>{0};
        QTest::newRow("Celsius before humidity")
            << QStringList{RH, C, RH} << QStringList{C, RH} << QList<int>{1, 0, 1};
        QTest::newRow("all three kinds in order")
            << QStringList{RH, C, F, ""} << QStringList{F, C, RH} << QList<int>{2, 1, 0};
        QTest::newRow("Fahrenheit and humidity")
            << QStringList{F, RH} << QStringList{F, RH} << QList<int>{0, 1};
        QTest::newRow("humidity only") << QStringList{RH} << QStringList{RH} << QList<int>{0};
        QTest::newRow("lower-case scale letter")
            << QStringList{QString(QChar(0x00B0)) + "c"} << QStringList{C} << QList<int>{0};
        // A unit of no known kind goes on the humidity axis, which then exists.
        QTest::newRow("unknown unit")
            << QStringList{F, QString(QChar(0x00B0)) + "K"} << QStringList{F, RH} << QList<int>{0, 1};
    }
    void axesFollowTheUnits()
    {
        QFETCH(QStringList, units);
        QFETCH(QStringList, axes);
        QFETCH(QList<int>, seriesAxis);
        m_grid.setUnits(units);
        QSignalSpy built(m_data.get(), &TrendData::built);
        m_data->Build();
        QCOMPARE(built.count(), 1);
        QCOMPARE(axisTitles(*m_data), axes);
        QCOMPARE(m_data->seriesCount(), seriesAxis.size());
        for (int i = 0; i < m_data->seriesCount(); ++i)
            QCOMPARE(m_data->series(i).axis, seriesAxis[i]);
    }

    void namesAndPaletteWrap()
    {
        m_grid.setUnits(QStringList(25, F));
        m_grid.setCell(0, TrendData::SensorColumn, "Walk-in freezer north wall");
        m_grid.setCell(1, TrendData::SensorColumn, "Lab");
        m_data->Build();
        QCOMPARE(m_data->seriesCount(), 25);
        QCOMPARE(m_data->series(0).name, QString("Walk-in freezer nort"));
        QCOMPARE(m_data->series(1).name, QString("Lab"));
        QCOMPARE(m_data->series(0).colour, (TrendColour{0, 252, 124}));
        QCOMPARE(m_data->series(1).colour, (TrendColour{106, 106, 255}));
        QCOMPARE(m_data->series(23).colour, (TrendColour{159, 255, 84}));
        QCOMPARE(m_data->series(23).paletteEntry, 24);
        QCOMPARE(m_data->series(24).paletteEntry, 1);
        QCOMPARE(m_data->series(24).colour, m_data->series(0).colour);
    }

    void readingValues_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("value"); // NaN: no value
        const double none = std::nan("");
        QTest::newRow("one decimal") << "72.0" << 72.0;
        QTest::newRow("no leading zero") << ".5" << 0.5;
        QTest::newRow("negative fraction") << "-.5" << -0.5;
        QTest::newRow("blanks around") << " -12.3 " << -12.3;
        QTest::newRow("sensor open") << "Sensor Open" << none;
        QTest::newRow("sensor shorted") << "SENSOR SHORTED" << none;
        QTest::newRow("no data") << "No Data" << none;
        QTest::newRow("not connected") << "Not Connected" << none;
        QTest::newRow("empty cell") << "" << none;
        QTest::newRow("other state text") << "Closed" << none;
    }
    void readingValues()
    {
        QFETCH(QString, text);
        QFETCH(double, value);
        const float read = TrendData::ReadingValue(text);
        if (std::isnan(value))
            QVERIFY2(std::isnan(read), qPrintable(QString::number(read)));
        else
            QCOMPARE(read, float(value));
    }

    void readingsAreAppendedWithTheClockTime()
    {
        m_grid.setUnits({F, "", RH});
        m_data->Build();
        QSignalSpy added(m_data.get(), &TrendData::readingsAdded);
        const QDateTime start = m_t->clock.now();
        setReading(m_grid, 0, "71.5");
        setReading(m_grid, 2, "40.0");
        m_data->AddReadings();
        m_t->clock.advanceSeconds(60);
        setReading(m_grid, 0, "Sensor Open");
        m_data->AddReadings();
        m_t->clock.advanceSeconds(60);
        setReading(m_grid, 0, "72.5");
        m_data->AddReadings();

        QCOMPARE(added.count(), 3);
        QCOMPARE(m_data->times(),
                 (std::vector<qint64>{start.toMSecsSinceEpoch(), start.addSecs(60).toMSecsSinceEpoch(),
                                      start.addSecs(120).toMSecsSinceEpoch()}));
        const std::vector<float> &first = m_data->series(0).values;
        QCOMPARE(first.size(), size_t(3));
        QCOMPARE(first[0], 71.5f);
        QVERIFY(std::isnan(first[1]));
        QCOMPARE(first[2], 72.5f);
        QCOMPARE(m_data->series(1).values, (std::vector<float>{40, 40, 40}));
    }

    void readsTheStatusGridModel()
    {
        StatusGridModel grid;
        grid.ConfigureServerStatusGrid(3);
        grid.WriteSensorIdentity("Lab", "Fridge", 11, F);
        grid.WriteReading(".5");
        grid.MoveToNextRow();
        grid.WriteSensorIdentity("Lab", "Door", 12, "");
        grid.WriteReading("Open");
        grid.MoveToNextRow();
        grid.WriteSensorIdentity("Lab", "Humidity", 13, RH);
        grid.WriteReading("No Data");
        m_data->setModel(&grid);
        m_data->Build();
        m_data->AddReadings();
        QCOMPARE(m_data->seriesCount(), 2);
        QCOMPARE(m_data->series(0).name, QString("Fridge"));
        QCOMPARE(m_data->series(1).name, QString("Humidity"));
        QCOMPARE(m_data->series(0).values.front(), 0.5f);
        QVERIFY(std::isnan(m_data->series(1).values.front()));
        QCOMPARE(axisTitles(*m_data), (QStringList{F, RH}));
    }

    // A series follows its sensor's ID: sensors whose rows changed places keep their own lines,
    // and a row not written in the cycle (its device busy) leaves a gap.
    void seriesFollowTheSensorId()
    {
        StatusGridModel grid;
        grid.ConfigureServerStatusGrid(2);
        auto write = [&grid](int id, const QString &reading) {
            grid.WriteSensorIdentity("Lab", QString("Sensor %1").arg(id), id, F);
            grid.WriteReading(reading);
            grid.MoveToNextRow();
        };
        m_data->setModel(&grid);
        grid.MoveToFirstRow();
        write(11, "1.0");
        write(12, "2.0");
        m_data->Build();
        m_data->AddReadings();
        grid.MoveToFirstRow();
        write(12, "2.5"); // sensor 11 not evaluated in this cycle
        m_data->AddReadings();
        QCOMPARE(m_data->series(1).values, (std::vector<float>{2.0f, 2.5f}));
        QVERIFY(std::isnan(m_data->series(0).values.back()));
        QCOMPARE(grid.cellText(0, StatusGridModel::ReadingColumn), QString("1.0"));
    }

    void rowsThatVanishGiveGaps()
    {
        m_grid.setUnits({F, F});
        m_data->Build();
        m_grid.removeLastRow();
        m_data->AddReadings();
        QCOMPARE(m_data->series(0).values.back(), 70.0f);
        QVERIFY(std::isnan(m_data->series(1).values.back()));

        auto grid = std::make_unique<TrendGrid>();
        grid->setUnits({F});
        m_data->setModel(grid.get());
        m_data->Build();
        grid.reset();
        m_data->AddReadings();
        QCOMPARE(m_data->pointCount(), 2);
        QVERIFY(std::isnan(m_data->series(0).values.back()));
        QVERIFY(std::isnan(m_data->series(1).values.back()));
    }

    void emptyChartTakesNoPoints()
    {
        m_grid.setUnits({"", ""});
        m_data->Build();
        QSignalSpy added(m_data.get(), &TrendData::readingsAdded);
        m_data->AddReadings();
        QCOMPARE(m_data->pointCount(), 0);
        QCOMPARE(added.count(), 0);
    }

    // A new layout keeps every series and point: renamed sensors keep their lines, new ones get
    // theirs from the next point on, and a sensor whose unit changed kind starts again.
    void rebuildKeepsThePoints()
    {
        m_grid.setUnits({F});
        m_data->Build();
        m_data->AddReadings();
        m_data->AddReadings();
        m_grid.setUnits({F, RH});
        m_grid.setCell(0, TrendData::SensorColumn, "Freezer");
        m_data->Build();
        QCOMPARE(m_data->seriesCount(), 2);
        QCOMPARE(m_data->series(0).name, QString("Freezer"));
        QCOMPARE(m_data->series(0).values.size(), size_t(2));
        QCOMPARE(m_data->series(1).firstPoint, 2);
        m_data->AddReadings();
        QCOMPARE(m_data->series(0).values.size(), size_t(3));
        QCOMPARE(m_data->series(1).values, (std::vector<float>{70}));
        QCOMPARE(m_data->samples(1).time(0), m_data->times()[2]);
        QCOMPARE(axisTitles(*m_data), (QStringList{F, RH}));

        m_grid.setCell(0, TrendData::UnitsColumn, C);
        m_data->Build();
        QVERIFY(m_data->series(0).values.empty());
        QCOMPARE(axisTitles(*m_data), (QStringList{C, RH}));
        // A grid that no longer shows a sensor keeps its line, with gaps from then on.
        m_grid.setUnits({});
        m_data->Build();
        QCOMPARE(m_data->seriesCount(), 2);
    }

    // History is kept apart from the points the chart added and read before them; it joins
    // them unless more than the allowed stretch lies between.
    void historyComesBeforeThePoints()
    {
        m_grid.setUnits({F, F, F});
        m_data->Build();
        const qint64 now = m_t->clock.now().toMSecsSinceEpoch();
        const qint64 minute = 60000;
        QSignalSpy added(m_data.get(), &TrendData::historyAdded);
        m_data->AddReadings(); // every series has one point, at `now`

        // Readings up to a minute before: joined. Readings at or after the first point are
        // the chart's own already and are left out.
        m_data->AddHistory("1", {now - 3 * minute, now - 2 * minute, now - minute, now, now + minute},
                           {1, 2, 3, 4, 5}, 2 * minute);
        QCOMPARE(m_data->series(0).historyValues, (std::vector<float>{1, 2, 3}));
        QCOMPARE(m_data->samples(0).size(), 4);
        QCOMPARE(m_data->samples(0).value(3), 70.0f);
        // Readings ending an hour before: the line breaks before the first point.
        m_data->AddHistory("2", {now - 62 * minute, now - 61 * minute}, {1, 2}, 2 * minute);
        QCOMPARE(m_data->series(1).historyValues.size(), size_t(3));
        QVERIFY(std::isnan(m_data->series(1).historyValues.back()));
        // A second history for a sensor, or one for a sensor not charted, changes nothing.
        m_data->AddHistory("1", {now - 5 * minute}, {9}, 2 * minute);
        m_data->AddHistory("99", {now - 5 * minute}, {9}, 2 * minute);
        QCOMPARE(m_data->series(0).historyValues.size(), size_t(3));
        QCOMPARE(added.count(), 2);

        // History that arrives before the first point: the join is decided with that point.
        m_grid.setUnits({F, F, F, F});
        m_data->Build();
        m_data->AddHistory("4", {now - 30 * minute}, {1}, 2 * minute);
        QCOMPARE(m_data->firstPointTime(3), -1);
        m_t->clock.advanceSeconds(60);
        m_data->AddReadings();
        QCOMPARE(m_data->series(3).historyValues.size(), size_t(2));
        qint64 from = 0, to = 0;
        QVERIFY(m_data->timeSpan(from, to));
        QCOMPARE(from, now - 62 * minute);
        QCOMPARE(to, now + minute);
    }

    // Only keepMs of samples stay in memory, history and own points alike, dropped a few at a
    // time; the run's span stays whole. A view that reaches before what is kept asks for that
    // span once at its resolution, takes only the readings of its latest wish, joins them to the
    // kept samples by the files' own spacing, and lets them go when it returns.
    void samplesOlderThanTheKeptSpanLeaveMemory()
    {
        m_grid.setUnits({F, F});
        m_data->Build();
        const qint64 start = m_t->clock.now().toMSecsSinceEpoch();
        const qint64 minute = 60000;
        const qint64 hour = 60 * minute;
        m_data->setKeepMs(hour);
        m_data->AddHistory("1", {start - 30 * minute, start - minute}, {5, 6}, 2 * minute);
        QSignalSpy wanted(m_data.get(), &TrendData::olderWanted);
        for (int m = 0; m < 180; ++m) {
            m_data->AddReadings();
            m_t->clock.advanceSeconds(60);
            // Never more than the kept hour and a sixteenth of it.
            QVERIFY(m_data->pointCount() <= 60 + 60 / 16 + 1);
        }
        const qint64 newest = start + 179 * minute;
        QVERIFY(m_data->keptFrom() > newest - hour - hour / 16 && m_data->keptFrom() <= newest - hour);
        QVERIFY(m_data->series(0).historyTimes.empty());
        QCOMPARE(m_data->samples(0).size(), m_data->pointCount());
        QVERIFY(m_data->samples(0).time(0) >= m_data->keptFrom());
        QCOMPARE(m_data->samples(1).size(), m_data->pointCount());
        qint64 from = 0, to = 0;
        QVERIFY(m_data->timeSpan(from, to));
        QCOMPARE(from, start - 30 * minute);
        QCOMPARE(to, newest);
        QCOMPARE(wanted.count(), 0);

        // The whole run at 1000 columns: the span before the kept one is wanted once.
        m_data->ReachBack(from, to, 1000);
        QCOMPARE(wanted.count(), 1);
        const TrendOlderSpan span = wanted.last().first().value<TrendOlderSpan>();
        QVERIFY(span.ticket != 0);
        QVERIFY(span.from <= from);
        QCOMPARE(span.to, m_data->keptFrom());
        m_data->ReachBack(from + minute, to, 1000); // a small move: nothing more to read
        QCOMPARE(wanted.count(), 1);
        m_data->ReachBack(from, from + 10 * minute, 1000); // far finer: read again
        QCOMPARE(wanted.count(), 2);
        const TrendOlderSpan finer = m_data->olderSpan();
        QVERIFY(finer.ticket != span.ticket);

        // Readings for an earlier wish are ignored; those for the latest join the kept samples
        // when they end close enough before them, and break the line when they do not.
        const qint64 kept = m_data->samples(0).time(0);
        m_data->AddOlder(span.ticket, "1", {from}, {1}, 2 * minute);
        QVERIFY(m_data->series(0).older.times.empty());
        m_data->AddOlder(finer.ticket, "1", {kept - 3 * minute, kept - minute}, {1, 2}, 4 * minute);
        m_data->AddOlder(finer.ticket, "2", {kept - 3 * minute, kept - minute}, {1, 2}, 30 * 1000);
        QCOMPARE(m_data->series(0).older.values, (std::vector<float>{1, 2}));
        QCOMPARE(m_data->samples(0).size(), m_data->pointCount() + 2);
        QCOMPARE(m_data->samples(0).value(1), 2.0f);
        QCOMPARE(m_data->samples(0).value(2), 70.0f);
        QCOMPARE(m_data->series(1).older.values.size(), size_t(3));
        QVERIFY(std::isnan(m_data->series(1).older.values.back()));

        // Back within the kept span: what was read goes, and the wish is withdrawn.
        m_data->ReachBack(newest - 10 * minute, newest, 1000);
        QCOMPARE(wanted.count(), 3);
        QCOMPARE(wanted.last().first().value<TrendOlderSpan>().ticket, 0);
        QVERIFY(m_data->series(0).older.times.empty());
        QCOMPARE(m_data->samples(0).size(), m_data->pointCount());
    }

    // What was read for a view of the whole run outlasts the kept span moving on: the samples that
    // leave memory are added to it at its resolution, so the view wants nothing read again and
    // not a sample goes missing. A drop while some series still waits for its readings lets the
    // wish go, and the next redraw asks again.
    void whatWasReadOutlastsTheKeptSpanMovingOn()
    {
        m_grid.setUnits({F, F});
        m_data->Build();
        const qint64 minute = 60000;
        m_data->setKeepMs(60 * minute);
        const auto addMinutes = [&](int minutes) {
            for (int m = 0; m < minutes; ++m) {
                m_data->AddReadings();
                m_t->clock.advanceSeconds(60);
            }
        };
        const qint64 start = m_t->clock.now().toMSecsSinceEpoch();
        addMinutes(120);
        QSignalSpy wanted(m_data.get(), &TrendData::olderWanted);
        qint64 from = 0, to = 0;
        QVERIFY(m_data->timeSpan(from, to));
        m_data->ReachBack(from, to, 1000);
        QCOMPARE(wanted.count(), 1);
        const TrendOlderSpan span = m_data->olderSpan();
        // The files hold a reading a minute up to the kept span.
        std::vector<qint64> times;
        std::vector<float> values;
        for (qint64 t = start; t < span.to; t += minute) {
            times.push_back(t);
            values.push_back(60);
        }
        for (const QString id : {"1", "2"})
            m_data->AddOlder(span.ticket, id, times, values, 2 * minute);
        const int held = m_data->samples(0).size();
        const qint64 keptBefore = m_data->keptFrom();

        addMinutes(10);
        QVERIFY(m_data->keptFrom() > keptBefore);
        QVERIFY(m_data->timeSpan(from, to));
        m_data->ReachBack(from, to, 1000);
        QCOMPARE(wanted.count(), 1);
        QCOMPARE(m_data->olderSpan().ticket, span.ticket);
        QCOMPARE(m_data->olderSpan().to, m_data->keptFrom());
        for (int i : {0, 1}) {
            const TrendSamples samples = m_data->samples(i);
            QCOMPARE(samples.size(), held + 10);
            for (int k = 1; k < samples.size(); ++k) {
                QVERIFY(samples.time(k) > samples.time(k - 1));
                QVERIFY(!std::isnan(samples.value(k)));
            }
            QCOMPARE(samples.value(int(times.size()) - 1), 60.0f);
            QCOMPARE(samples.value(int(times.size())), 70.0f);
        }

        // A coarser view whose readings reached one series only when the kept span moves on.
        m_data->ReachBack(from, to, 100);
        QCOMPARE(wanted.count(), 2);
        m_data->AddOlder(m_data->olderSpan().ticket, "1", times, values, 2 * minute);
        addMinutes(10);
        QCOMPARE(wanted.count(), 3);
        QCOMPARE(wanted.last().first().value<TrendOlderSpan>().ticket, 0);
        QVERIFY(m_data->series(0).older.times.empty());
        QVERIFY(m_data->timeSpan(from, to));
        m_data->ReachBack(from, to, 100);
        QCOMPARE(wanted.count(), 4);
    }

    void timeLabels_data()
    {
        QTest::addColumn<QDateTime>("from");
        QTest::addColumn<qint64>("minutes");
        QTest::addColumn<int>("most");
        QTest::addColumn<QStringList>("labels");
        const QDateTime morning(QDate(2024, 5, 1), QTime(9, 0));
        QTest::newRow("a few minutes, one label a minute")
            << morning.addSecs(20) << qint64(4) << 6
            << QStringList{"9:01 AM", "9:02 AM", "9:03 AM", "9:04 AM"};
        QTest::newRow("an hour in quarters")
            << morning << qint64(60) << 6
            << QStringList{"9:00 AM", "9:15 AM", "9:30 AM", "9:45 AM", "10:00 AM"};
        QTest::newRow("across midnight") << QDateTime(QDate(2024, 5, 1), QTime(21, 10)) << qint64(6 * 60) << 4
                                         << QStringList{"5/1 10:00 PM", "5/2 12:00 AM", "2:00 AM"};
        QTest::newRow("three days by dates")
            << morning << qint64(3 * 24 * 60) << 6 << QStringList{"5/2", "5/3", "5/4"};
        QTest::newRow("three days by half days")
            << morning << qint64(3 * 24 * 60) << 12
            << QStringList{"5/1 12:00 PM", "5/2 12:00 AM", "5/2 12:00 PM",
                           "5/3 12:00 AM", "5/3 12:00 PM", "5/4 12:00 AM"};
        QTest::newRow("a month by weeks")
            << morning << qint64(30 * 24 * 60) << 6 << QStringList{"5/6", "5/13", "5/20", "5/27"};
    }
    void timeLabels()
    {
        QFETCH(QDateTime, from);
        QFETCH(qint64, minutes);
        QFETCH(int, most);
        QFETCH(QStringList, labels);
        const qint64 start = from.toMSecsSinceEpoch();
        const qint64 end = start + minutes * 60000;
        const QList<TrendTimeTick> ticks = TrendTimeTicks(start, end, most);
        QStringList shown;
        for (const TrendTimeTick &tick : ticks) {
            shown << tick.label;
            QVERIFY(tick.time >= start && tick.time <= end);
        }
        QCOMPARE(shown, labels);
        QVERIFY(ticks.size() <= most);
    }

    void feedAfterCycle_data()
    {
        QTest::addColumn<bool>("firstCycle");
        QTest::addColumn<bool>("trending");
        QTest::addColumn<int>("series");
        QTest::addColumn<int>("points");
        QTest::addColumn<bool>("firstCycleAfter");
        // An earlier build left one series with one point; the grid now has two charted rows.
        // The first cycle of an activation adds a series for the new row and keeps the points.
        QTest::newRow("first cycle builds and adds") << true << true << 2 << 2 << false;
        QTest::newRow("first cycle, trending off") << true << false << 1 << 1 << true;
        QTest::newRow("later cycle adds") << false << true << 1 << 2 << false;
        QTest::newRow("later cycle, trending off") << false << false << 1 << 1 << false;
    }
    void feedAfterCycle()
    {
        QFETCH(bool, firstCycle);
        QFETCH(bool, trending);
        m_grid.setUnits({F});
        m_data->Build();
        m_data->AddReadings();
        m_grid.setUnits({F, C});

        TrendFeed feed(m_t->state, *m_data);
        m_t->state.FirstCycle = firstCycle;
        m_t->state.TrendingEnabled = trending;
        feed.AfterCycle();
        QTEST(m_data->seriesCount(), "series");
        QTEST(m_data->pointCount(), "points");
        QTEST(m_t->state.FirstCycle, "firstCycleAfter");
    }

    void freezeAndContinue()
    {
        m_grid.setUnits({F});
        TrendFeed feed(m_t->state, *m_data);
        m_t->state.FirstCycle = true;
        m_t->state.TrendingEnabled = true;

        // Frozen before the first cycle: the chart is built by the first cycle after Continue.
        QCOMPARE(feed.FreezeExamine(TrendFeed::ExamineCaption), TrendFeed::ContinueCaption);
        QVERIFY(feed.frozen());
        QVERIFY(!m_t->state.TrendingEnabled);
        feed.AfterCycle();
        feed.AfterCycle();
        QCOMPARE(m_data->seriesCount(), 0);

        QCOMPARE(feed.FreezeExamine(TrendFeed::ContinueCaption), TrendFeed::ExamineCaption);
        QVERIFY(m_t->state.TrendingEnabled);
        feed.AfterCycle();
        QCOMPARE(m_data->seriesCount(), 1);
        QCOMPARE(m_data->pointCount(), 1);

        // Cycles while frozen add nothing, and the points resume afterwards.
        feed.FreezeExamine(TrendFeed::ExamineCaption);
        feed.AfterCycle();
        feed.AfterCycle();
        QCOMPARE(m_data->pointCount(), 1);
        feed.FreezeExamine(TrendFeed::ContinueCaption);
        feed.AfterCycle();
        QCOMPARE(m_data->pointCount(), 2);
    }

private:
    std::unique_ptr<TestState> m_t;
    TrendGrid m_grid;
    std::unique_ptr<TrendData> m_data;
};

QTEST_GUILESS_MAIN(TestTrendData)
#include "tst_trenddata.moc"
