#pragma once

// What the poll-cycle benchmarks stand on: simulated devices on a thread of their own (so the
// cycle's waits on the main thread are what they are in the program) and the monitoring engine
// over a fresh program directory, with a manual clock and the settings file written.

#include <acquisition/Monitor.h>
#include <core/Activation.h>
#include <core/Clock.h>
#include <core/ErrorLog.h>
#include <core/PollTimer.h>
#include <core/ProgramState.h>
#include <core/Prompts.h>
#include <core/StatusList.h>

#include <SimDevice.h>
#include <core/DescriptorLimit.h>

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <memory>
#include <vector>

namespace bench {

constexpr int DevicePort = 10001;
constexpr int Family = 5, Model = 10, Firmware = 24; // RX700-10: eight temperatures, two doors
constexpr int SensorsPerDevice = 10;

class NoPrompts final : public Prompts {
public:
    Answer ask(const QString &, const QString &, Buttons, Icon) override { return Answer::Ok; }
    QString saveFileName(const QString &, const QString &, const QString &) override { return {}; }
};

inline QByteArray loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? file.readAll().split(' ').mid(0, 3).join(' ') : QByteArray("?");
}

// --- The simulated devices, on threads of their own ---

// Device n (from 1) listens at 127.<second>.<third + (n - 1) / 250>.<(n - 1) % 250 + 1>: up to 250
// devices stay on one third octet, more go on to the next ones. Every 250 devices run on a thread
// of their own: a thread's event loop looks at every socket it holds at every turn, so one thread
// for thousands of devices would make the devices, not the program, the slow part.
class SimBank {
public:
    static constexpr int PerThirdOctet = 250;

    explicit SimBank(int thirdOctet) : SimBank(0, thirdOctet) {}
    SimBank(int secondOctet, int thirdOctet) : m_second(secondOctet), m_third(thirdOctet) {}
    ~SimBank()
    {
        for (size_t t = 0; t < m_threads.size(); ++t) {
            runOn(t, [this, t] {
                for (size_t i = t; i < m_devices.size(); i += m_threads.size())
                    delete m_devices[i];
            });
            m_threads[t]->thread.quit();
            m_threads[t]->thread.wait();
        }
    }

    // The address of device n (from 1).
    QString address(int n) const
    {
        return QStringLiteral("127.%1.%2.%3")
            .arg(m_second)
            .arg(m_third + (n - 1) / PerThirdOctet)
            .arg((n - 1) % PerThirdOctet + 1);
    }

    bool start(int count, QString &error)
    {
        const int threads = std::max(1, (count + PerThirdOctet - 1) / PerThirdOctet);
        for (int t = 0; t < threads; ++t) {
            m_threads.push_back(std::make_unique<Worker>());
            m_threads.back()->thread.start();
            m_threads.back()->anchor.moveToThread(&m_threads.back()->thread);
        }
        m_devices.resize(size_t(count), nullptr);
        QStringList errors(threads);
        // Device n (from 1) lives on thread (n - 1) % threads.
        for (size_t t = 0; t < m_threads.size(); ++t)
            runOn(t, [&, t] {
                for (size_t i = t; i < m_devices.size() && errors[int(t)].isEmpty(); i += m_threads.size()) {
                    const int n = int(i) + 1;
                    auto *device = new SimDevice(Family, Model, Firmware);
                    m_devices[i] = device;
                    if (!device->start(address(n), DevicePort))
                        errors[int(t)] = address(n) + QStringLiteral(": ") + device->errorString();
                    holdWithinLimits(*device, n);
                }
            });
        for (const QString &e : errors)
            if (error.isEmpty() && !e.isEmpty())
                error = e;
        if (!m_devices.empty() && m_devices.front())
            m_modelText = m_devices.front()->modelText();
        return error.isEmpty();
    }

    // The devices keep a record of every command; dropped between cycles so it does not count
    // as the program's memory.
    void clearTraffic()
    {
        forEach(int(m_devices.size()), [](SimDevice &device) { device.clearTraffic(); });
    }

    // The alarm indicator of the first port (port 1, index 0) of the first count devices.
    void setAlarm(int count, bool inAlarm)
    {
        forEach(count, [inAlarm](SimDevice &device) { device.setAlarmByte(0, inAlarm ? 1 : 0); });
    }

    // A network fault of device n (from 1), for every following transaction.
    void setFault(int n, SimFault fault)
    {
        if (n >= 1 && n <= int(m_devices.size()))
            runOn(size_t(n - 1) % m_threads.size(), [&] { m_devices[size_t(n - 1)]->setFault(fault); });
    }

    const QString &modelText() const { return m_modelText; }

private:
    struct Worker {
        QThread thread;
        QObject anchor;
    };

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

    // f on each of the first count devices, on its own thread.
    template <typename F> void forEach(int count, F f)
    {
        for (size_t t = 0; t < m_threads.size(); ++t)
            runOn(t, [&, t] {
                for (size_t i = t; i < size_t(count) && i < m_devices.size(); i += m_threads.size())
                    f(*m_devices[i]);
            });
    }

    template <typename F> void runOn(size_t thread, F f)
    {
        QMetaObject::invokeMethod(&m_threads[thread]->anchor, f, Qt::BlockingQueuedConnection);
    }

    int m_second;
    int m_third;
    std::vector<std::unique_ptr<Worker>> m_threads;
    std::vector<SimDevice *> m_devices;
    QString m_modelText;
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

    // The program's default timings, TCPTimeOut 2 s, no mail, the given attempts per device.
    bool start(bool backup, int communicationRetry, QString &error);
    // The bank's first count devices, each with ten named sensors and the alarm e-mail list
    // given, and the grid laid out for them.
    bool addDevices(const SimBank &sims, int count, QString &error, const QString &emailList = QString());
};

inline bool Engine::start(bool backup, int communicationRetry, QString &error)
{
    if (!QFile::copy(QCoreApplication::applicationDirPath() + QStringLiteral("/wexa.mdb"),
                     state.programFile(QStringLiteral("wexa.mdb")))) {
        error = QStringLiteral("no wexa.mdb beside the benchmark");
        return false;
    }
    state.setMonitoringActive(true);
    ConfigRecord &c = state.Config;
    c.UpdateRate = 60;
    c.TCPTimeOut = 2;
    c.CommunicationRetry = qint16(communicationRetry);
    c.SMTPPort = 25;
    c.SMTPTimeOut = 5;
    c.AuthenticationMethod = QStringLiteral("NONE");
    c.SystemOKEmail = 0;
    c.PopUps = 0;
    c.LogDirectory = backup ? backupDir.path() : QString();
    monitor = std::make_unique<Monitor>(state, activation, pollTimer);
    // The cycle reads the settings file back at every cycle, as the program does.
    activation.cipher().InitCipher();
    if (!activation.configFile().SaveConfiguration()) {
        error = QStringLiteral("the settings file could not be written");
        return false;
    }
    return true;
}

inline bool Engine::addDevices(const SimBank &sims, int count, QString &error, const QString &emailList)
{
    Database &db = monitor->database;
    for (int i = 1; i <= count; ++i) {
        const QString name = QStringLiteral("Device %1").arg(i, 3, 10, QLatin1Char('0'));
        if (!db.AddServer(name, sims.modelText(), sims.address(i), QString(), 1, QString(), emailList, -1)) {
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

} // namespace bench
