#include "soak_plant.h"

#include "../faults/support_rig.h"

#include <acquisition/SensorDataFiles.h>

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QSet>
#include <QSqlQuery>

namespace {
// Door port reading codes: open, shorted, not connected (all alarms) and not connected
// without an alarm.
constexpr qint16 kDoorCodes[] = {999, -999, 1000, 9999};
} // namespace

// A device's sensors, the first count of: freezer, cooler and door (the run's three by
// default), then the other six temperature ports and the second door.
QList<SensorSpec> SoakPlant::sensorSpecs(const QString &device, int count)
{
    QList<SensorSpec> specs = {{0, device + " Freezer", FaultRig::Temperature},
                               {1, device + " Cooler", FaultRig::Temperature},
                               {8, device + " Door", FaultRig::Door}};
    for (int port = 2; port < 8; ++port)
        specs.append({port, device + QStringLiteral(" Probe %1").arg(port + 1),
                      QStringLiteral("Temperature Sensor Port %1").arg(port + 1)});
    specs.append({9, device + " Back Door", QStringLiteral("Door Sensor 2")});
    return specs.mid(0, count);
}

bool SoakPlant::build(int deviceCount, int sensorsPerDevice)
{
    for (int d = 0; d < deviceCount; ++d) {
        // Site A to Site Z, then numbered: Site 27 on.
        const QString name =
            QStringLiteral("Site %1").arg(d < 26 ? QString(QChar('A' + d)) : QString::number(d + 1));
        // The last device has no alarm addresses: its alarms are recorded with that explanation.
        const QString emails =
            d == deviceCount - 1 ? QString() : QStringLiteral("alarms%1@example.com,ops@example.com,").arg(d);
        const QList<SensorSpec> specs = sensorSpecs(name, sensorsPerDevice);
        SimDevice *sim = m_rig.addDevice(name, specs, emails);
        if (!sim)
            return false;
        sim->setRawReading(9, 0); // the second door closed, as the first
        m_devices << name;
        // The status line of a device that answered; its name and address never change.
        m_answeredLines.insert(name, OutcomeLine(m_rig, name, QStringLiteral(": OK")));
        const qint64 deviceId = m_rig.deviceId(name);
        for (const auto &[port, sensorName, type] : specs) {
            Sensor sensor;
            sensor.device = name;
            sensor.port = port;
            sensor.id = m_rig.sensorId(deviceId, port);
            sensor.door = port >= 8;
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

int SoakPlant::listeningDevices() const
{
    int listening = 0;
    for (const QString &name : m_devices)
        listening += device(name)->isListening() ? 1 : 0;
    return listening;
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

// Open alarm records by sensor, read at once. False when the table could not be read.
bool SoakPlant::openAlarms(QHash<qint64, int> &open) const
{
    QSqlQuery query(m_rig.reader());
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral(
            "SELECT SensorIDNum, COUNT(*) FROM tblAlarms WHERE AlarmEnd IS NULL GROUP BY SensorIDNum")))
        return false;
    while (query.next())
        open.insert(query.value(0).toLongLong(), query.value(1).toInt());
    return true;
}

QStringList SoakPlant::afterCycle(int cycle, Filing filing, bool databaseWritable)
{
    QStringList problems;
    const QStringList &lines = m_rig.t.status.lines();
    const QSet<QString> status(lines.cbegin(), lines.cend());
    QHash<qint64, int> openBySensor;
    if (databaseWritable && !openAlarms(openBySensor)) {
        problems << QStringLiteral("cycle %1: the open alarms could not be read").arg(cycle);
        databaseWritable = false;
    }
    for (Sensor &sensor : m_sensors) {
        if (!status.contains(m_answeredLines.value(sensor.device)))
            continue;
        if (sensor.real && takes(sensor, filing))
            ++sensor.filed;
        if (!databaseWritable)
            continue;
        ++m_expectations;
        const int open = openBySensor.value(sensor.id);
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

// Whole readings in each sensor's instantaneous files in the directory, by sensor: the
// directory is listed once, whatever the number of sensors.
QHash<qint64, qint64> SoakPlant::recordsBySensor() const
{
    static const QString prefix = QStringLiteral("Sensor-");
    static const QString middle = QStringLiteral(" Instantaneous Data Created ");
    QHash<qint64, qint64> records;
    QDirIterator files(m_rig.t.dir.path(), {prefix + QLatin1Char('*') + middle + QStringLiteral("*.dat")},
                       QDir::Files);
    while (files.hasNext()) {
        files.next();
        const QString name = files.fileName();
        // Matched as the listing matches (whatever the case); only a sensor's own number counts,
        // as a listing of that sensor's files would have found it.
        const QStringView id = QStringView(name).mid(
            prefix.size(), name.indexOf(middle, 0, Qt::CaseInsensitive) - prefix.size());
        bool number = false;
        const qint64 sensor = id.toLongLong(&number);
        if (number && id == QString::number(sensor))
            records[sensor] += WholeRecords(files.fileInfo().size(), InstantaneousRecord::Size);
    }
    return records;
}

QStringList SoakPlant::checkFiled()
{
    QStringList problems;
    const QHash<qint64, qint64> records = recordsBySensor();
    for (const Sensor &sensor : m_sensors) {
        const qint64 filed = records.value(sensor.id);
        if (filed != sensor.filed)
            problems << QStringLiteral("sensor %1: %2 readings filed, %3 expected")
                            .arg(sensor.id)
                            .arg(filed)
                            .arg(sensor.filed);
    }
    return problems;
}
