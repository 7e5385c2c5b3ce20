#pragma once

#include <acquisition/Monitor.h>
#include <core/Activation.h>
#include <core/DateTimeText.h>
#include <core/PollTimer.h>

#include <support/SmtpTestServer.h>
#include <support/TestState.h>

#include <SimDevice.h>

#include <QHash>
#include <QSqlDatabase>
#include <QVariant>

#include <memory>
#include <tuple>

using SensorSpec = std::tuple<int, QString, QString>; // port, name, type

// A whole monitoring engine on which faults are injected: a fresh database, a real SMTP server,
// simulated devices on 127.0.N.x (thousands go on to 127.N.x.y), short link timings and a manual clock.
// Cycles run directly.
class FaultRig {
public:
    static const QString Temperature;
    static const QString Door;

    explicit FaultRig(int thirdOctet, SmtpTestServer::Options smtp = {});
    ~FaultRig();
    FaultRig(const FaultRig &) = delete;
    FaultRig &operator=(const FaultRig &) = delete;

    bool start(QString &error);
    // The program closed (clean: with its shutdown e-mail, as the close button's Yes does; else
    // as if it had crashed) and started again on the same program directory: a new engine over
    // the same database, settings and devices.
    void restart(bool clean);
    // Adds a device (an RX705 by default) to the database and starts its simulator. Its ports
    // start frozen and normal: reading 5.0 on port 0, door closed on port 8.
    SimDevice *addDevice(const QString &name, const QList<SensorSpec> &sensors,
                         const QString &emailList = QStringLiteral("alarms@example.com"));
    // Enters a device that another rig simulates (the same address and model) in this rig's
    // database, with the sensors given: two collectors watching the same devices.
    bool addDeviceOf(const FaultRig &other, const QString &name, const QList<SensorSpec> &sensors);
    // A device with two temperature sensors, "<name> Freezer" on port 0 (reading 5.0) and
    // "<name> Cooler" on port 1 (6.0), and the grid laid out for it.
    SimDevice *addFreezerAndCooler(const QString &name);
    // The third octet of the rig's loopback addresses.
    int octet() const { return m_octet; }
    SimDevice *device(const QString &name) const { return m_devices.value(name).get(); }
    // Lays out the status grid for the sensors added so far.
    void layOutGrid();
    qint64 deviceId(const QString &name);
    qint64 sensorId(const QString &deviceName, int port);
    qint64 sensorId(qint64 deviceId, int port);
    // Runs one poll cycle after moving the clock by the update rate.
    void runCycle(int advanceSeconds = 60);
    // Points the mailer at another server port (the settings record and the mail manager).
    void useMailPort(quint16 port);
    void saveSettings();

    // Rows of a table matching a condition (SQL of the test's own), read through a connection
    // of the test's own.
    int count(const QString &table, const QString &where = QString());
    QVariant value(const QString &sql);
    QStringList column(const QString &sql);
    // The test's own connection to the database file; open while the rig reads.
    QSqlDatabase reader();
    void closeReader();
    // tblErrors lines "where|cause" whose where starts with the prefix.
    QStringList errorLines(const QString &wherePrefix);

    // The readings filed for a sensor this month in a directory (the program directory when
    // empty): whole instantaneous records.
    int readingsFiled(qint64 sensorId, const QString &directory = QString());
    // Data files in the directory whose length is not a whole number of records.
    QStringList tornFiles(const QString &directory = QString());
    bool statusShows(const QString &line) const;
    // Messages the SMTP server received whose bytes contain the text (headers or body).
    int mailsWith(const QByteArray &text);

    TestState t;
    std::unique_ptr<PollTimer> pollTimer;
    std::unique_ptr<Activation> activation;
    std::unique_ptr<Monitor> monitor;
    SmtpTestServer smtp;

private:
    void makeMonitor();
    QString deviceAddress(int index) const;
    bool enterDevice(const QString &name, const QString &model, const QString &address,
                     const QList<SensorSpec> &sensors, const QString &emailList);

    int m_octet;
    LinkTimings m_timings;
    QString m_reader;
    QHash<QString, std::shared_ptr<SimDevice>> m_devices;
};

// A write lock on the database file held by a second connection of this program (an exclusive
// transaction); released when it goes.
class ConnectionLock {
public:
    ConnectionLock();
    ~ConnectionLock();
    ConnectionLock(const ConnectionLock &) = delete;
    ConnectionLock &operator=(const ConnectionLock &) = delete;

    bool lock(const QString &path);
    void release();

private:
    QString m_name;
};

// Short names for the device outcome lines of the status list.
QString OutcomeLine(FaultRig &rig, const QString &deviceName, const QString &outcome);
