// The web server under load, over simulated devices with ten named sensors each (200 devices,
// 2,000 sensor rows, unless told otherwise; thousands stand on 127.102.x.y, 250 to a thread, and
// the benchmark raises its own descriptor limit to the hard limit):
//   1. time per request of /metrics, / and /api/v1/status, one request after another from a
//      client thread (the server answers on the main thread, as in the program);
//      each one rendered afresh (what the views show changed before it, as after every poll
//      cycle) and in a burst (one rendering used again);
//   2. poll cycle time with no requests, then with a client thread sending requests at a steady
//      rate (default 200 a second, /metrics and / in turn) on a few keep-alive connections, in
//      rounds that take turns;
//   3. sensors' past: a year of hourly statistics and a day of readings (one a minute) written
//      for the first sensors (--charts N, default 20); the time to read a year's range from the
//      hourly file against a day's from the readings, and to answer the history API for each;
//      then poll cycle time without requests and with a client asking for those sensors' year
//      charts (/sensor/{id}?span=1y) at a steady rate (--chart-rate, default 10 a second).
//
//   bench_web [devices, default 200] [--requests N, default 300] [--rate R, default 200]
//             [--cycles N per round, default 10] [--rounds N, default 3]
//             [--charts N, default 20] [--chart-rate R, default 10]
// Prints figures; never passes or fails. The load average is printed with them: on a busy machine
// every figure stretches.

#include "BenchHttpClient.h"
#include "BenchPlant.h"

#include <acquisition/SensorDataFiles.h>
#include <acquisition/SensorRange.h>
#include <core/DateTimeText.h>
#include <core/EventLoopChoice.h>
#include <support/CycleRun.h>
#include <web/WebServer.h>
#include <web/WebService.h>

#include <QFile>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTcpSocket>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <numeric>
#include <vector>

namespace {

using namespace bench;

// The devices stand on 127.102.x.y, 250 to a third octet, clear of the tests' 127.0.N.x.
constexpr int SecondOctet = 102;

struct Options {
    int devices = 200;
    int requests = 300;
    int rate = 200;
    int cycles = 10;
    int rounds = 3;
    int charts = 20;
    int chartRate = 10;
};

struct Timing {
    double meanMs = 0, p50Ms = 0, p95Ms = 0;
    qint64 bytes = 0;
};

// Runs the thread (unless it runs already) while the main thread's event loop serves its
// requests, until it has finished; then deletes it.
void serveUntilDone(QThread *thread, bool start = true)
{
    QEventLoop loop;
    QObject::connect(thread, &QThread::finished, &loop, &QEventLoop::quit);
    if (start)
        thread->start();
    if (!thread->isFinished())
        loop.exec();
    thread->wait();
    delete thread;
}

// The server's own time for an answer: rendered afresh (after a change) and used again.
void timeRendering(const StatusSource &source, const QByteArray &path)
{
    WebServer server(source, QString());
    const QUrl url(QString::fromLatin1(path));
    double fresh = 0, reused = 0;
    constexpr int Rounds = 20;
    for (int i = 0; i < Rounds; ++i) {
        const_cast<StatusSource &>(source).refresh();
        QElapsedTimer t;
        t.start();
        server.Answer("GET", url, {{"Host", "127.0.0.1"}});
        fresh += t.nsecsElapsed() / 1e6;
        t.start();
        server.Answer("GET", url, {{"Host", "127.0.0.1"}});
        reused += t.nsecsElapsed() / 1e6;
    }
    std::printf("  %-15s rendered %6.2f ms, used again %6.3f ms (in the server)\n", path.constData(),
                fresh / Rounds, reused / Rounds);
}

// Times requests one after another. With a source, what the views show changes before each
// request (as after every poll cycle), so each answer is rendered afresh; without, a burst of
// requests is answered with one rendering used again.
Timing timeRequests(quint16 port, const QByteArray &path, int count, StatusSource *changing = nullptr)
{
    std::vector<double> ms;
    qint64 bytes = 0;
    QThread *thread = QThread::create([&] {
        HttpClient client;
        if (!client.connect(port))
            return;
        client.get(path); // warm-up
        for (int i = 0; i < count; ++i) {
            if (changing)
                QMetaObject::invokeMethod(
                    changing, [changing] { changing->refresh(); }, Qt::BlockingQueuedConnection);
            QElapsedTimer t;
            t.start();
            bytes = client.get(path);
            ms.push_back(t.nsecsElapsed() / 1e6);
        }
    });
    serveUntilDone(thread);
    Timing timing;
    if (ms.empty())
        return timing;
    std::sort(ms.begin(), ms.end());
    timing.meanMs = std::accumulate(ms.begin(), ms.end(), 0.0) / ms.size();
    timing.p50Ms = ms[ms.size() / 2];
    timing.p95Ms = ms[std::min(ms.size() - 1, ms.size() * 95 / 100)];
    timing.bytes = bytes;
    return timing;
}

// Requests at a steady rate from a thread of their own until stopped: the paths in turn, spread
// over four keep-alive connections.
class Load {
public:
    Load(quint16 port, int rate,
         QList<QByteArray> paths = {QByteArrayLiteral("/metrics"), QByteArrayLiteral("/")})
        : m_port(port), m_rate(rate), m_paths(std::move(paths))
    {
    }

    void start()
    {
        m_thread = QThread::create([this] { run(); });
        m_thread->start();
    }
    // Stops after the request under way, which the main thread goes on answering meanwhile.
    void stop()
    {
        m_stop = true;
        serveUntilDone(m_thread, false);
    }
    int sent() const { return m_sent; }
    double seconds() const { return m_seconds; }
    int failed() const { return m_failed; }

private:
    void run()
    {
        std::vector<std::unique_ptr<HttpClient>> clients;
        for (int i = 0; i < 4; ++i) {
            clients.push_back(std::make_unique<HttpClient>());
            clients.back()->connect(m_port);
        }
        QElapsedTimer clock;
        clock.start();
        const double interval = 1000.0 / m_rate;
        while (!m_stop) {
            const double due = m_sent * interval;
            const double now = clock.nsecsElapsed() / 1e6;
            if (now < due) {
                QThread::usleep(qMax(50, int((due - now) * 1000)));
                continue;
            }
            if (clients[size_t(m_sent % 4)]->get(m_paths.at(m_sent % m_paths.size())) < 0)
                ++m_failed;
            ++m_sent;
        }
        m_seconds = clock.nsecsElapsed() / 1e9;
    }

    quint16 m_port;
    int m_rate;
    QList<QByteArray> m_paths;
    QThread *m_thread = nullptr;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_sent{0};
    std::atomic<int> m_failed{0};
    double m_seconds = 0;
};

std::vector<double> timeCycles(Engine &engine, int cycles)
{
    std::vector<double> ms;
    for (int i = 0; i < cycles; ++i) {
        engine.clock.advanceSeconds(60);
        QElapsedTimer wall;
        wall.start();
        RunTimerCycleToEnd(
            engine.pollTimer, [&engine] { engine.pollTimer.UpdateNow(); }, NoCycleLimit);
        ms.push_back(wall.nsecsElapsed() / 1e6);
    }
    return ms;
}

double mean(const std::vector<double> &v)
{
    return v.empty() ? 0 : std::accumulate(v.begin(), v.end(), 0.0) / v.size();
}

// A year of hourly statistics and the last day's readings, one a minute, for the sensor.
void writePast(const QString &dir, int sensorId, const QDateTime &now)
{
    QByteArray hours;
    for (QDateTime t = now.addDays(-365); t < now; t = t.addSecs(3600))
        hours += HourlyStatisticsRecord{DateTimeText(QDateTime(t.date(), QTime(t.time().hour(), 0))), 240.0f,
                                        2.0f, 6.0f, 60}
                     .encode();
    QFile statistics(SensorStatisticsPath(dir, sensorId));
    if (statistics.open(QIODevice::WriteOnly | QIODevice::Truncate))
        statistics.write(hours);
    QHash<QString, QByteArray> months;
    for (QDateTime t = now.addDays(-1); t < now; t = t.addSecs(60))
        months[SensorInstantaneousPath(dir, sensorId, QDate(t.date().year(), t.date().month(), 1))] +=
            InstantaneousRecord{DateTimeText(t), 4.0f}.encode();
    for (auto it = months.cbegin(); it != months.cend(); ++it) {
        QFile file(it.key());
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(it.value());
    }
}

// The sensors' past read a span back from now, in the server's own time (no HTTP).
double readRangeMs(const QString &dir, const QList<int> &ids, const QDateTime &now, int days)
{
    QElapsedTimer t;
    t.start();
    qsizetype steps = 0;
    for (const int id : ids)
        steps += qsizetype(ReadSensorRange(dir, id, now.addDays(-days), now, 0, 426).steps.size());
    const double ms = t.nsecsElapsed() / 1e6 / qMax<qsizetype>(1, ids.size());
    std::printf("  read %3d day(s) %s: %7.3f ms per sensor (%lld steps each)\n", days,
                days > 1 ? "from the hourly statistics" : "from every reading        ", ms,
                static_cast<long long>(steps / qMax<qsizetype>(1, ids.size())));
    return ms;
}

// The sensors' past as the history API answers it over HTTP, a year and a day.
void timeHistory(quint16 port, const QList<int> &ids, const QDateTime &now)
{
    for (const int days : {365, 1}) {
        std::vector<double> ms;
        qint64 bytes = 0;
        const QByteArray span = "?from=" + QUrl::toPercentEncoding(IsoTime(now.addDays(-days))) +
                                "&to=" + QUrl::toPercentEncoding(IsoTime(now));
        QThread *thread = QThread::create([&] {
            HttpClient client;
            if (!client.connect(port))
                return;
            for (const int id : ids) {
                QElapsedTimer t;
                t.start();
                bytes = client.get("/api/v1/sensors/" + QByteArray::number(id) + "/history" + span);
                ms.push_back(t.nsecsElapsed() / 1e6);
            }
        });
        serveUntilDone(thread);
        std::printf("  history API, %3d day(s): %7.2f ms mean over HTTP, %lld bytes\n", days, mean(ms),
                    static_cast<long long>(bytes));
    }
}

// Rounds of cycles without and with a load, one after the other, so that a change in the
// machine's load meets both alike.
void compareCycles(Engine &engine, const Options &o, quint16 port, int rate, const QList<QByteArray> &paths,
                   const char *what)
{
    std::vector<double> quiet, loaded;
    for (int round = 1; round <= o.rounds; ++round) {
        const std::vector<double> q = timeCycles(engine, o.cycles);
        Load load(port, rate, paths);
        load.start();
        const std::vector<double> l = timeCycles(engine, o.cycles);
        load.stop();
        std::printf("  round %d: poll cycle %7.1f ms without requests, %7.1f ms with %4.0f %s/s "
                    "(%d requests, %d failed): %+.1f %%\n",
                    round, mean(q), mean(l), load.sent() / qMax(0.001, load.seconds()), what, load.sent(),
                    load.failed(), 100.0 * (mean(l) - mean(q)) / qMax(0.001, mean(q)));
        quiet.insert(quiet.end(), q.begin(), q.end());
        loaded.insert(loaded.end(), l.begin(), l.end());
    }
    const double quietMs = mean(quiet), loadedMs = mean(loaded);
    std::printf("  all rounds: %.1f ms without %s, %.1f ms with, change %+.1f %%; load average %s\n", quietMs,
                what, loadedMs, 100.0 * (loadedMs - quietMs) / qMax(0.001, quietMs),
                loadAverage().constData());
}

Options parse(const QStringList &args)
{
    Options o;
    for (int i = 1; i < args.size(); ++i) {
        const QString &a = args.at(i);
        auto next = [&] { return i + 1 < args.size() ? args.at(++i).toInt() : 0; };
        if (a == QLatin1String("--requests"))
            o.requests = next();
        else if (a == QLatin1String("--rate"))
            o.rate = next();
        else if (a == QLatin1String("--cycles"))
            o.cycles = next();
        else if (a == QLatin1String("--rounds"))
            o.rounds = next();
        else if (a == QLatin1String("--charts"))
            o.charts = next();
        else if (a == QLatin1String("--chart-rate"))
            o.chartRate = next();
        else
            o.devices = a.toInt();
    }
    return o;
}
} // namespace

int main(int argc, char *argv[])
{
    // The event loop the program runs on.
    PreferQtEventLoop();
    QCoreApplication app(argc, argv);
    const Options o = parse(app.arguments());
    const long descriptorLimit = RaiseDescriptorLimit();
    SimBank sims(SecondOctet, 0);
    Engine engine;
    QString error;
    if (!sims.start(o.devices, error) || !engine.start(false, 1, error) ||
        !engine.addDevices(sims, o.devices, error)) {
        std::fprintf(stderr, "bench_web: %s\n", qPrintable(error));
        return 1;
    }
    WebService web(engine.state, engine.monitor->grid, engine.pollTimer, engine.monitor->database);
    ConnectRemoteAccess(web, engine.activation, engine.pollTimer, engine.monitor->outbox);
    WebIniSettings settings;
    settings.enabled = true;
    settings.port = 0;
    if (!web.Start(settings, error)) {
        std::fprintf(stderr, "bench_web: %s\n", qPrintable(error));
        return 1;
    }
    RunTimerCycleToEnd(
        engine.pollTimer, [&engine] { engine.pollTimer.UpdateNow(); }, NoCycleLimit); // fills the grid
    std::printf("bench_web: %d devices, %d sensor rows; descriptor limit %ld; load average %s\n", o.devices,
                engine.monitor->grid.rowCount(), descriptorLimit, loadAverage().constData());

    auto print = [](const QByteArray &path, const char *how, const Timing &t) {
        std::printf("  %-15s %6.2f ms mean, %6.2f ms median, %6.2f ms 95th percentile, %8lld bytes (%s)\n",
                    path.constData(), t.meanMs, t.p50Ms, t.p95Ms, static_cast<long long>(t.bytes), how);
    };
    for (const QByteArray path : {QByteArrayLiteral("/metrics"), QByteArrayLiteral("/"),
                                  QByteArrayLiteral("/api/v1/status"), QByteArrayLiteral("/healthz")}) {
        print(path, "over HTTP, rendered afresh", timeRequests(web.port(), path, o.requests, &web.source()));
        print(path, "over HTTP, a burst", timeRequests(web.port(), path, o.requests));
        timeRendering(web.source(), path);
    }

    compareCycles(engine, o, web.port(), o.rate, {QByteArrayLiteral("/metrics"), QByteArrayLiteral("/")},
                  "requests");

    // Sensors' past: the year from hourly statistics against the day from every reading, then
    // cycles beside a client asking for year charts.
    const QString dir = engine.state.programDirectory();
    const QDateTime now = engine.clock.now().addDays(1); // the cycles below move the clock on
    QList<int> ids;
    QList<QByteArray> charts;
    for (int row = 0; row < engine.monitor->grid.rowCount() && ids.size() < o.charts; ++row) {
        const int id = engine.monitor->grid.cellText(row, StatusGridModel::SensorIdColumn).toInt();
        if (id > 0) {
            writePast(dir, id, now);
            ids << id;
            charts << "/sensor/" + QByteArray::number(id) + "?span=1y";
        }
    }
    std::printf("sensors' past: %lld sensors with a year of hourly statistics and a day of readings\n",
                static_cast<long long>(ids.size()));
    const double yearMs = readRangeMs(dir, ids, now, 365);
    const double dayMs = readRangeMs(dir, ids, now, 1);
    std::printf("  a year costs %.2f times a day\n", yearMs / qMax(0.001, dayMs));
    timeHistory(web.port(), ids, now);
    compareCycles(engine, o, web.port(), o.chartRate, charts, "year charts");
    return 0;
}
