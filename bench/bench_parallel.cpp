// Poll cycle time against [poll] parallel, side by side in one run: simulated devices on loopback
// with ten named sensors each, first all answering, then with some that accept the connection and
// never answer and some that refuse it. The program's own timings (5 s connect, 2 s close, 2 s
// pause after a failed attempt), TCPTimeOut 2 s and one attempt per device, as a fresh settings
// file has them; at those a silent device costs 4 s and a refusing one 2 s when the devices are
// visited one after another.
//
//   bench_parallel [devices, default 200] [--silent N, default 20] [--refusing N, default 10]
//                  [--answering-cycles N, default 5] [--dead-cycles N, default 5]
//                  [--settings 8,32]
// The dead devices are spread through the list (every devices/silent-th from the fifth, every
// devices/refusing-th from the tenth). Every cycle runs to its real end, however long it takes;
// the cycles with dead devices are printed one by one with their median. Prints figures; never
// passes or fails. The machine's load average is printed with them: on a busy machine every wait
// stretches.

#include "BenchPlant.h"
#include "BenchStats.h"

#include <core/EventLoopChoice.h>
#include <link/DeviceCommands.h>
#include <support/CycleRun.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

using namespace bench;

constexpr int ThirdOctet = 105;

struct Options {
    int devices = 200;
    int silent = 20;
    int refusing = 10;
    int answeringCycles = 5;
    int deadCycles = 5;
    std::vector<int> settings{8, 32};
};

struct Figures {
    double answeringMeanMs = 0;
    double answeringSlowestMs = 0;
    std::vector<double> deadMs;
    int ok = 0, failed = 0;
};

int linesEndingWith(const StatusList &status, const char *outcome)
{
    return int(std::count_if(status.lines().begin(), status.lines().end(), [outcome](const QString &line) {
        return line.startsWith(QLatin1String("Communication with server ")) &&
               line.endsWith(QLatin1String(outcome));
    }));
}

double timedCycle(Engine &engine, SimBank &sims)
{
    engine.clock.advanceSeconds(60);
    QElapsedTimer wall;
    wall.start();
    RunCycleToItsEnd(engine.monitor->cycle);
    const double ms = wall.nsecsElapsed() / 1e6;
    sims.clearTraffic();
    return ms;
}

// Device numbers (from 1) that get a fault: every step-th from the first.
std::vector<int> spread(int devices, int count, int first)
{
    std::vector<int> numbers;
    const int step = count > 0 ? std::max(1, devices / count) : 0;
    for (int n = first; count > 0 && n <= devices && int(numbers.size()) < count; n += step)
        numbers.push_back(n);
    return numbers;
}

void setDeadDevices(SimBank &sims, const Options &o, bool dead)
{
    for (int n : spread(o.devices, o.silent, 5))
        sims.setFault(n, dead ? SimFault::Silent : SimFault::None);
    for (int n : spread(o.devices, o.refusing, 10))
        sims.setFault(n, dead ? SimFault::Refused : SimFault::None);
}

void printRow(const char *label, const std::vector<Figures> &figures, double Figures::*value)
{
    std::printf("%-34s", label);
    for (const Figures &f : figures)
        std::printf(" %12.0f", f.*value);
    std::printf("\n");
}

void printTable(const Options &o, const std::vector<Figures> &figures)
{
    std::printf("\n%-34s", "exchanges at a time ([poll] parallel)");
    for (int p : o.settings)
        std::printf(" %12d", p);
    std::printf("\n");
    printRow("all answering: mean cycle, ms", figures, &Figures::answeringMeanMs);
    printRow("all answering: slowest cycle, ms", figures, &Figures::answeringSlowestMs);
    for (int c = 0; c < o.deadCycles; ++c) {
        std::printf("%-34s", qPrintable(QStringLiteral("%1 silent + %2 refusing: cycle %3, ms")
                                            .arg(o.silent)
                                            .arg(o.refusing)
                                            .arg(c + 1)));
        for (const Figures &f : figures)
            std::printf(" %12.0f", f.deadMs[size_t(c)]);
        std::printf("\n");
    }
    std::printf("%-34s", qPrintable(QStringLiteral("median of those %1 cycles, ms").arg(o.deadCycles)));
    for (const Figures &f : figures)
        std::printf(" %12.0f", Median(f.deadMs));
    std::printf("\n");
    std::printf("%-34s", "devices OK / FAILED (last cycle)");
    for (const Figures &f : figures)
        std::printf(" %12s", qPrintable(QStringLiteral("%1 / %2").arg(f.ok).arg(f.failed)));
    std::printf("\n");
}

Options readOptions(const QStringList &args)
{
    Options o;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == QLatin1String("--silent") && hasValue)
            o.silent = std::max(0, args[++i].toInt());
        else if (a == QLatin1String("--refusing") && hasValue)
            o.refusing = std::max(0, args[++i].toInt());
        else if (a == QLatin1String("--answering-cycles") && hasValue)
            o.answeringCycles = std::max(1, args[++i].toInt());
        else if (a == QLatin1String("--dead-cycles") && hasValue)
            o.deadCycles = std::max(1, args[++i].toInt());
        else if (a == QLatin1String("--settings") && hasValue) {
            o.settings.clear();
            for (const QString &p : args[++i].split(QLatin1Char(',')))
                o.settings.push_back(std::clamp(p.toInt(), 1, PollIniSettings::MaxParallel));
        } else
            o.devices = std::clamp(a.toInt(), 1, 254);
    }
    return o;
}

} // namespace

int main(int argc, char **argv)
{
    // The event loop the program runs on.
    PreferQtEventLoop();
    QCoreApplication app(argc, argv);
    const Options o = readOptions(app.arguments().mid(1));
    QString error;
    SimBank sims(ThirdOctet);
    Engine engine;
    if (!sims.start(o.devices, error) || !engine.start(false, 1, error) ||
        !engine.addDevices(sims, o.devices, error)) {
        std::fprintf(stderr, "set-up failed: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("poll cycle against [poll] parallel: %d devices (%s) x %d named sensors on loopback, "
                "one attempt per device, TCPTimeOut 2 s, connect 5 s, pause 2 s; load average %s\n",
                o.devices, qPrintable(sims.modelText()), SensorsPerDevice, loadAverage().constData());
    const LinkTimings &timings = engine.monitor->link.timings();
    std::printf("one silent device costs its reply time-out and the pause after it: %d ms; "
                "a refusing one the pause: %d ms\n",
                timings.replyTimeoutMs(engine.state.Config.TCPTimeOut, CommandCodes::FrameLength) +
                    timings.retryPauseMs,
                timings.retryPauseMs);
    // The first cycle makes every data file; it is not counted.
    timedCycle(engine, sims);

    std::vector<Figures> figures(o.settings.size());
    for (size_t s = 0; s < o.settings.size(); ++s) {
        engine.state.Ini.poll.parallel = o.settings[s];
        for (int c = 0; c < o.answeringCycles; ++c) {
            const double ms = timedCycle(engine, sims);
            figures[s].answeringMeanMs += ms / o.answeringCycles;
            figures[s].answeringSlowestMs = std::max(figures[s].answeringSlowestMs, ms);
        }
        std::printf("  parallel %d, all answering: mean %.0f ms\n", o.settings[s],
                    figures[s].answeringMeanMs);
        std::fflush(stdout);
    }
    setDeadDevices(sims, o, true);
    for (size_t s = 0; s < o.settings.size(); ++s) {
        engine.state.Ini.poll.parallel = o.settings[s];
        for (int c = 0; c < o.deadCycles; ++c) {
            figures[s].deadMs.push_back(timedCycle(engine, sims));
            std::printf("  parallel %d, %d dead: %.0f ms\n", o.settings[s], o.silent + o.refusing,
                        figures[s].deadMs.back());
            std::fflush(stdout);
        }
        figures[s].ok = linesEndingWith(engine.status, ": OK");
        figures[s].failed = linesEndingWith(engine.status, ": FAILED");
    }
    printTable(o, figures);
    std::printf("load average now: %s\n", loadAverage().constData());
    return 0;
}
