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

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

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

// --- The simulated devices, on a thread of their own, at 127.0.<octet>.1 upwards ---

class SimBank {
public:
    explicit SimBank(int thirdOctet) : m_octet(thirdOctet) {}
    ~SimBank()
    {
        run([this] {
            for (SimDevice *device : m_devices)
                delete device;
        });
        m_thread.quit();
        m_thread.wait();
    }

    // The address of device n (from 1).
    QString address(int n) const { return QStringLiteral("127.0.%1.%2").arg(m_octet).arg(n); }

    bool start(int count, QString &error)
    {
        m_thread.start();
        m_anchor.moveToThread(&m_thread);
        run([&] {
            for (int n = 1; n <= count && error.isEmpty(); ++n) {
                auto *device = new SimDevice(Family, Model, Firmware);
                m_devices.push_back(device);
                if (!device->start(address(n), DevicePort))
                    error = address(n) + QStringLiteral(": ") + device->errorString();
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

    // A network fault of device n (from 1), for every following transaction.
    void setFault(int n, SimFault fault)
    {
        run([&] {
            if (n >= 1 && n <= int(m_devices.size()))
                m_devices[size_t(n - 1)]->setFault(fault);
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

    int m_octet;
    QThread m_thread;
    QObject m_anchor;
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
    // The cycle reads the settings file again after every device, as the program does.
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
