#pragma once

#include <QHash>
#include <QList>
#include <QRandomGenerator>
#include <QString>
#include <QStringList>

#include <tuple>

class FaultRig;
class SimDevice;

// The simulated site of the soak run: devices with a few sensors each whose readings, alarm
// indicators and sensor codes change at random, and what the program must make of them: which
// sensors are in alarm and how many readings each must have filed.
class SoakPlant {
public:
    struct Sensor {
        QString device;
        int port = 0;
        qint64 id = 0;
        bool door = false;
        bool inAlarm = false; // what the device reports now
        bool real = true;     // a measurement (filed), not a sensor code
        qint64 filed = 0;     // readings that must be in the program directory
    };

    // What the program directory takes in a cycle: every reading; only readings whose file
    // exists already (the directory is read-only: a new file cannot be made there, while a file
    // in it can still grow); none (the disk is full).
    enum class Filing { All, ExistingFiles, None };

    SoakPlant(FaultRig &rig, QRandomGenerator &random) : m_rig(rig), m_random(random) {}

    // Adds the devices (one without alarm addresses), with 1 to 10 sensors each, to the rig.
    // False when one did not start.
    bool build(int deviceCount, int sensorsPerDevice);
    QStringList deviceNames() const { return m_devices; }
    SimDevice *device(const QString &name) const;
    const QList<Sensor> &sensors() const { return m_sensors; }
    int listeningDevices() const;

    // Changes some sensors before a cycle.
    void change();
    // After a cycle: counts the readings that must have been filed (devices that answered, real
    // readings the directory took) and compares each sensor's open alarm with what its device
    // reports (devices that answered, database writable). Problems found, if any.
    QStringList afterCycle(int cycle, Filing filing, bool databaseWritable);
    // The readings of every sensor compare with what was filed. Problems found, if any.
    QStringList checkFiled();

    qint64 alarmExpectationsChecked() const { return m_expectations; }

private:
    void setAlarm(Sensor &sensor, bool on);
    void setCode(Sensor &sensor);
    static QList<std::tuple<int, QString, QString>> sensorSpecs(const QString &device, int count);
    bool openAlarms(QHash<qint64, int> &open) const;
    bool takes(const Sensor &sensor, Filing filing) const;
    QHash<qint64, qint64> recordsBySensor() const;

    FaultRig &m_rig;
    QRandomGenerator &m_random;
    QStringList m_devices;
    QList<Sensor> m_sensors;
    QHash<QString, QString> m_answeredLines;
    qint64 m_expectations = 0;
};
