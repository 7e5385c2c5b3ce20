#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QPair>
#include <QString>

#include <optional>

// The topics and payloads of what Tallyport publishes. Topics are built from the database keys
// of devices and sensors, which stay unique when names do not.
//
//   <prefix>/<site>/availability                 "online" / "offline" (the connection's will)
//   <prefix>/<site>/<device id>/status           the device's outcome in the last cycle
//   <prefix>/<site>/<device id>/<sensor id>/state the sensor's latest reading and state
//   <discovery prefix>/sensor|binary_sensor/<node>/<object>/config   Home Assistant discovery

// One topic level made safe: no "/", "+", "#" or NUL (each becomes "_"), never empty.
QString SafeTopicLevel(const QString &text);
// A prefix of one or more levels: each level made safe, empty levels dropped.
QString SafeTopicPrefix(const QString &text);

// The roots every topic of one run hangs from.
struct MqttTopics {
    QString base;      // <prefix>/<site>
    QString discovery; // <discovery prefix>
    QString node;      // this installation's node id in discovery topics and unique ids

    MqttTopics(const QString &prefix, const QString &site, const QString &discoveryPrefix);

    QString availability() const;
    QString status(qint64 deviceId) const;
    QString state(qint64 deviceId, qint64 sensorId) const;
};

// What a sensor measures or shows, as Home Assistant classes it.
enum class SensorKind { Temperature, Humidity, Measurement, Door, Water, Power, Contact };

// The kind of a sensor from its type text (and, for a measurement, the unit it shows).
SensorKind KindOfSensor(const QString &sensorType, const QString &unitText);
bool IsBinaryKind(SensorKind kind);

// A sensor row as a cycle left it.
struct SensorState {
    qint64 deviceId = 0;
    qint64 sensorId = 0;
    QString deviceName;
    QString sensorName;
    QString sensorType;
    QString reading; // the reading or state text shown in the status grid
    QString unit;
    QString state;             // "Normal", "ALARM" or "NO DATA"
    bool acknowledged = false; // its open alarm has been acknowledged
    QDateTime time;
};

// A device as discovery describes it.
struct DeviceInfo {
    qint64 id = 0;
    QString name;
    QString address;
    QString model;
    QString firmware; // empty before the device has answered
    QString configurationUrl;
};

// Date and time in ISO 8601 with the offset from UTC.
QString IsoTimeWithOffset(const QDateTime &time);

QByteArray StatePayload(const SensorState &sensor);
// outcome: "OK", "FAILED" or "busy".
QByteArray StatusPayload(const DeviceInfo &device, const QString &outcome, const QDateTime &time);

// The discovery config messages of one sensor, topic and payload: its reading (a sensor or a
// binary sensor by kind) and its alarm (a binary sensor of class problem).
QList<QPair<QString, QByteArray>> DiscoveryConfigs(const MqttTopics &topics, const DeviceInfo &device,
                                                   const SensorState &sensor);
