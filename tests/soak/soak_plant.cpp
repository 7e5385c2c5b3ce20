#include "soak_plant.h"

#include "../faults/support_rig.h"

#include <acquisition/SensorDataFiles.h>

#include <QDir>
#include <QFileInfo>

namespace {
// Door port reading codes: open, shorted, not connected (all alarms) and not connected
// without an alarm.
constexpr qint16 kDoorCodes[] = {999, -999, 1000, 9999};
} // namespace

bool SoakPlant::build(int deviceCount)
{
    for (int d = 0; d < deviceCount; ++d) {
        // Site A to Site Z, then numbered: Site 27 on.
        const QString name =
            QStringLiteral("Site %1").arg(d < 26 ? QString(QChar('A' + d)) : QString::number(d + 1));
        // The last device has no alarm addresses: its alarms are recorded with that explanation.
        const QString emails =
            d == deviceCount - 1 ? QString() : QStringLiteral("alarms%1@example.com,ops@example.com,").arg(d);
        const QList<SensorSpec> specs = {{0, name + " Freezer", FaultRig::Temperature},
                                         {1, name + " Cooler", FaultRig::Temperature},
                                         {8, name + " Door", FaultRig::Door}};
        if (!m_rig.addDevice(name, specs, emails))
            return false;
        m_devices << name;
        for (const auto &[port, sensorName, type] : specs) {
            Sensor sensor;
            sensor.device = name;
            sensor.port = port;
            sensor.id = m_rig.sensorId(name, port);
            sensor.door = port == 8;
            m_sensors << sensor;
        }
    }
    m_rig.layOutGrid();
    return true;
}

SimDevice *SoakPlant::device(const QString &name) const
{
    return m_rig.device(name);
}

void SoakPlant::change()
{
    for (Sensor &sensor : m_sensors) {
        SimDevice *sim = device(sensor.device);
        if (!sensor.door)
            sim->setReading(sensor.port, 30.0 + m_random.bounded(200) / 10.0);
        const quint32 roll = m_random.bounded(1000);
        if (roll < 40)
            setAlarm(sensor, !sensor.inAlarm);
        else if (sensor.door && roll < 50)
            setCode(sensor);
    }
}

void SoakPlant::setAlarm(Sensor &sensor, bool on)
{
    SimDevice *sim = device(sensor.device);
    if (sensor.door) // a state input back to a plain reading
        sim->setRawReading(sensor.port, qint16(m_random.bounded(2)));
    sim->setAlarmByte(sensor.port, on ? 1 : 0);
    sensor.inAlarm = on;
    sensor.real = true;
}

void SoakPlant::setCode(Sensor &sensor)
{
    const qint16 code = kDoorCodes[m_random.bounded(4)];
    device(sensor.device)->setRawReading(sensor.port, code);
    device(sensor.device)->setAlarmByte(sensor.port, 0);
    sensor.inAlarm = code != 9999;
    sensor.real = false;
}

bool SoakPlant::answered(const QString &device) const
{
    return m_rig.statusShows(OutcomeLine(m_rig, device, QStringLiteral(": OK")));
}

bool SoakPlant::takes(const Sensor &sensor, Filing filing) const
{
    if (filing != Filing::ExistingFiles)
        return filing == Filing::All;
    // The reading goes to this month's file, which a read-only directory could not have let the
    // cycle make: it is there only if an earlier reading made it. A sensor that has had no real
    // reading yet (a door showing a code since the start) has none.
    const QString path =
        SensorInstantaneousPath(m_rig.t.dir.path(), int(sensor.id), m_rig.t.clock.now().date());
    return QFileInfo::exists(path);
}

QStringList SoakPlant::afterCycle(int cycle, Filing filing, bool databaseWritable)
{
    QStringList problems;
    QHash<QString, bool> answeredNow;
    for (const QString &name : m_devices)
        answeredNow.insert(name, answered(name));
    for (Sensor &sensor : m_sensors) {
        if (!answeredNow.value(sensor.device))
            continue;
        if (sensor.real && takes(sensor, filing))
            ++sensor.filed;
        if (!databaseWritable)
            continue;
        ++m_expectations;
        const int open = m_rig.count(QStringLiteral("tblAlarms"),
                                     QStringLiteral("SensorIDNum = %1 AND AlarmEnd IS NULL").arg(sensor.id));
        if (open != (sensor.inAlarm ? 1 : 0))
            problems << QStringLiteral("cycle %1: sensor %2 (%3 port %4) %5 but has %6 open alarm records")
                            .arg(cycle)
                            .arg(sensor.id)
                            .arg(sensor.device)
                            .arg(sensor.port)
                            .arg(sensor.inAlarm ? "is in alarm" : "is normal")
                            .arg(open);
    }
    return problems;
}

QStringList SoakPlant::checkFiled()
{
    QStringList problems;
    const QDir dir(m_rig.t.dir.path());
    for (const Sensor &sensor : m_sensors) {
        qint64 records = 0;
        const QString pattern = QStringLiteral("Sensor-%1 Instantaneous Data Created *.dat").arg(sensor.id);
        for (const QFileInfo &file : dir.entryInfoList({pattern}, QDir::Files))
            records += WholeRecords(file.size(), InstantaneousRecord::Size);
        if (records != sensor.filed)
            problems << QStringLiteral("sensor %1: %2 readings filed, %3 expected")
                            .arg(sensor.id)
                            .arg(records)
                            .arg(sensor.filed);
    }
    return problems;
}
