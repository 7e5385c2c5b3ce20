#pragma once

#include "Simulator.h"

#include <QJsonObject>
#include <QSet>

// Builds the devices and the event schedule of a Simulator from a parsed scenario. On failure
// the error names the place in the scenario, e.g. "devices[1].sensors[0]: unknown type".
class ScenarioReader {
public:
    explicit ScenarioReader(Simulator &simulator) : m_simulator(simulator) {}
    bool read(const QJsonObject &root, QString *error);

    static bool kindFromName(const QString &name, SimSensorKind *kind);
    static QString kindName(SimSensorKind kind);

private:
    bool readDevice(const QJsonObject &object, const QString &where);
    bool readSensor(SimDevice &device, const QJsonObject &object, const QString &where, QSet<int> *ports);
    bool readEvent(const QJsonObject &object, const QString &where);
    void scheduleFault(SimDevice *device, const QString &name, SimFault fault, int count, qint64 at,
                       qint64 duration, qint64 every);
    void scheduleHold(SimDevice *device, const QString &name, int port, double value, qint64 at,
                      qint64 duration, qint64 every);
    bool fail(const QString &where, const QString &what);

    Simulator &m_simulator;
    QString m_error;
};
