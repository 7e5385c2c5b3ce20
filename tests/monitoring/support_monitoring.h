#pragma once

#include <acquisition/Monitor.h>
#include <core/Activation.h>
#include <core/PollTimer.h>

#include <support/SmtpTestServer.h>
#include <support/TestState.h>

#include <SimDevice.h>

#include <memory>

// A whole monitoring engine for a test: a fresh database, a real SMTP server, simulated devices
// on 127.0.N.x and short link timings. Cycles are run directly, with the clock moved by hand.
class MonitoringFixture {
public:
    explicit MonitoringFixture(int thirdOctet);

    bool start(QString &error);
    // Adds a device to the database and starts its simulator. Sensors: port, name, type.
    SimDevice *addDevice(const QString &name, int family, int model, int firmware,
                         const QList<std::tuple<int, QString, QString>> &sensors,
                         const QString &emailList = QStringLiteral("alarms@example.com"));
    qint64 deviceId(const QString &name);
    qint64 sensorId(const QString &deviceName, int port);
    // Runs one poll cycle after moving the clock by the update rate.
    void runCycle(int advanceSeconds = 60);

    // Counts rows of a table matching a condition (SQL text of the test's own).
    int count(const QString &table, const QString &where = QString());
    QVariant value(const QString &sql);
    // Every row of a query, its columns joined by "|".
    QStringList rows(const QString &sql);

    TestState t;
    // The link's timings, as start() gives them to the engine; change them before start().
    LinkTimings timings;
    std::unique_ptr<PollTimer> pollTimer;
    std::unique_ptr<Activation> activation;
    std::unique_ptr<Monitor> monitor;
    SmtpTestServer smtp;
    QList<std::shared_ptr<SimDevice>> devices;

private:
    QList<QVariantList> query(const QString &sql);

    int m_octet;
};
