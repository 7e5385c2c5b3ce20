// One poll cycle (LogRoutine) over many simulated devices on loopback (127.100.x.y, any number of
// them up to 10,000), all answering, with ten named sensors each. Prints the wall time of the cycles and, per
// device, where the time goes: the network (the identify and readings transactions), the database and the
// data files, side by side with the same two exchanges made through the link alone and by a plain blocking
// POSIX-socket client. Then the memory (VmRSS at cycles 1, 10, 50 and 100, VmHWM) and the CPU
// time of the whole run.
//
// The split is taken from the outside, with no hook in the engine: the cycle writes the status
// list between its devices, and every write is stamped as it happens.
//   previous outcome line -> last download line: the two transactions;
//   last download line -> outcome line: the device's own work (back on line, sensor list, device
//   fields, the data files, the alarm queries, the settings file, status lines and grid).
// The grid tells its views only of cells that changed, so it no longer marks each sensor's steps;
// where the own work goes is for a profile (perf record) and for the call counts below.
// The simulated devices run on a thread of their own with their own event loop, so the cycle's
// waits on the UI thread are what they are in the program. The clock is a manual one, moved 60 s
// before each cycle, so the hourly statistics records roll over as they would. The readings are
// frozen within limits with alarm bytes 0, and unless --mail is given the devices have no alarm
// addresses, so no mail goes out (no mail server is needed).
//
// The devices' exchanges overlap ([poll] parallel, 8 unless --parallel says otherwise); the
// "network" figure is then the time the cycle waited for a device's replies after it had done
// with the device before, not the length of its exchange. --parallel 1 times the exchanges one
// after another.
//
//   bench_pollcycle [devices, default 200] [cycles, default 100] [--backup] [--alarms N]
//                   [--parallel P] [--mail working|silent] [--mqtt up|down] [--channels N]
//                   [--pause MS] [--scrape-metrics]
//     --backup:     a second data directory (LogDirectory), so every file is written twice
//     --alarms N:   port 1 of the first N devices goes into alarm in odd cycles and out of it in
//                   even ones (alarm records opened and ended: database writes)
//     --parallel P: device exchanges the cycle overlaps (1 to 64)
//     --mail:       the devices have an alarm address and every alarm e-mail is queued in the
//                   outbox for a real SMTP server (aiosmtpd) that works, or that takes
//                   connections and never answers (server time-out 30 s); the outbox sends while
//                   the cycles run
//     --channels N: N notification channels (webhook, ntfy, slack, teams, alertmanager, then
//                   webhooks) take every event; the first posts to a receiver that never answers,
//                   the others to one that takes everything (both in a process of their own)
//     --pause MS:   the events run for MS between cycles (not counted in them), as in the pause the
//                   poll timer leaves between cycles in service (at least its 5 s tick); without
//                   it the cycles run back to back and background work shares their time
//     --calls-cycles N: the counting runs make N cycles and count cycles 2 to N (default 6)
//     --no-calls:   no counting runs
//     --scrape-metrics: the web server runs, and a client fetches /metrics over HTTP once a second
//                   during the even cycles; the longest stall of the UI thread is printed for the
//                   cycles with and without it, beside the answers' times and the server's own
//                   time for a snapshot and its text
// After the figures, the file-system calls per reading: the benchmark runs itself again, twice
// (without and with the backup directory), under `strace -f -y`, and counts the calls made
// between the start of cycle 2 and the end of the last cycle on the sensors' data files, on the
// database and its journals, and on the settings files. The counting runs' devices stand on
// 127.101.x.y, beside those of the run that started them.
// The benchmark raises its own descriptor limit to the hard limit.
// Prints figures; never passes or fails. The machine's load average is printed with them: on a
// busy machine every wait for the other thread or the disk stretches.

#include "BenchCalls.h"
#include "BenchHttpClient.h"
#include "BenchMemory.h"
#include "BenchPlant.h"
#include "BenchReceivers.h"
#include "BenchStats.h"

#include <acquisition/Monitor.h>
#include <acquisition/SensorDataFiles.h>
#include <core/Activation.h>
#include <core/Clock.h>
#include <core/ErrorLog.h>
#include <core/EventLoopChoice.h>
#include <core/PollTimer.h>
#include <core/ProgramState.h>
#include <core/Prompts.h>
#include <core/StatusList.h>
#include <link/DeviceCommands.h>
#include <mqtt/MqttPublisher.h>
#include <notify/Notifier.h>
#include <web/MetricsText.h>
#include <web/WebService.h>

#include <SimDevice.h>

#include <support/CycleRun.h>
#include <support/MqttTestBroker.h>
#include <support/SmtpTestServer.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace {

using namespace bench;

constexpr int SecondOctet = 100;
constexpr int CountingSecondOctet = 101;
constexpr int MaxDevices = 10000;
constexpr int Port = DevicePort;
constexpr int ComparisonPasses = 5;

struct Options {
    int devices = 200;
    int cycles = 100;
    bool backup = false;
    int alarmDevices = 0;
    int parallel = PollIniSettings().parallel;
    QString mail; // empty, "working" or "silent"
    QString mqtt; // empty, "up" or "down"
    int channels = 0;
    int pauseMs = 0;
    int callsCycles = 6;
    bool calls = true;
    bool scrapeMetrics = false;
    bool countPass = false; // this run is a counting run under strace
};

// --- Stamps of a running cycle ---

// Where the devices' time went, summed over the devices of one or more cycles (nanoseconds).
struct Split {
    int devices = 0;
    qint64 network = 0; // identify + readings transactions
    qint64 own = 0;     // everything else the cycle did for the device
    double perDeviceMs(qint64 ns) const { return devices > 0 ? ns / 1e6 / devices : 0; }

    Split &operator+=(const Split &s)
    {
        devices += s.devices;
        network += s.network;
        own += s.own;
        return *this;
    }
};

class CycleProbe {
public:
    explicit CycleProbe(const StatusList &status) : m_status(status)
    {
        m_events.reserve(8192);
        m_clock.start();
        QObject::connect(&status, &QAbstractItemModel::dataChanged, &m_context,
                         [this](const QModelIndex &topLeft) { statusLine(topLeft.row()); });
        QObject::connect(&status, &QAbstractItemModel::rowsInserted, &m_context,
                         [this](const QModelIndex &, int first) { statusLine(first); });
    }

    void begin()
    {
        m_events.clear();
        m_start = m_clock.nsecsElapsed();
    }

    // The split of the cycle since begin(); each device's own work (all but the network) is
    // appended to ownPerDevice.
    Split split(std::vector<qint64> &ownPerDevice) const;

private:
    enum class Mark { Downloaded, Outcome };
    struct Event {
        Mark mark;
        qint64 ns;
    };

    void stamp(Mark mark) { m_events.push_back({mark, m_clock.nsecsElapsed()}); }
    void statusLine(int row)
    {
        const QString &line = m_status.lines().at(row);
        if (line.startsWith(QLatin1String("Last download data at: ")))
            stamp(Mark::Downloaded);
        else if (line.startsWith(QLatin1String("Communication with server ")))
            stamp(Mark::Outcome);
    }

    const StatusList &m_status;
    QObject m_context;
    QElapsedTimer m_clock;
    qint64 m_start = 0;
    std::vector<Event> m_events;
};

Split CycleProbe::split(std::vector<qint64> &ownPerDevice) const
{
    Split s;
    qint64 last = m_start; // the previous stamp
    for (const Event &e : m_events) {
        const qint64 step = e.ns - last;
        last = e.ns;
        if (e.mark == Mark::Downloaded) {
            s.network += step;
        } else {
            s.own += step;
            ownPerDevice.push_back(step);
            ++s.devices;
        }
    }
    return s;
}

// --- The same exchanges outside a cycle ---

const QByteArray &command(int i)
{
    static const QByteArray commands[2] = {BuildCommand(DeviceCommands().IdentifyCommand),
                                           BuildCommand(DeviceCommands().DataCommand)};
    return commands[i];
}

// One exchange the plain way: connect, send 60 bytes, read 60, close.
bool plainExchange(const sockaddr_in &where, const QByteArray &command)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    bool ok = ::connect(fd, reinterpret_cast<const sockaddr *>(&where), sizeof where) == 0 &&
              ::send(fd, command.constData(), size_t(command.size()), 0) == command.size();
    char reply[60];
    int got = 0;
    while (ok && got < 60) {
        const ssize_t n = ::recv(fd, reply + got, size_t(60 - got), 0);
        ok = n > 0;
        got += ok ? int(n) : 0;
    }
    ::close(fd);
    return ok && std::memcmp(reply, command.constData(), 4) == 0;
}

// The identify and readings exchanges with every device in turn, by the plain client or (with
// a link) the program's link; nanoseconds per device.
double exchangePass(DeviceLink *link, const SimBank &sims, int devices, int &failures)
{
    QElapsedTimer clock;
    clock.start();
    for (int n = 1; n <= devices; ++n) {
        sockaddr_in where{};
        where.sin_family = AF_INET;
        where.sin_port = htons(Port);
        inet_pton(AF_INET, sims.address(n).toLatin1().constData(), &where.sin_addr);
        for (int i = 0; i < 2; ++i) {
            QByteArray reply;
            const bool ok = link ? link->ReadFromQM(sims.address(n), Port, command(i), reply, 60, QString())
                                 : plainExchange(where, command(i));
            failures += ok ? 0 : 1;
        }
    }
    return double(clock.nsecsElapsed()) / devices;
}

// --- Memory and CPU ---

struct CpuTime {
    double user = 0;
    double system = 0;

    // RUSAGE_SELF: the whole process (simulators included); RUSAGE_THREAD: the calling thread.
    static CpuTime now(int who)
    {
        rusage usage{};
        getrusage(who, &usage);
        return {usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6,
                usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6};
    }
    CpuTime since(const CpuTime &start) const { return {user - start.user, system - start.system}; }
};

// --- /metrics scraped during the cycles ---

// The web server over the engine and a client fetching /metrics once a second during every
// second cycle (the even ones), so that cycles with and without the scraping take turns. After
// each cycle the server reads what it shows from the database, as the program does at a cycle's
// end.
class MetricsScrape {
public:
    explicit MetricsScrape(Engine &engine)
        : m_web(engine.state, engine.monitor->grid, engine.pollTimer, engine.monitor->database)
    {
    }

    bool start(QString &error)
    {
        WebIniSettings settings;
        settings.enabled = true;
        settings.port = 0;
        if (!m_web.Start(settings, error))
            return false;
        m_scraper = std::make_unique<Scraper>(m_web.port(), QByteArrayLiteral("/metrics"));
        m_scraper->start();
        return true;
    }

    static bool scraped(int cycle) { return cycle % 2 == 0; }
    void beforeCycle(int cycle) { m_scraper->setActive(scraped(cycle)); }
    // The cycle's longest stall; the scrape under way is answered before the next cycle.
    void afterCycle(int cycle, double stallMs)
    {
        m_scraper->setActive(false);
        if (!QTest::qWaitFor([this] { return !m_scraper->busy(); }, 60000))
            std::fprintf(stderr, "a /metrics answer took over a minute\n");
        double &longest = scraped(cycle) ? withMs : withoutMs;
        if (cycle > 1)
            longest = std::max(longest, stallMs);
        QElapsedTimer refresh;
        refresh.start();
        m_web.Refresh();
        refreshMs = std::max(refreshMs, refresh.nsecsElapsed() / 1e6);
    }

    void print();

    double withMs = 0, withoutMs = 0; // the longest stall of cycles 2 on with and without scraping
    double refreshMs = 0;

private:
    WebService m_web;
    std::unique_ptr<Scraper> m_scraper;
};

// The stalls, the answers the client saw, and the server's own time for the answer: the
// snapshot of what the views show and its rendering, taken apart.
void MetricsScrape::print()
{
    std::vector<double> answers = m_scraper->takeTimes();
    std::vector<double> snapshotMs, renderMs;
    for (int i = 0; i < 10; ++i) {
        QElapsedTimer t;
        t.start();
        const WebSnapshot snapshot = m_web.source().snapshot();
        snapshotMs.push_back(t.nsecsElapsed() / 1e6);
        t.start();
        MetricsText(snapshot);
        renderMs.push_back(t.nsecsElapsed() / 1e6);
    }
    std::printf("longest time the UI thread ran no event in cycles 2 on: %.1f ms without scraping, %.1f ms "
                "with /metrics scraped once a second (goal under 50 ms)\n",
                withoutMs, withMs);
    std::printf("/metrics: %d answers during the cycles, median %.1f ms, slowest %.1f ms over HTTP, %lld "
                "bytes, %d failed; in the server a snapshot %.1f ms and its text %.1f ms (medians of 10); "
                "the server's refresh after a cycle %.1f ms at most\n",
                int(answers.size()), Median(answers),
                answers.empty() ? 0.0 : *std::max_element(answers.begin(), answers.end()),
                static_cast<long long>(m_scraper->bytes()), m_scraper->failed(), Median(snapshotMs),
                Median(renderMs), refreshMs);
}

// --- The run ---

double threadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

struct RunFigures {
    Split first, steady;
    double firstMs = 0, steadyMs = 0, slowestMs = 0;
    std::vector<qint64> steadyCycleNs; // every cycle from the second on
    std::vector<qint64> ownPerDevice;  // steady cycles only
    std::vector<std::pair<int, long>> rss;
    long setupPeakKb = 0, cyclesPeakKb = 0;
    // The longest stretch in which the UI thread ran no event (a 2 ms heartbeat timer's gap).
    double firstStallMs = 0, steadyStallMs = 0; // cycle 1; the longest of cycles 2 on
    struct StallPlace {
        int cycle = 0;
        double startMs = 0, cycleMs = 0, cpuMs = 0;
    } firstStallAt, steadyStallAt; // where cycle 1's longest began; where the longest of cycles 2 on
    // The stretch between two events in which the thread itself ran longest (on a loaded
    // machine the longest stretch is mostly waiting for a core), in cycles 2 on.
    struct Busiest {
        int cycle = 0;
        double startMs = 0, wallMs = 0, cpuMs = 0;
    } steadyBusiest;
    CpuTime process, ui;
};

RunFigures runCycles(Engine &engine, SimBank &sims, const Options &options, MetricsScrape *scrape = nullptr)
{
    CycleProbe probe(engine.status);
    RunFigures f;
    std::vector<qint64> firstOwn;
    // Touched now, so filling it does not show as growth of the program's memory.
    f.ownPerDevice.resize(size_t(options.devices) * size_t(options.cycles));
    f.ownPerDevice.clear();
    f.setupPeakKb = statusKb("VmHWM");
    resetPeakMemory();
    const CpuTime processStart = CpuTime::now(RUSAGE_SELF);
    const CpuTime uiStart = CpuTime::now(RUSAGE_THREAD);
    // A window's thread answers its events between the cycle's steps: the heartbeat measures the
    // longest step.
    QTimer heartbeat;
    QElapsedTimer sinceBeat;
    bool inCycle = false;
    double cycleStallMs = 0;
    // Where in its cycle the longest stall began, in ms from the cycle's start.
    double stallAtMs = 0;
    // Of the longest stall, the time the thread ran (on a busy machine the rest is the time it
    // waited for a core).
    double stallCpuMs = 0;
    double cpuAtBeatMs = threadCpuMs();
    RunFigures::Busiest busiest; // of the running cycle
    QElapsedTimer sinceCycleStart;
    const auto beat = [&] {
        const double cpuMs = threadCpuMs();
        if (inCycle && sinceBeat.isValid() && sinceBeat.nsecsElapsed() / 1e6 > cycleStallMs) {
            cycleStallMs = sinceBeat.nsecsElapsed() / 1e6;
            stallAtMs = (sinceCycleStart.nsecsElapsed() - sinceBeat.nsecsElapsed()) / 1e6;
            stallCpuMs = cpuMs - cpuAtBeatMs;
        }
        if (inCycle && sinceBeat.isValid() && cpuMs - cpuAtBeatMs > busiest.cpuMs)
            busiest = {0, (sinceCycleStart.nsecsElapsed() - sinceBeat.nsecsElapsed()) / 1e6,
                       sinceBeat.nsecsElapsed() / 1e6, cpuMs - cpuAtBeatMs};
        cpuAtBeatMs = cpuMs;
        sinceBeat.start();
    };
    heartbeat.setInterval(2);
    QObject::connect(&heartbeat, &QTimer::timeout, beat);
    heartbeat.start();
    for (int cycle = 1; cycle <= options.cycles; ++cycle) {
        if (options.alarmDevices > 0)
            sims.setAlarm(options.alarmDevices, cycle % 2 == 1);
        engine.clock.advanceSeconds(60);
        if (options.countPass && cycle == 2)
            markBegin();
        if (scrape)
            scrape->beforeCycle(cycle);
        probe.begin();
        QElapsedTimer wall;
        wall.start();
        inCycle = true;
        cycleStallMs = 0;
        busiest = {};
        sinceBeat.start();
        // The thread's time is counted from here too, not from the last beat before the cycle.
        cpuAtBeatMs = threadCpuMs();
        sinceCycleStart.start();
        // Waited for to its end however long it takes (under strace a cycle of thousands of
        // devices takes minutes): a cycle cut short would run on into the next one.
        if (!RunCycleToEnd(engine.monitor->cycle, 3600 * 1000))
            std::fprintf(stderr, "cycle %d did not end within an hour\n", cycle);
        beat();
        inCycle = false;
        const double ms = wall.nsecsElapsed() / 1e6;
        if (cycle == 1) {
            f.firstStallMs = cycleStallMs;
            f.firstStallAt = {cycle, stallAtMs, ms, stallCpuMs};
        } else if (cycleStallMs > f.steadyStallMs) {
            f.steadyStallMs = cycleStallMs;
            f.steadyStallAt = {cycle, stallAtMs, ms, stallCpuMs};
        }
        if (cycle > 1 && busiest.cpuMs > f.steadyBusiest.cpuMs)
            f.steadyBusiest = {cycle, busiest.startMs, busiest.wallMs, busiest.cpuMs};
        if (cycle == 1) {
            f.first = probe.split(firstOwn);
            f.firstMs = ms;
        } else {
            f.steady += probe.split(f.ownPerDevice);
            f.steadyMs += ms / (options.cycles - 1);
            f.slowestMs = std::max(f.slowestMs, ms);
            f.steadyCycleNs.push_back(qint64(ms * 1e6));
        }
        if (scrape)
            scrape->afterCycle(cycle, cycleStallMs);
        sims.clearTraffic();
        if (options.pauseMs > 0)
            QTest::qWait(options.pauseMs);
        if (cycle == 1 || cycle == 10 || cycle == 50 || cycle == 100 || cycle == options.cycles)
            f.rss.emplace_back(cycle, statusKb("VmRSS"));
    }
    if (options.countPass)
        markEnd();
    heartbeat.stop();
    f.cyclesPeakKb = statusKb("VmHWM");
    f.process = CpuTime::now(RUSAGE_SELF).since(processStart);
    f.ui = CpuTime::now(RUSAGE_THREAD).since(uiStart);
    return f;
}

// --- Report ---

void printSplit(const char *label, double cycleMs, const Split &s)
{
    std::printf("%-24s %9.1f %9.3f %9.3f\n", label, cycleMs, s.perDeviceMs(s.network), s.perDeviceMs(s.own));
}

double percentileMs(std::vector<qint64> values, double fraction)
{
    if (values.empty())
        return 0;
    const auto at = values.begin() + std::ptrdiff_t(fraction * double(values.size() - 1));
    std::nth_element(values.begin(), at, values.end());
    return *at / 1e6;
}

void printCycles(const RunFigures &f, const Options &options)
{
    std::printf("%-24s %9s %9s %9s\n", "", "cycle ms", "network", "own");
    std::printf("%-24s %9s %9s %9s\n", "", "", "ms/dev", "ms/dev");
    printSplit("cycle 1 (new files)", f.firstMs, f.first);
    if (options.cycles < 2)
        return;
    printSplit(qPrintable(QStringLiteral("cycles 2-%1, mean").arg(options.cycles)), f.steadyMs, f.steady);
    std::printf("%-24s %9.1f\n", "slowest cycle", f.slowestMs);
    const auto over2s = std::count_if(f.steadyCycleNs.begin(), f.steadyCycleNs.end(),
                                      [](qint64 ns) { return ns > 2000 * qint64(1000000); });
    std::printf("cycles 2-%d: median %.1f ms, 90th percentile %.1f ms; %d of %d over 2000 ms\n",
                options.cycles, percentileMs(f.steadyCycleNs, 0.5), percentileMs(f.steadyCycleNs, 0.9),
                int(over2s), int(f.steadyCycleNs.size()));
    std::printf(
        "own work per device in cycles 2-%d: median %.3f ms, 99th percentile %.3f ms, slowest %.3f ms",
        options.cycles, percentileMs(f.ownPerDevice, 0.5), percentileMs(f.ownPerDevice, 0.99),
        percentileMs(f.ownPerDevice, 1.0));
    const auto slowest = std::max_element(f.ownPerDevice.begin(), f.ownPerDevice.end());
    if (slowest != f.ownPerDevice.end()) {
        const auto at = std::distance(f.ownPerDevice.begin(), slowest);
        std::printf(" (device %ld of cycle %ld)", long(at % options.devices) + 1,
                    long(at / options.devices) + 2);
    }
    std::printf("\n");
    std::printf(
        "longest time the UI thread ran no event during a cycle: cycle 1 %.1f ms, cycles 2-%d %.1f ms "
        "(goal under 50 ms)\n",
        f.firstStallMs, options.cycles, f.steadyStallMs);
    if (f.firstStallAt.cycle > 0)
        std::printf("  in cycle 1 the longest began %.1f ms into the cycle; the thread ran %.1f ms of it\n",
                    std::max(0.0, f.firstStallAt.startMs), f.firstStallAt.cpuMs);
    if (f.steadyStallAt.cycle > 0)
        std::printf(
            "  the longest began %.1f ms into cycle %d, which took %.1f ms; the thread ran %.1f ms of it\n",
            std::max(0.0, f.steadyStallAt.startMs), f.steadyStallAt.cycle, f.steadyStallAt.cycleMs,
            f.steadyStallAt.cpuMs);
    if (f.steadyBusiest.cycle > 0)
        std::printf(
            "  the thread ran longest between two events (cycles 2-%d): %.1f ms of thread CPU in %.1f "
            "ms, %.1f ms into cycle %d\n",
            options.cycles, f.steadyBusiest.cpuMs, f.steadyBusiest.wallMs,
            std::max(0.0, f.steadyBusiest.startMs), f.steadyBusiest.cycle);
}

void printComparison(Engine &engine, const SimBank &sims, const Options &options)
{
    int linkFailures = 0, plainFailures = 0;
    double linkNs = 0, plainNs = 0;
    for (int pass = 0; pass < ComparisonPasses; ++pass) {
        plainNs += exchangePass(nullptr, sims, options.devices, plainFailures) / ComparisonPasses;
        linkNs += exchangePass(&engine.monitor->link, sims, options.devices, linkFailures) / ComparisonPasses;
    }
    const double devices = options.devices;
    std::printf("%-24s %9.1f %9.3f   (the same exchanges, %d passes, %d failed)\n", "link alone",
                linkNs * devices / 1e6, linkNs / 1e6, ComparisonPasses, linkFailures);
    std::printf("%-24s %9.1f %9.3f   (%d passes, %d failed)\n", "plain blocking client",
                plainNs * devices / 1e6, plainNs / 1e6, ComparisonPasses, plainFailures);
}

int okLines(const StatusList &status)
{
    return int(std::count_if(status.lines().begin(), status.lines().end(), [](const QString &line) {
        return line.startsWith(QLatin1String("Communication with server ")) &&
               line.endsWith(QLatin1String(": OK"));
    }));
}

void printGoalsAndResources(Engine &engine, const RunFigures &f, const Options &options)
{
    const Split &s = options.cycles > 1 ? f.steady : f.first;
    const double slowest = options.cycles > 1 ? f.slowestMs : f.firstMs;
    std::printf(
        "\ngoals: whole cycle under 2000 ms: %s (slowest %.0f ms); own work under 0.25 ms per device: %s "
        "(mean %.3f ms)\n",
        slowest < 2000 ? "met" : "NOT met", slowest, s.perDeviceMs(s.own) < 0.25 ? "met" : "NOT met",
        s.perDeviceMs(s.own));
    std::printf("devices OK in the last cycle: %d of %d\n", okLines(engine.status), options.devices);
    std::printf("\nmemory (kB):");
    for (const auto &[cycle, kb] : f.rss)
        std::printf("  VmRSS at cycle %d: %ld", cycle, kb);
    std::printf("\n             VmHWM during the cycles: %ld (during set-up: %ld)\n", f.cyclesPeakKb,
                f.setupPeakKb);
    std::printf("CPU over %d cycles: process %.2f s user + %.2f s system; UI thread %.2f s user + %.2f s "
                "system (%.1f ms per cycle)\n",
                options.cycles, f.process.user, f.process.system, f.ui.user, f.ui.system,
                (f.ui.user + f.ui.system) * 1000 / options.cycles);
    QList<ErrorRecord> logged;
    engine.monitor->database.ErrorsNewestFirst(logged);
    QList<HourlyStatisticsRecord> hours;
    ReadHourlyStatistics(SensorStatisticsPath(engine.state.programDirectory(), 1), hours);
    int alarms = 0;
    engine.monitor->database.CountAlarms(alarms);
    std::printf(
        "error log lines: %d; alarm records: %d; hourly records of sensor 1: %d; load average now: %s\n",
        int(logged.size()), alarms, int(hours.size()), loadAverage().constData());
}

// The counting runs: this benchmark again under strace, without and with the backup directory.
void printCalls(const Options &options)
{
    const int readings = (options.callsCycles - 1) * options.devices * SensorsPerDevice;
    std::printf("\nfile-system calls per reading in cycles 2-%d (strace -f -y, in runs of their own of %d "
                "cycles):\n",
                options.callsCycles, options.callsCycles);
    std::fflush(stdout);
    for (const bool backup : {false, true}) {
        QStringList arguments{QString::number(options.devices), QString::number(options.callsCycles),
                              QStringLiteral("--count-pass"), QStringLiteral("--parallel"),
                              QString::number(options.parallel)};
        if (backup)
            arguments << QStringLiteral("--backup");
        const CallCounts counts =
            countCalls(arguments, QDir::temp().filePath(QStringLiteral("bench_pollcycle-strace.log")));
        std::printf("  backup directory %-4s", backup ? "on:" : "off:");
        if (!counts.error.isEmpty()) {
            std::printf(" not counted: %s\n", qPrintable(counts.error));
            continue;
        }
        qint64 all = 0;
        for (const QString &kind : countedKinds())
            all += counts.total(kind);
        std::printf(" %.2f", double(all) / readings);
        for (const QString &kind : countedKinds()) {
            std::printf("; %s %.2f", qPrintable(kind), double(counts.total(kind)) / readings);
            QStringList calls;
            const QMap<QString, qint64> byCall = counts.byKind.value(kind);
            for (auto c = byCall.begin(); c != byCall.end(); ++c)
                if (double(*c) / readings >= 0.005)
                    calls << QStringLiteral("%1 %2").arg(c.key()).arg(double(*c) / readings, 0, 'f', 2);
            if (!calls.isEmpty())
                std::printf(" (%s)", qPrintable(calls.join(QStringLiteral(", "))));
        }
        std::printf("\n");
        std::fflush(stdout);
    }
}

// The mail server of --mail, and the engine's settings pointed at it.
std::unique_ptr<SmtpTestServer> startMail(Engine &engine, const QString &mode, QString &error)
{
    SmtpTestServer::Options options;
    options.mode =
        mode == QLatin1String("silent") ? SmtpTestServer::Mode::Silent : SmtpTestServer::Mode::Smtp;
    options.host = QStringLiteral("127.%1.255.250").arg(SecondOctet);
    options.port = 2540;
    auto smtp = std::make_unique<SmtpTestServer>(options);
    if (!smtp->start()) {
        error = QStringLiteral("the SMTP server did not start: ") + smtp->errorOutput();
        return nullptr;
    }
    ConfigRecord &c = engine.state.Config;
    c.SMTPHost = options.host;
    c.SMTPPort = qint16(options.port);
    c.SMTPTimeOut = 30;
    c.FromAddress = QStringLiteral("tallyport@example.com");
    c.AdminEmailAddress = QStringLiteral("admin@example.com");
    if (!engine.activation.configFile().SaveConfiguration()) {
        error = QStringLiteral("the settings file could not be written");
        return nullptr;
    }
    engine.monitor->mail.SetUpMailManager();
    return smtp;
}

// What the outbox did while the cycles ran.
void printMail(Engine &engine, SmtpTestServer &smtp, const QString &mode)
{
    int alarms = 0;
    engine.monitor->database.CountAlarms(alarms);
    std::printf("mail (%s server): %d alarm e-mails queued, %d received by the server during the run, %d "
                "waiting in the outbox at the end (%s)\n",
                qPrintable(mode), alarms, int(smtp.messages().size()), engine.monitor->outbox.waitingCount(),
                engine.monitor->outbox.attemptRunning() ? "an attempt running" : "none running");
}

// The MQTT publisher of --mqtt, wired to the cycle, and for "up" a broker on loopback.
struct MqttPlant {
    std::unique_ptr<MqttTestBroker> broker;
    std::unique_ptr<MqttPublisher> publisher;
};

bool startMqtt(Engine &engine, const QString &mode, MqttPlant &plant, QString &error)
{
    const QString host = QStringLiteral("127.0.189.1");
    MqttIniSettings settings;
    settings.enabled = true;
    settings.host = host;
    settings.port = mode == QLatin1String("up") ? 18839 : 18838; // nothing listens on 18838
    if (mode == QLatin1String("up")) {
        plant.broker = std::make_unique<MqttTestBroker>(host, quint16(settings.port));
        if (!plant.broker->start(error))
            return false;
    }
    plant.publisher =
        std::make_unique<MqttPublisher>(engine.state, engine.monitor->grid, engine.monitor->database);
    ConnectMqtt(*plant.publisher, engine.activation, engine.monitor->cycle);
    plant.publisher->Apply(settings);
    if (mode == QLatin1String("up") &&
        !QTest::qWaitFor([&] { return plant.publisher->isConnected(); }, 5000)) {
        error = QStringLiteral("the publisher did not connect to the broker");
        return false;
    }
    return true;
}

// The notification channels of --channels, every one taking every event.
bool startChannels(Engine &engine, int count, Receivers &receivers, QString &error)
{
    const QString host = QStringLiteral("127.0.189.2");
    const int port = 18850;
    if (!receivers.start(host, port, error))
        return false;
    const QStringList types = {QStringLiteral("webhook"), QStringLiteral("ntfy"), QStringLiteral("slack"),
                               QStringLiteral("teams"), QStringLiteral("alertmanager")};
    for (int i = 0; i < count; ++i) {
        NotifyChannelSettings c;
        c.name = QStringLiteral("channel%1").arg(i + 1);
        c.type = types.value(i, types.first());
        c.url = QStringLiteral("http://%1:%2/").arg(host).arg(i == 0 ? port + 1 : port);
        engine.state.Ini.channels.append(c);
    }
    engine.monitor->notifier.Resume();
    return true;
}

void printChannels(Engine &engine)
{
    for (const QString &name : engine.monitor->notifier.channelNames()) {
        const std::optional<ChannelStatus> q = engine.monitor->notifier.channel(name);
        std::printf("channel %s (%s): %d waiting at the end, %d given up\n", qPrintable(name),
                    qPrintable(q->channel().type), q->waitingCount(), q->failedTotal());
    }
}

Options readOptions(const QStringList &args)
{
    Options o;
    QStringList numbers;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--backup"))
            o.backup = true;
        else if (args[i] == QLatin1String("--alarms") && i + 1 < args.size())
            o.alarmDevices = std::max(0, args[++i].toInt());
        else if (args[i] == QLatin1String("--mail") && i + 1 < args.size())
            o.mail = args[++i];
        else if (args[i] == QLatin1String("--mqtt") && i + 1 < args.size())
            o.mqtt = args[++i];
        else if (args[i] == QLatin1String("--channels") && i + 1 < args.size())
            o.channels = std::clamp(args[++i].toInt(), 0, 20);
        else if (args[i] == QLatin1String("--pause") && i + 1 < args.size())
            o.pauseMs = std::clamp(args[++i].toInt(), 0, 60000);
        else if (args[i] == QLatin1String("--calls-cycles") && i + 1 < args.size())
            o.callsCycles = std::clamp(args[++i].toInt(), 2, 100);
        else if (args[i] == QLatin1String("--no-calls"))
            o.calls = false;
        else if (args[i] == QLatin1String("--scrape-metrics"))
            o.scrapeMetrics = true;
        else if (args[i] == QLatin1String("--count-pass"))
            o.countPass = true;
        else if (args[i] == QLatin1String("--parallel") && i + 1 < args.size())
            o.parallel = std::clamp(args[++i].toInt(), 1, PollIniSettings::MaxParallel);
        else
            numbers.append(args[i]);
    }
    if (numbers.size() > 0)
        o.devices = std::clamp(numbers[0].toInt(), 1, MaxDevices);
    if (numbers.size() > 1)
        o.cycles = std::max(1, numbers[1].toInt());
    return o;
}

} // namespace

int main(int argc, char **argv)
{
    // The event loop the program runs on.
    PreferQtEventLoop();
    QCoreApplication app(argc, argv);
    const Options options = readOptions(app.arguments().mid(1));
    const long descriptorLimit = RaiseDescriptorLimit();
    QString error;
    SimBank sims(options.countPass ? CountingSecondOctet : SecondOctet, 0);
    Engine engine;
    if (!options.mail.isEmpty() && options.mail != QLatin1String("working") &&
        options.mail != QLatin1String("silent")) {
        std::fprintf(stderr, "--mail takes working or silent\n");
        return 2;
    }
    if (!options.mqtt.isEmpty() && options.mqtt != QLatin1String("up") &&
        options.mqtt != QLatin1String("down")) {
        std::fprintf(stderr, "--mqtt takes up or down\n");
        return 2;
    }
    MqttPlant mqtt;
    Receivers receivers;
    const QString emailList = options.mail.isEmpty() ? QString() : QStringLiteral("alarms@example.com,");
    std::unique_ptr<SmtpTestServer> smtp;
    if (!sims.start(options.devices, error) || !engine.start(options.backup, 3, error) ||
        !engine.addDevices(sims, options.devices, error, emailList) ||
        (!options.mail.isEmpty() && !(smtp = startMail(engine, options.mail, error))) ||
        (!options.mqtt.isEmpty() && !startMqtt(engine, options.mqtt, mqtt, error)) ||
        (options.channels > 0 && !startChannels(engine, options.channels, receivers, error))) {
        std::fprintf(stderr, "set-up failed: %s\n", qPrintable(error));
        return 1;
    }
    engine.state.Ini.poll.parallel = options.parallel;
    if (options.countPass) {
        runCycles(engine, sims, options);
        return 0;
    }
    std::printf(
        "poll cycle: %d devices (%s) x %d named sensors on loopback, %d cycles 60 s apart (%s)%s; "
        "port 1 of %d devices in and out of alarm%s; %d exchanges at a time; %d notification channels; "
        "descriptor limit %ld; %s event loop; load average %s\n",
        options.devices, qPrintable(sims.modelText()), SensorsPerDevice, options.cycles,
        options.pauseMs > 0 ? qPrintable(QStringLiteral("%1 ms between them").arg(options.pauseMs))
                            : "back to back",
        options.backup ? ", data files also in a backup directory" : "", options.alarmDevices,
        options.mail.isEmpty() ? "" : qPrintable(", alarm e-mails to a " + options.mail + " server"),
        options.parallel, options.channels, descriptorLimit,
        qEnvironmentVariableIsEmpty("QT_NO_GLIB") ? "GLib's" : "Qt's own", loadAverage().constData());
    std::fflush(stdout);
    std::unique_ptr<MetricsScrape> scrape;
    if (options.scrapeMetrics) {
        scrape = std::make_unique<MetricsScrape>(engine);
        if (!scrape->start(error)) {
            std::fprintf(stderr, "the web server did not start: %s\n", qPrintable(error));
            return 1;
        }
    }
    const RunFigures figures = runCycles(engine, sims, options, scrape.get());
    printCycles(figures, options);
    if (scrape)
        scrape->print();
    printComparison(engine, sims, options);
    printGoalsAndResources(engine, figures, options);
    if (smtp)
        printMail(engine, *smtp, options.mail);
    if (options.channels > 0)
        printChannels(engine);
    if (mqtt.publisher) {
        const QStringList line = engine.status.lines().filter(MqttPublisher::StatusKey);
        std::printf("mqtt (broker %s): %s\n", qPrintable(options.mqtt), qPrintable(line.value(0)));
    }
    if (options.calls)
        printCalls(options);
    return 0;
}
