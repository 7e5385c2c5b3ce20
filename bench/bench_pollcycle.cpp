// One poll cycle (LogRoutine) over many simulated devices on loopback, all answering, with ten
// named sensors each. Prints the wall time of every cycle and, per device, where the time goes:
// the network (the identify and readings transactions), the database and the data files, side by
// side with the same two exchanges made by a plain blocking POSIX-socket client. Then the memory
// (VmRSS at cycles 1, 10, 50 and 100, VmHWM) and the CPU time of the whole run.
//
// The split is taken from the outside, with no hook in the engine: the cycle writes the status
// list and the status grid between its steps, and every write is stamped as it happens.
//   last download line -> network done; grid identity -> grid reading: the data files;
//   grid reading -> grid status: the alarm queries; outcome line: the device is done.
// The simulated devices run on a thread of their own with their own event loop, so the cycle's
// waits on the UI thread are what they are in the program. The clock is a manual one, moved 60 s
// before each cycle, so the hourly statistics records roll over as they would. No alarms: the
// readings are frozen within limits with alarm bytes 0, so no mail goes out.
//
//   bench_pollcycle [devices, default 200] [cycles, default 100] [--backup]
//     --backup: a second data directory (LogDirectory), so every file is written twice
// Prints figures; never passes or fails.

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
constexpr int PlainPasses = 5;

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

    template <typename F> void run(F f) { QMetaObject::invokeMethod(&m_anchor, f, Qt::BlockingQueuedConnection); }

    QThread m_thread;
    QObject m_anchor;
    std::vector<SimDevice *> m_devices;
    QString m_modelText;
};

// --- Stamps of a running cycle ---

// Where one device's time went, summed over the devices of a cycle (nanoseconds).
struct Split {
    int devices = 0;
    qint64 network = 0;  // identify + readings transactions
    qint64 database = 0; // back on line, sensors, device fields, the alarm queries
    qint64 files = 0;    // the three data files of each sensor
    qint64 other = 0;    // settings re-read, status lines, grid
    qint64 maxOwn = 0;   // the slowest device's database + files + other
    qint64 own() const { return database + files + other; }
    double perDeviceMs(qint64 ns) const { return devices > 0 ? ns / 1e6 / devices : 0; }
};

class CycleProbe {
public:
    CycleProbe(const StatusList &status, const StatusGridModel &grid) : m_status(status)
    {
        m_events.reserve(4096);
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

    Split split() const;

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

Split CycleProbe::split() const
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
            deviceOwn += step;
            s.maxOwn = std::max(s.maxOwn, deviceOwn);
            ++s.devices;
            continue;
        }
        deviceOwn += step;
    }
    return s;
}

// --- The plain client ---

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

// The identify and readings exchanges with every device in turn; nanoseconds per device.
double plainPass(int devices, int &failures)
{
    const QByteArray commands[2] = {BuildCommand(DeviceCommands().IdentifyCommand),
                                    BuildCommand(DeviceCommands().DataCommand)};
    QElapsedTimer clock;
    clock.start();
    for (int n = 1; n <= devices; ++n) {
        sockaddr_in where{};
        where.sin_family = AF_INET;
        where.sin_port = htons(Port);
        inet_pton(AF_INET, deviceAddress(n).toLatin1().constData(), &where.sin_addr);
        for (const QByteArray &command : commands)
            failures += plainExchange(where, command) ? 0 : 1;
    }
    return double(clock.nsecsElapsed()) / devices;
}

// --- Memory and CPU ---

long statusKb(const char *field)
{
    QFile file(QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray &line : file.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').first().toLong();
    return -1;
}

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
    QList<ServerRecord> rows;
    int n = 0;
    for (int i = 1; i <= count; ++i) {
        const QString name = QStringLiteral("Device %1").arg(i, 3, 10, QLatin1Char('0'));
        if (!db.AddServer(name, modelText, deviceAddress(i), QString(), 1, QString(),
                          QStringLiteral("alarms@example.com"), -1)) {
            error = QStringLiteral("AddServer: ") + db.lastError();
            return false;
        }
    }
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
    return named == count * SensorsPerDevice;
}

// --- Report ---

void printSplitHeading()
{
    std::printf("%-22s %9s %9s %9s %9s %9s %9s %9s\n", "", "cycle", "network", "database", "files", "other",
                "own", "own max");
    std::printf("%-22s %9s %9s %9s %9s %9s %9s %9s\n", "", "ms", "ms/dev", "ms/dev", "ms/dev", "ms/dev",
                "ms/dev", "ms/dev");
}

void printSplit(const char *label, double cycleMs, const Split &s)
{
    std::printf("%-22s %9.1f %9.3f %9.3f %9.3f %9.3f %9.3f %9.3f\n", label, cycleMs, s.perDeviceMs(s.network),
                s.perDeviceMs(s.database), s.perDeviceMs(s.files), s.perDeviceMs(s.other),
                s.perDeviceMs(s.own()), s.maxOwn / 1e6);
}

Split add(Split total, const Split &s)
{
    total.devices += s.devices;
    total.network += s.network;
    total.database += s.database;
    total.files += s.files;
    total.other += s.other;
    total.maxOwn = std::max(total.maxOwn, s.maxOwn);
    return total;
}

int okLines(const StatusList &status)
{
    return int(std::count_if(status.lines().begin(), status.lines().end(), [](const QString &line) {
        return line.startsWith(QLatin1String("Communication with server ")) && line.endsWith(QLatin1String(": OK"));
    }));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const bool backup = args.contains(QStringLiteral("--backup"));
    QStringList numbers = args;
    numbers.removeAll(QStringLiteral("--backup"));
    const int devices = numbers.size() > 0 ? std::max(1, numbers[0].toInt()) : 200;
    const int cycles = numbers.size() > 1 ? std::max(1, numbers[1].toInt()) : 100;

    QString error;
    SimBank sims;
    Engine engine;
    if (!sims.start(devices, error) || !engine.start(backup, error) ||
        !engine.addDevices(devices, sims.modelText(), error)) {
        std::fprintf(stderr, "set-up failed: %s\n", qPrintable(error));
        return 1;
    }
    CycleProbe probe(engine.status, engine.monitor->grid);

    std::printf("poll cycle: %d devices (%s) x %d named sensors on loopback, %d cycles, 60 s apart%s\n",
                devices, qPrintable(sims.modelText()), SensorsPerDevice, cycles,
                backup ? ", data files also in a backup directory" : "");
    printSplitHeading();
    const CpuTime processStart = CpuTime::now(RUSAGE_SELF);
    const CpuTime uiStart = CpuTime::now(RUSAGE_THREAD);
    Split steady;
    double steadyMs = 0, slowestMs = 0;
    std::vector<std::pair<int, long>> rss;
    for (int cycle = 1; cycle <= cycles; ++cycle) {
        engine.clock.advanceSeconds(60);
        probe.begin();
        QElapsedTimer wall;
        wall.start();
        engine.monitor->cycle.LogRoutine();
        const double ms = wall.nsecsElapsed() / 1e6;
        const Split s = probe.split();
        sims.clearTraffic();
        if (cycle == 1) {
            printSplit("cycle 1 (new files)", ms, s);
        } else {
            steady = add(steady, s);
            steadyMs += ms;
            slowestMs = std::max(slowestMs, ms);
        }
        if (cycle == 1 || cycle == 10 || cycle == 50 || cycle == 100 || cycle == cycles)
            rss.emplace_back(cycle, statusKb("VmRSS"));
    }
    const CpuTime process = CpuTime::now(RUSAGE_SELF).since(processStart);
    const CpuTime ui = CpuTime::now(RUSAGE_THREAD).since(uiStart);
    const int steadyCycles = cycles - 1;
    if (steadyCycles > 0) {
        printSplit(qPrintable(QStringLiteral("cycles 2-%1 mean").arg(cycles)), steadyMs / steadyCycles, steady);
        std::printf("%-22s %9.1f\n", "slowest cycle", slowestMs);
    }

    int plainFailures = 0;
    double plainNs = 0;
    for (int pass = 0; pass < PlainPasses; ++pass)
        plainNs += plainPass(devices, plainFailures);
    plainNs /= PlainPasses;
    std::printf("%-22s %9.1f %9.3f   (%d passes, %d failed exchanges)\n", "plain client",
                plainNs * devices / 1e6, plainNs / 1e6, PlainPasses, plainFailures);

    const Split &ref = steadyCycles > 0 ? steady : probe.split();
    const double meanCycleMs = steadyCycles > 0 ? steadyMs / steadyCycles : 0;
    std::printf("\ngoals: whole cycle under 2000 ms: %s (mean %.0f ms, slowest %.0f ms); own work under 2 ms "
                "per device: %s (%.3f ms)\n",
                slowestMs < 2000 ? "met" : "NOT met", meanCycleMs, slowestMs,
                ref.perDeviceMs(ref.own()) < 2 ? "met" : "NOT met", ref.perDeviceMs(ref.own()));
    std::printf("devices OK in the last cycle: %d of %d\n", okLines(engine.status), devices);

    std::printf("\nmemory (kB):");
    for (const auto &[cycle, kb] : rss)
        std::printf("  VmRSS at cycle %d: %ld", cycle, kb);
    std::printf("  VmHWM: %ld\n", statusKb("VmHWM"));
    std::printf("CPU over %d cycles: process %.2f s user + %.2f s system; UI thread %.2f s user + %.2f s "
                "system (%.1f ms per cycle)\n",
                cycles, process.user, process.system, ui.user, ui.system, (ui.user + ui.system) * 1000 / cycles);

    QList<ErrorRecord> logged;
    engine.monitor->database.ErrorsNewestFirst(logged);
    QList<HourlyStatisticsRecord> hours;
    ReadHourlyStatistics(SensorStatisticsPath(engine.state.programDirectory(), 1), hours);
    std::printf("error log lines: %d; hourly records of sensor 1: %d\n", int(logged.size()), int(hours.size()));
    return 0;
}
