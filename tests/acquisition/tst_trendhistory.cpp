#include <acquisition/SensorDataFiles.h>
#include <acquisition/SensorRange.h>
#include <acquisition/TrendData.h>
#include <acquisition/TrendFeed.h>
#include <acquisition/TrendHistory.h>
#include <acquisition/TrendHistoryLoader.h>
#include <acquisition/TrendSensors.h>
#include <core/DateTimeText.h>
#include <db/Database.h>
#include <db/Records.h>
#include <db/SchemaFile.h>
#include <support/TestState.h>

#include "support_trendgrid.h"

#include <QDir>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <functional>

namespace {
constexpr qint64 kMinute = 60 * 1000;
const QString F = QString(QChar(0x00B0)) + QLatin1Char('F');
const QString C = QString(QChar(0x00B0)) + QLatin1Char('C');
const QString RH = QStringLiteral("%RH");

// 6:00 AM on the first of a month: the last 30 hours reach into the month before.
const QDateTime kNow(QDate(2024, 5, 1), QTime(6, 0));
const QDateTime kThirtyHoursAgo = kNow.addSecs(-30 * 3600);

// One reading a minute for `minutes` minutes from `start` through the program's own writer; the
// reading at minute m is m. Minutes for which skip is true have no record.
void writeMinutes(TestState &t, int sensorId, const QDateTime &start, int minutes,
                  const std::function<bool(int)> &skip = {})
{
    for (int m = 0; m < minutes; ++m) {
        if (skip && skip(m))
            continue;
        t.clock.set(start.addSecs(60LL * m));
        QVERIFY(SaveInstantaneousReading(t.state, t.dir.path(), sensorId, float(m)));
    }
}

QByteArray record(const QString &timeText, float value)
{
    return InstantaneousRecord{timeText, value}.encode();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

int missingCount(const std::vector<float> &values)
{
    return int(std::count_if(values.begin(), values.end(), [](float v) { return std::isnan(v); }));
}
} // namespace

class TestTrendHistory : public QObject {
    Q_OBJECT
private slots:
    void init() { m_t = std::make_unique<TestState>(); }
    void cleanup() { m_t.reset(); }

    // 30 hours of readings with a 40-minute outage; the last 24 hours are read from this month's
    // file and the last month's, with a break where the outage is.
    void lastHoursAcrossTwoMonths()
    {
        writeMinutes(*m_t, 7, kThirtyHoursAgo, 30 * 60, [](int m) { return m >= 1500 && m < 1540; });
        QVERIFY(QFile::exists(SensorInstantaneousPath(m_t->dir.path(), 7, QDate(2024, 4, 1))));
        QVERIFY(QFile::exists(SensorInstantaneousPath(m_t->dir.path(), 7, QDate(2024, 5, 1))));

        const TrendHistory history =
            ReadTrendHistory(m_t->dir.path(), 7, kNow.addSecs(-24 * 3600), kNow, 2 * kMinute);
        QVERIFY(history.errors.isEmpty());
        QCOMPARE(history.times.size(), size_t(24 * 60 - 40 + 1));
        QCOMPARE(history.times.front(), kThirtyHoursAgo.addSecs(360 * 60).toMSecsSinceEpoch());
        QCOMPARE(history.values.front(), 360.0f);
        QCOMPARE(history.values.back(), 1799.0f);
        QCOMPARE(missingCount(history.values), 1);
        const auto gap =
            std::find_if(history.values.begin(), history.values.end(), [](float v) { return std::isnan(v); });
        QCOMPARE(*(gap - 1), 1499.0f);
        QCOMPARE(*(gap + 1), 1540.0f);
        QVERIFY(std::is_sorted(history.times.begin(), history.times.end()));

        // A span in the middle: nothing from before it or from its end on.
        const TrendHistory hour =
            ReadTrendHistory(m_t->dir.path(), 7, kNow.addSecs(-2 * 3600), kNow.addSecs(-3600), 2 * kMinute);
        QCOMPARE(hour.values.size(), size_t(60));
        QCOMPARE(hour.values.front(), 1680.0f);
        QCOMPARE(hour.values.back(), 1739.0f);

        // The same day in ten-minute steps: the outage's four steps hold no readings.
        const SensorRange range =
            ReadSensorRange(m_t->dir.path(), 7, kNow.addSecs(-24 * 3600), kNow, 10 * kMinute);
        QVERIFY(!range.fromHours);
        QCOMPARE(range.steps.size(), size_t(144));
        qint64 readings = 0;
        for (int k = 0; k < 144; ++k) {
            const SensorRangeStep &step = range.steps[size_t(k)];
            readings += step.count;
            QCOMPARE(step.start, kNow.addSecs(-24 * 3600 + 600LL * k).toMSecsSinceEpoch());
            QCOMPARE(step.count, k >= 114 && k < 118 ? 0 : 10);
            if (step.count == 0)
                continue;
            QCOMPARE(step.minimum, float(360 + 10 * k));
            QCOMPARE(step.maximum, float(369 + 10 * k));
            QCOMPARE(step.mean, 364.5 + 10 * k);
        }
        QCOMPARE(readings, qint64(24 * 60 - 40));
    }

    // Readings written every 10 minutes (an earlier, slower update rate) join into a line although
    // today's rate would break it after 2 minutes; only the 2-hour outage breaks it.
    void breaksFollowTheSpacingOfTheRecords()
    {
        const QDateTime t0(QDate(2024, 5, 1), QTime(1, 0));
        QByteArray bytes;
        for (int i = 0; i < 30; ++i)
            if (i < 10 || i >= 22)
                bytes += record(DateTimeText(t0.addSecs(600LL * i)), float(i));
        writeFile(SensorInstantaneousPath(m_t->dir.path(), 8, t0.date()), bytes);
        const TrendHistory history =
            ReadTrendHistory(m_t->dir.path(), 8, t0, t0.addSecs(6 * 3600), 2 * kMinute);
        QCOMPARE(history.values.size(), size_t(18 + 1));
        QCOMPARE(missingCount(history.values), 1);
        QVERIFY(std::isnan(history.values[10]));
    }

    // A long month is read from its end in pieces; readings that straddle two pieces come out
    // whole and in order, and only the span asked for is kept.
    void longFileReadFromItsEnd()
    {
        const QDateTime start(QDate(2024, 5, 1), QTime(0, 0));
        QByteArray bytes;
        const int count = 10000;
        for (int i = 0; i < count; ++i)
            bytes += record(DateTimeText(start.addSecs(30LL * i)), float(i));
        writeFile(SensorInstantaneousPath(m_t->dir.path(), 3, start.date()), bytes);
        const int firstWanted = 2500;
        const TrendHistory history = ReadTrendHistory(m_t->dir.path(), 3, start.addSecs(30LL * firstWanted),
                                                      start.addSecs(30LL * count), kMinute);
        QCOMPARE(history.values.size(), size_t(count - firstWanted));
        for (int i = 0; i < count - firstWanted; ++i)
            QCOMPARE(history.values[size_t(i)], float(firstWanted + i));
    }

    // What a damaged file holds besides readings is left out: a time that is no date, a value that
    // is no number, a torn last record. Readings written after the clock was set back are put in
    // their place.
    void damagedRecordsAreLeftOut()
    {
        const QDateTime t0(QDate(2024, 5, 1), QTime(1, 0));
        QByteArray bytes = record(DateTimeText(t0), 1) + record(QStringLiteral("not a date"), 2) +
                           record(DateTimeText(t0.addSecs(60)), std::nanf("")) +
                           record(DateTimeText(t0.addSecs(180)), 4) +
                           record(DateTimeText(t0.addSecs(120)), 3);
        bytes += record(DateTimeText(t0.addSecs(240)), 5).left(11);
        writeFile(SensorInstantaneousPath(m_t->dir.path(), 4, t0.date()), bytes);
        const TrendHistory history = ReadTrendHistory(m_t->dir.path(), 4, t0, t0.addSecs(3600), 10 * kMinute);
        QCOMPARE(history.values, (std::vector<float>{1, 3, 4}));
        QCOMPARE(history.times.back(), t0.addSecs(180).toMSecsSinceEpoch());
        QVERIFY(history.errors.isEmpty());
    }

    void unreadableFileIsReported()
    {
        const QString path = SensorInstantaneousPath(m_t->dir.path(), 5, kNow.date());
        QVERIFY(QDir().mkpath(path)); // a directory where the file should be
        const TrendHistory history = ReadTrendHistory(m_t->dir.path(), 5, kNow.addSecs(-3600), kNow, kMinute);
        QVERIFY(history.times.empty());
        QCOMPARE(history.errors.size(), 1);
        QVERIFY(history.errors.front().startsWith(QDir::toNativeSeparators(path)));
        // No file at all is no error: the sensor had no readings then.
        QVERIFY(ReadTrendHistory(m_t->dir.path(), 6, kNow.addSecs(-3600), kNow, kMinute).errors.isEmpty());
    }

    void loaderDeliversEverySensor()
    {
        for (int id : {1, 2, 3})
            writeMinutes(*m_t, id, kNow.addSecs(-600), 10 * id / 3 + 1);
        TrendHistoryLoader loader;
        QSignalSpy loaded(&loader, &TrendHistoryLoader::loaded);
        QSignalSpy finished(&loader, &TrendHistoryLoader::finished);
        QList<TrendHistoryRequest> requests;
        for (const QString id : {"1", "2", "3", "4"})
            requests.append({id, kNow.addSecs(-3600), kNow});
        loader.load(m_t->dir.path(), requests, 2 * kMinute);
        loader.load(m_t->dir.path(), {{"2", kNow.addSecs(-3600), kNow}}, 2 * kMinute);
        QVERIFY(loader.busy());
        QVERIFY(finished.wait(20000));
        QCOMPARE(finished.count(), 1);
        QVERIFY(!loader.busy());
        QCOMPARE(loaded.count(), 5);
        QStringList order;
        for (const QList<QVariant> &call : loaded)
            order << call[0].toString();
        QCOMPARE(order, (QStringList{"1", "2", "3", "4", "2"}));
        QCOMPARE(loaded[0][1].value<TrendHistory>().values.size(), size_t(4));
        QCOMPARE(loaded[3][1].value<TrendHistory>().values.size(), size_t(0));

        // Reduced to columns: the extremes of each column, at their own times. A load called
        // off while it waits delivers nothing.
        writeMinutes(*m_t, 5, kNow.addSecs(-3600), 60);
        loaded.clear();
        loader.load(m_t->dir.path(), {{"5", kNow.addSecs(-3600), kNow, 3}}, 2 * kMinute, 7);
        loader.load(m_t->dir.path(), {{"5", kNow.addSecs(-3600), kNow}}, 2 * kMinute, 8);
        loader.cancel(8);
        QVERIFY(finished.wait(20000));
        QCOMPARE(loaded.count(), 1);
        QCOMPARE(loaded[0][3].toInt(), 7);
        const TrendHistory reduced = loaded[0][1].value<TrendHistory>();
        QCOMPARE(reduced.values, (std::vector<float>{0, 19, 20, 39, 40, 59}));
        QCOMPARE(reduced.times.back(), kNow.addSecs(-60).toMSecsSinceEpoch());
        QCOMPARE(reduced.breakMs, 2 * kMinute);

        // A loader that goes away while it reads stops without delivering anything more.
        auto early = std::make_unique<TrendHistoryLoader>();
        QSignalSpy none(early.get(), &TrendHistoryLoader::loaded);
        early->load(m_t->dir.path(), requests, 2 * kMinute);
        early.reset();
        QTest::qWait(50);
    }

    // The charted sensors at activation: named sensors of enabled devices that have a header
    // file with a charted unit, in the order the cycle reads them.
    void chartedSensorsComeFromTheHeaders()
    {
        QString error;
        const QString dbPath = m_t->path("wexa.mdb");
        QVERIFY2(CreateDatabaseFromSchema(QStringLiteral(TALLYPORT_SOURCE_DIR "/resources/schema.sql"),
                                          dbPath, false, error),
                 qPrintable(error));
        Database db(m_t->state, dbPath);
        qint64 lab = 0, shed = 0, off = 0;
        QVERIFY(db.AddServer("Lab", "RX705", "127.0.0.1", "", 1, "", "", -1, &lab));
        QVERIFY(db.AddServer("Boiler shed", "RX705", "127.0.0.2", "", 1, "", "", -1, &shed));
        QVERIFY(db.AddServer("Off", "RX705", "127.0.0.3", "", 0, "", "", -1, &off));
        const auto addSensor = [&](qint64 server, const QString &name, int port, const QString &unit) {
            QVERIFY(db.SaveSensor(server, name, port, "", "Temperature", "", "", ""));
            QList<SensorRecord> rows;
            int count = 0;
            QVERIFY(db.RecordSensors(server, rows, count));
            for (const SensorRecord &row : rows)
                if (row.PortNum == port && !unit.isNull())
                    QVERIFY(
                        SaveSensorDatToFile(m_t->state, m_t->dir.path(), int(row.IDNum), name, "x", unit));
        };
        addSensor(lab, "Freezer", 1, F);
        addSensor(lab, "Door", 0, "");
        addSensor(lab, "Humidity", 2, RH);
        addSensor(lab, "New probe", 3, QString()); // no reading yet, no header
        addSensor(shed, "Boiler", 0, C);
        addSensor(off, "Disabled", 0, F);
        const QList<TrendSensor> sensors = ChartedSensors(db, m_t->dir.path());
        QStringList seen;
        for (const TrendSensor &s : sensors)
            seen << s.deviceName + "/" + s.sensorName + "/" + s.unitText;
        QCOMPARE(seen, (QStringList{"Boiler shed/Boiler/" + C, "Lab/Freezer/" + F, "Lab/Humidity/" + RH}));
    }

    // At activation the charted sensors get their series and the last 24 hours of their files;
    // cycles add to them; a later activation keeps them and brings in a sensor named since.
    void activationFillsTheChart()
    {
        writeMinutes(*m_t, 11, kThirtyHoursAgo, 30 * 60, [](int m) { return m >= 1500 && m < 1540; });
        writeMinutes(*m_t, 12, kNow.addSecs(-3600), 60);
        m_t->clock.set(kNow);
        m_t->state.Config.UpdateRate = 60;
        m_t->state.TrendingEnabled = true;
        TrendGrid grid;
        TrendData data(m_t->clock);
        data.setModel(&grid);
        TrendFeed feed(m_t->state, data);
        QList<TrendSensor> charted{{"12", "Room", "Lab", RH}, {"11", "Freezer", "Lab", F}};
        feed.chartedSensors = [&charted] { return charted; };

        feed.Activated();
        QCOMPARE(data.seriesCount(), 2);
        QTRY_VERIFY(!feed.historyLoading());
        const size_t dayOfReadings = 24 * 60 - 40 + 1;
        {
            const TrendSeries &freezer = data.series(data.seriesOf("11"));
            QCOMPARE(freezer.name, QString("Freezer"));
            QCOMPARE(freezer.unit, TrendUnit::Fahrenheit);
            QCOMPARE(freezer.historyValues.size(), dayOfReadings);
            QCOMPARE(missingCount(freezer.historyValues), 1);
            QCOMPARE(freezer.historyValues.back(), 1799.0f);
        }
        QCOMPARE(data.series(data.seriesOf("12")).historyValues.size(), size_t(60));
        QCOMPARE(data.series(data.seriesOf("12")).unit, TrendUnit::RelativeHumidity);

        // The first cycle: the grid shows the sensors (and one without a header), and the
        // chart grows; the last reading of the files joins the first point a minute later.
        grid.setUnits({RH, F, C});
        grid.setCell(0, TrendData::SensorIdColumn, "12");
        grid.setCell(1, TrendData::SensorIdColumn, "11");
        grid.setCell(2, TrendData::SensorIdColumn, "13");
        m_t->clock.set(kNow.addSecs(60));
        m_t->state.FirstCycle = true;
        feed.AfterCycle();
        QCOMPARE(data.seriesCount(), 3);
        QCOMPARE(data.samples(data.seriesOf("11")).size(), int(dayOfReadings) + 1);
        QCOMPARE(missingCount(data.series(data.seriesOf("11")).historyValues), 1);

        // Another activation (the settings window closed): the points stay, nothing is read
        // again for the sensors that had their history, and a sensor named since is added.
        charted.append({"14", "Walk-in cooler", "Shed", C});
        writeMinutes(*m_t, 14, kNow.addSecs(-1800), 30);
        m_t->clock.set(kNow.addSecs(120));
        feed.Activated();
        QTRY_VERIFY(!feed.historyLoading());
        QCOMPARE(data.seriesCount(), 4);
        QCOMPARE(data.pointCount(), 1);
        QCOMPARE(data.series(data.seriesOf("11")).historyValues.size(), dayOfReadings);
        QCOMPARE(data.series(data.seriesOf("14")).historyValues.size(), size_t(30));
        QCOMPARE(data.series(data.seriesOf("14")).name, QString("Walk-in cooler"));
        QCOMPARE(data.series(data.seriesOf("14")).axis, 1); // the Celsius axis, after Fahrenheit
    }

    // A view of a long run reads the span before the kept one from the hourly statistics (there
    // are no instantaneous files here): each hour's lowest and highest reading, a break where an
    // hour has none. When the kept span moves on, nothing is read again: what left memory is
    // added to what was read, and the view of the whole run wants nothing more.
    void longSpansAreReadFromTheHoursOnce()
    {
        const QDateTime start = kNow.addDays(-40);
        QByteArray hours;
        for (int h = 0; h < 40 * 24; ++h)
            if (h != 100)
                hours += HourlyStatisticsRecord{DateTimeText(start.addSecs(3600LL * h)),
                                                float(60 * (h % 7 + 5)), float(h % 7), float(h % 7 + 10), 60}
                             .encode();
        writeFile(SensorStatisticsPath(m_t->dir.path(), 21), hours);
        trendingWithoutHistory();
        TrendData data(m_t->clock);
        TrendFeed feed(m_t->state, data);
        feed.chartedSensors = [] { return QList<TrendSensor>{{"21", "Freezer", "Lab", F}}; };
        feed.Activated();
        data.setKeepMs(24 * 3600 * 1000LL);
        // The run began 40 days ago; it has a point a minute for the last 26 hours.
        data.AddPoint(start.toMSecsSinceEpoch(), {50});
        qint64 newest = kNow.addSecs(-26 * 3600).toMSecsSinceEpoch();
        const auto addMinutes = [&](int minutes) {
            for (int m = 0; m < minutes; ++m, newest += kMinute)
                data.AddPoint(newest, {70});
        };
        addMinutes(26 * 60);
        QSignalSpy wanted(&data, &TrendData::olderWanted);
        data.ReachBack(start.toMSecsSinceEpoch(), newest, 1000);
        QCOMPARE(wanted.count(), 1);
        const int ticket = data.olderSpan().ticket;
        QTRY_COMPARE(data.series(0).olderTicket, ticket);
        QVERIFY(!feed.historyLoading());
        QVERIFY(m_t->errors.lines().isEmpty());

        const TrendSeries &series = data.series(0);
        const qint64 startMs = start.toMSecsSinceEpoch();
        const auto first = std::find(series.older.times.begin(), series.older.times.end(), startMs);
        QVERIFY(first != series.older.times.end());
        const size_t at = size_t(first - series.older.times.begin());
        QCOMPARE(series.older.values[at], 0.0f);
        QCOMPARE(series.older.times[at + 1], startMs + 30 * kMinute);
        QCOMPARE(series.older.values[at + 1], 10.0f);
        QCOMPARE(missingCount(series.older.values), 1); // hour 100
        QVERIFY(series.older.times.back() < data.keptFrom());

        // Three hours on: the kept span moved on twice, and nothing was asked of the files.
        const qint64 keptBefore = data.keptFrom();
        const size_t heldBefore = series.older.times.size();
        addMinutes(3 * 60);
        QVERIFY(data.keptFrom() > keptBefore);
        data.ReachBack(start.toMSecsSinceEpoch(), newest, 1000);
        QCOMPARE(wanted.count(), 1);
        QVERIFY(!feed.historyLoading());
        QCOMPARE(data.olderSpan().to, data.keptFrom());
        QVERIFY(series.older.times.size() > heldBefore);
        QCOMPARE(series.older.values.back(), 70.0f);
        QCOMPARE(missingCount(series.older.values), 1);
    }

    // historyHours = 0 starts the chart empty; a later activation with hours set still reads it.
    void noHistoryWanted()
    {
        writeMinutes(*m_t, 11, kNow.addSecs(-600), 10);
        trendingWithoutHistory();
        TrendData data(m_t->clock);
        TrendFeed feed(m_t->state, data);
        feed.chartedSensors = [] { return QList<TrendSensor>{{"11", "Freezer", "Lab", F}}; };
        feed.Activated();
        QCOMPARE(data.seriesCount(), 1);
        QVERIFY(!feed.historyLoading());
        m_t->state.Ini.trend.historyHours = 1;
        feed.Activated();
        QTRY_VERIFY(!feed.historyLoading());
        QCOMPARE(data.series(0).historyValues.size(), size_t(10));
    }

private:
    // At kNow, trending on, a cycle a minute, and no history read at an activation.
    void trendingWithoutHistory()
    {
        m_t->clock.set(kNow);
        m_t->state.TrendingEnabled = true;
        m_t->state.Ini.trend.historyHours = 0;
        m_t->state.Config.UpdateRate = 60;
    }

    std::unique_ptr<TestState> m_t;
};

QTEST_GUILESS_MAIN(TestTrendHistory)
#include "tst_trendhistory.moc"
