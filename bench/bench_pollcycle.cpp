// One poll cycle (LogRoutine) over many simulated devices on loopback, all answering, with ten
// named sensors each. Prints the wall time of the cycles and, per device, where the time goes:
// the network (the identify and readings transactions), the database and the data files, side by
// side with the same two exchanges made through the link alone and by a plain blocking
// POSIX-socket client. Then the memory (VmRSS at cycles 1, 10, 50 and 100, VmHWM) and the CPU
// time of the whole run.
//
// The split is taken from the outside, with no hook in the engine: the cycle writes the status
// list and the status grid between its steps, and every write is stamped as it happens.
//   previous outcome line -> last download line: the two transactions;
//   last download line -> first grid identity: back on line, sensor list, device fields;
//   grid identity -> grid reading: the data files (and the backup check);
//   grid reading -> grid status: the alarm queries; last grid status -> outcome line: the
//   settings file read again, status lines.
// The simulated devices run on a thread of their own with their own event loop, so the cycle's
// waits on the UI thread are what they are in the program. The clock is a manual one, moved 60 s
// before each cycle, so the hourly statistics records roll over as they would. The readings are
// frozen within limits with alarm bytes 0, and the devices have no alarm addresses, so no mail
// goes out (no mail server is needed).
//
//   bench_pollcycle [devices, default 200] [cycles, default 100] [--backup] [--alarms N]
//     --backup:    a second data directory (LogDirectory), so every file is written twice
//     --alarms N:  port 1 of the first N devices goes into alarm in odd cycles and out of it in
//                  even ones (alarm records opened and ended: database writes)
// Prints figures; never passes or fails. The machine's load average is printed with them: on a
// busy machine every wait for the other thread or the disk stretches.

#include "BenchMemory.h"

#include <acquisition/Monitor.h>
#include <acquisition/SensorDataFiles.h>
#include <core/Activation.h>
#include <core/Clock.h>
#include <core/ErrorLog.h>
#include <core/PollTimer.h>
#include <core/ProgramState.h>
#include <core/Prompts.h>
#include <core/StatusList.h>
#include <link/DeviceCommands.h>

#include <SimDevice.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

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

constexpr int ThirdOctet = 40;
constexpr int Port = 10001;
constexpr int Family = 5, Model = 10, Firmware = 24; // RX700-10: eight temperatures, two doors
constexpr int SensorsPerDevice = 10;
constexpr int ComparisonPasses = 5;

struct Options {
    int devices = 200;
    int cycles = 100;
    bool backup = false;
    int alarmDevices = 0;
};

class NoPrompts final : public Prompts {
public:
    Answer ask(const QString &, const QString &, Buttons, Icon) override { return Answer::Ok; }
    QString saveFileName(const QString &, const QString &, const QString &) override { return {}; }
};

QString deviceAddress(int n)
{
    return QStringLiteral("127.0.%1.%2").arg(ThirdOctet).arg(n);
}

// --- The simulated devices, on a thread of their own ---

class SimBank {
public:
    ~SimBank()
    {
        run([this] {
            for (SimDevice *device : m_devices)
                delete device;
        });
        m_thread.quit();
        m_thread.wait();
    }

    bool start(int count, QString &error)
    {
        m_thread.start();
        m_anchor.moveToThread(&m_thread);
        run([&] {
            for (int n = 1; n <= count && error.isEmpty(); ++n) {
                auto *device = new SimDevice(Family, Model, Firmware);
                m_devices.push_back(device);
                if (!device->start(deviceAddress(n), Port))
                    error = deviceAddress(n) + QStringLiteral(": ") + device->errorString();
                holdWithinLimits(*device, n);
            }
            if (!m_devices.empty())
                m_modelText = m_devices.front()->modelText();
        });
        return error.isEmpty();
    }

    // The devices keep a record of every command; dropped between cycles so it does not count
    // as the program's memory.
    void clearTraffic()
    {
        run([this] {
            for (SimDevice *device : m_devices)
                device->clearTraffic();
        });
    }

    // The alarm indicator of the first port (port 1, index 0) of the first count devices.
    void setAlarm(int count, bool inAlarm)
    {
        run([&] {
            for (int i = 0; i < count && i < int(m_devices.size()); ++i)
                m_devices[size_t(i)]->setAlarmByte(0, inAlarm ? 1 : 0);
        });
    }

    const QString &modelText() const { return m_modelText; }

private:
    static void holdWithinLimits(SimDevice &device, int n)
    {
        device.setFrozen(true);
        for (int port = 0; port < SimDevice::PortCount; ++port) {
            if (port < 8)
                device.setReading(port, 34.0 + (n + port) % 7);
            else
                device.setRawReading(port, 1); // door closed
            device.setMinutes(port, 0);
            device.setAlarmByte(port, 0);
        }
    }

    template <typename F> void run(F f)
    {
        QMetaObject::invokeMethod(&m_anchor, f, Qt::BlockingQueuedConnection);
    }

    QThread m_thread;
    QObject m_anchor;
    std::vector<SimDevice *> m_devices;
    QString m_modelText;
};

// --- Stamps of a running cycle ---

// Where the devices' time went, summed over the devices of one or more cycles (nanoseconds).
struct Split {
    int devices = 0;
    qint64 network = 0;  // identify + readings transactions
    qint64 database = 0; // back on line, sensors, device fields, the alarm queries
    qint64 files = 0;    // the three data files of each sensor
    qint64 other = 0;    // settings re-read, status lines, grid
    qint64 own() const { return database + files + other; }
    double perDeviceMs(qint64 ns) const { return devices > 0 ? ns / 1e6 / devices : 0; }

    Split &operator+=(const Split &s)
    {
        devices += s.devices;
        network += s.network;
        database += s.database;
        files += s.files;
        other += s.other;
        return *this;
    }
};

class CycleProbe {
public:
    CycleProbe(const StatusList &status, const StatusGridModel &grid) : m_status(status)
    {
        m_events.reserve(8192);
        m_clock.start();
        QObject::connect(&status, &QAbstractItemModel::dataChanged, &m_context,
                         [this](const QModelIndex &topLeft) { statusLine(topLeft.row()); });
        QObject::connect(&status, &QAbstractItemModel::rowsInserted, &m_context,
                         [this](const QModelIndex &, int first) { statusLine(first); });
        QObject::connect(&grid, &QAbstractItemModel::dataChanged, &m_context,
                         [this](const QModelIndex &topLeft) { gridCell(topLeft.column()); });
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
    enum class Mark { Downloaded, Outcome, Identity, Reading, Status };
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
    void gridCell(int column)
    {
        if (column == StatusGridModel::DeviceColumn)
            stamp(Mark::Identity);
        else if (column == StatusGridModel::ReadingColumn)
            stamp(Mark::Reading);
        else if (column == StatusGridModel::StatusColumn)
            stamp(Mark::Status);
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
    qint64 deviceOwn = 0;
    bool firstSensor = true;
    for (const Event &e : m_events) {
        const qint64 step = e.ns - last;
        last = e.ns;
        switch (e.mark) {
        case Mark::Downloaded:
            s.network += step;
            deviceOwn = 0;
            firstSensor = true;
            continue;
        case Mark::Identity: // before the first sensor: back on line, sensor list, device fields
            (firstSensor ? s.database : s.other) += step;
            firstSensor = false;
            break;
        case Mark::Reading:
            s.files += step;
            break;
        case Mark::Status:
            s.database += step;
            break;
        case Mark::Outcome:
            s.other += step;
            ownPerDevice.push_back(deviceOwn + step);
            ++s.devices;
            continue;
        }
        deviceOwn += step;
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
double exchangePass(DeviceLink *link, int devices, int &failures)
{
    QElapsedTimer clock;
    clock.start();
    for (int n = 1; n <= devices; ++n) {
        sockaddr_in where{};
        where.sin_family = AF_INET;
        where.sin_port = htons(Port);
        inet_pton(AF_INET, deviceAddress(n).toLatin1().constData(), &where.sin_addr);
        for (int i = 0; i < 2; ++i) {
            QByteArray reply;
            const bool ok = link ? link->ReadFromQM(deviceAddress(n), Port, command(i), reply, 60, QString())
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

QByteArray loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? file.readAll().split(' ').mid(0, 3).join(' ') : QByteArray("?");
}

// --- The engine over a fresh program directory ---

struct Engine {
    QTemporaryDir dir;
    QTemporaryDir backupDir;
    ManualClock clock{QDateTime(QDate(2026, 3, 14), QTime(10, 30, 0))};
    NoPrompts prompts;
    MemoryErrorLog errors;
    StatusList status;
    ProgramState state{dir.path(), clock, prompts, errors, status};
    PollTimer pollTimer{state};
    Activation activation{state, pollTimer};
    std::unique_ptr<Monitor> monitor;

    bool start(bool backup, QString &error);
    bool addDevices(int count, const QString &modelText, QString &error);
};

bool Engine::start(bool backup, QString &error)
{
    if (!QFile::copy(QCoreApplication::applicationDirPath() + QStringLiteral("/wexa.mdb"),
                     state.programFile(QStringLiteral("wexa.mdb")))) {
        error = QStringLiteral("no wexa.mdb beside bench_pollcycle");
        return false;
    }
    state.setMonitoringActive(true);
    ConfigRecord &c = state.Config;
    c.UpdateRate = 60;
    c.TCPTimeOut = 2;
    c.CommunicationRetry = 3;
    c.SMTPPort = 25;
    c.SMTPTimeOut = 5;
    c.AuthenticationMethod = QStringLiteral("NONE");
    c.SystemOKEmail = 0;
    c.PopUps = 0;
    c.LogDirectory = backup ? backupDir.path() : QString();
    monitor = std::make_unique<Monitor>(state, activation, pollTimer);
    // The cycle reads the settings file again after every device, as the program does.
    activation.cipher().InitCipher();
    if (!activation.configFile().SaveConfiguration()) {
        error = QStringLiteral("the settings file could not be written");
        return false;
    }
    return true;
}

bool Engine::addDevices(int count, const QString &modelText, QString &error)
{
    Database &db = monitor->database;
    for (int i = 1; i <= count; ++i) {
        const QString name = QStringLiteral("Device %1").arg(i, 3, 10, QLatin1Char('0'));
        if (!db.AddServer(name, modelText, deviceAddress(i), QString(), 1, QString(), QString(), -1)) {
            error = QStringLiteral("AddServer: ") + db.lastError();
            return false;
        }
    }
    QList<ServerRecord> rows;
    int n = 0;
    if (!db.RecordServers(rows, n))
        return false;
    for (const ServerRecord &row : rows) {
        for (int port = 0; port < SensorsPerDevice; ++port) {
            const QString type = port < 8 ? QStringLiteral("Temperature Sensor Port %1").arg(port + 1)
                                          : QStringLiteral("Door Sensor %1").arg(port - 7);
            db.SaveSensor(row.IDNum, row.ServerName + QStringLiteral(" s%1").arg(port), port, QString(), type,
                          QString(), QString(), QString());
        }
    }
    int named = 0;
    db.CountNamedSensors(named);
    monitor->grid.ConfigureServerStatusGrid(named);
    if (named != count * SensorsPerDevice)
        error = QStringLiteral("%1 named sensors instead of %2").arg(named).arg(count * SensorsPerDevice);
    return error.isEmpty();
}

// --- The run ---

struct RunFigures {
    Split first, steady;
    double firstMs = 0, steadyMs = 0, slowestMs = 0;
    std::vector<qint64> ownPerDevice; // steady cycles only
    std::vector<std::pair<int, long>> rss;
    long setupPeakKb = 0, cyclesPeakKb = 0;
    CpuTime process, ui;
};

RunFigures runCycles(Engine &engine, SimBank &sims, const Options &options)
{
    CycleProbe probe(engine.status, engine.monitor->grid);
    RunFigures f;
    std::vector<qint64> firstOwn;
    // Touched now, so filling it does not show as growth of the program's memory.
    f.ownPerDevice.resize(size_t(options.devices) * size_t(options.cycles));
    f.ownPerDevice.clear();
    f.setupPeakKb = statusKb("VmHWM");
    resetPeakMemory();
    const CpuTime processStart = CpuTime::now(RUSAGE_SELF);
    const CpuTime uiStart = CpuTime::now(RUSAGE_THREAD);
    for (int cycle = 1; cycle <= options.cycles; ++cycle) {
        if (options.alarmDevices > 0)
            sims.setAlarm(options.alarmDevices, cycle % 2 == 1);
        engine.clock.advanceSeconds(60);
        probe.begin();
        QElapsedTimer wall;
        wall.start();
        engine.monitor->cycle.LogRoutine();
        const double ms = wall.nsecsElapsed() / 1e6;
        if (cycle == 1) {
            f.first = probe.split(firstOwn);
            f.firstMs = ms;
        } else {
            f.steady += probe.split(f.ownPerDevice);
            f.steadyMs += ms / (options.cycles - 1);
            f.slowestMs = std::max(f.slowestMs, ms);
        }
        sims.clearTraffic();
        if (cycle == 1 || cycle == 10 || cycle == 50 || cycle == 100 || cycle == options.cycles)
            f.rss.emplace_back(cycle, statusKb("VmRSS"));
    }
    f.cyclesPeakKb = statusKb("VmHWM");
    f.process = CpuTime::now(RUSAGE_SELF).since(processStart);
    f.ui = CpuTime::now(RUSAGE_THREAD).since(uiStart);
    return f;
}

// --- Report ---

void printSplit(const char *label, double cycleMs, const Split &s)
{
    std::printf("%-24s %9.1f %9.3f %9.3f %9.3f %9.3f %9.3f\n", label, cycleMs, s.perDeviceMs(s.network),
                s.perDeviceMs(s.database), s.perDeviceMs(s.files), s.perDeviceMs(s.other),
                s.perDeviceMs(s.own()));
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
    std::printf("%-24s %9s %9s %9s %9s %9s %9s\n", "", "cycle ms", "network", "database", "files", "other",
                "own");
    std::printf("%-24s %9s %9s %9s %9s %9s %9s\n", "", "", "ms/dev", "ms/dev", "ms/dev", "ms/dev", "ms/dev");
    printSplit("cycle 1 (new files)", f.firstMs, f.first);
    if (options.cycles < 2)
        return;
    printSplit(qPrintable(QStringLiteral("cycles 2-%1, mean").arg(options.cycles)), f.steadyMs, f.steady);
    std::printf("%-24s %9.1f\n", "slowest cycle", f.slowestMs);
    std::printf(
        "own work per device in cycles 2-%d: median %.3f ms, 99th percentile %.3f ms, slowest %.3f ms\n",
        options.cycles, percentileMs(f.ownPerDevice, 0.5), percentileMs(f.ownPerDevice, 0.99),
        percentileMs(f.ownPerDevice, 1.0));
}

void printComparison(Engine &engine, const Options &options)
{
    int linkFailures = 0, plainFailures = 0;
    double linkNs = 0, plainNs = 0;
    for (int pass = 0; pass < ComparisonPasses; ++pass) {
        plainNs += exchangePass(nullptr, options.devices, plainFailures) / ComparisonPasses;
        linkNs += exchangePass(&engine.monitor->link, options.devices, linkFailures) / ComparisonPasses;
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
        "\ngoals: whole cycle under 2000 ms: %s (slowest %.0f ms); own work under 2 ms per device: %s "
        "(mean %.3f ms)\n",
        slowest < 2000 ? "met" : "NOT met", slowest, s.perDeviceMs(s.own()) < 2 ? "met" : "NOT met",
        s.perDeviceMs(s.own()));
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

Options readOptions(const QStringList &args)
{
    Options o;
    QStringList numbers;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--backup"))
            o.backup = true;
        else if (args[i] == QLatin1String("--alarms") && i + 1 < args.size())
            o.alarmDevices = std::max(0, args[++i].toInt());
        else
            numbers.append(args[i]);
    }
    if (numbers.size() > 0)
        o.devices = std::clamp(numbers[0].toInt(), 1, 254);
    if (numbers.size() > 1)
        o.cycles = std::max(1, numbers[1].toInt());
    return o;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const Options options = readOptions(app.arguments().mid(1));
    QString error;
    SimBank sims;
    Engine engine;
    if (!sims.start(options.devices, error) || !engine.start(options.backup, error) ||
        !engine.addDevices(options.devices, sims.modelText(), error)) {
        std::fprintf(stderr, "set-up failed: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("poll cycle: %d devices (%s) x %d named sensors on loopback, %d cycles 60 s apart%s; "
                "port 1 of %d devices in and out of alarm; load average %s\n",
                options.devices, qPrintable(sims.modelText()), SensorsPerDevice, options.cycles,
                options.backup ? ", data files also in a backup directory" : "", options.alarmDevices,
                loadAverage().constData());
    const RunFigures figures = runCycles(engine, sims, options);
    printCycles(figures, options);
    printComparison(engine, options);
    printGoalsAndResources(engine, figures, options);
    return 0;
}
