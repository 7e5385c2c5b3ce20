#include "StatusJson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {
QJsonValue timeValue(const QDateTime &when)
{
    return when.isValid() ? QJsonValue(IsoTime(when)) : QJsonValue(QJsonValue::Null);
}

QJsonObject sensorObject(const SensorView &s)
{
    return {{QStringLiteral("device"), s.device},
            {QStringLiteral("sensor"), s.sensor},
            {QStringLiteral("sensorId"), s.sensorId},
            {QStringLiteral("reading"), s.reading},
            {QStringLiteral("value"), s.value ? QJsonValue(*s.value) : QJsonValue(QJsonValue::Null)},
            {QStringLiteral("unit"), s.unit},
            {QStringLiteral("status"), StatusGridModel::statusText(s.status)},
            {QStringLiteral("colour"), StatusGridModel::statusColour(s.status).name()},
            {QStringLiteral("current"), s.current}};
}

} // namespace

QJsonObject AckJson(const AlarmAck &ack)
{
    return {{QStringLiteral("alarm"), ack.AlarmID},       {QStringLiteral("by"), ack.AckBy},
            {QStringLiteral("at"), timeValue(ack.AckAt)}, {QStringLiteral("via"), ack.AckVia},
            {QStringLiteral("peer"), ack.AckPeer},        {QStringLiteral("comment"), ack.AckComment}};
}

namespace {
QJsonObject alarmObject(const AlarmRecord &a)
{
    return {{QStringLiteral("id"), a.IDNum},
            {QStringLiteral("sensorId"), a.SensorIDNum},
            {QStringLiteral("start"), timeValue(a.AlarmStart)},
            {QStringLiteral("end"), timeValue(a.AlarmEnd)},
            {QStringLiteral("active"), a.AlarmActive},
            {QStringLiteral("device"), a.Server},
            {QStringLiteral("sensor"), a.Sensor},
            {QStringLiteral("currentData"), a.CurrentData},
            {QStringLiteral("minutesOutOfLimits"), a.TOL},
            {QStringLiteral("cause"), a.CauseOfAlarm},
            {QStringLiteral("emailSent"), a.EmailSent},
            {QStringLiteral("resolution"), a.Resolution},
            {QStringLiteral("acknowledgement"),
             a.Ack.isSet() ? QJsonValue(AckJson(a.Ack)) : QJsonValue(QJsonValue::Null)}};
}

QJsonObject failureObject(const ServerFailureRecord &f)
{
    return {{QStringLiteral("id"), f.IDNum},
            {QStringLiteral("device"), f.ServerName},
            {QStringLiteral("deviceId"), f.ServerIDNum},
            {QStringLiteral("offLine"), timeValue(f.OffLine)},
            {QStringLiteral("backOnLine"), f.BackOnLine},
            {QStringLiteral("emailSent"), f.EmailSent}};
}

QJsonObject cycleObject(const WebSnapshot &s)
{
    return {{QStringLiteral("running"), s.cycle.running},
            {QStringLiteral("lastStart"), timeValue(s.cycle.lastStart)},
            {QStringLiteral("lastEnd"), timeValue(s.cycle.lastEnd)},
            {QStringLiteral("durationSeconds"), s.cycle.lastDurationMs >= 0
                                                    ? QJsonValue(s.cycle.lastDurationMs / 1000.0)
                                                    : QJsonValue(QJsonValue::Null)},
            {QStringLiteral("updateRateSeconds"), s.updateRateSeconds}};
}

template <typename T, typename F> QJsonArray arrayOf(const QList<T> &items, F toObject)
{
    QJsonArray array;
    for (const T &item : items)
        array.append(toObject(item));
    return array;
}
} // namespace

QByteArray StatusJson(const WebSnapshot &s)
{
    QJsonObject root;
    root.insert(QStringLiteral("time"), IsoTime(s.now));
    root.insert(QStringLiteral("health"), QJsonObject{{QStringLiteral("ok"), s.health.ok},
                                                      {QStringLiteral("code"), s.health.code},
                                                      {QStringLiteral("text"), s.health.text}});
    root.insert(QStringLiteral("cycle"), cycleObject(s));
    root.insert(QStringLiteral("sensors"), arrayOf(s.sensors, sensorObject));
    root.insert(QStringLiteral("devices"), arrayOf(s.devices, [](const DeviceView &d) {
                    return QJsonObject{{QStringLiteral("name"), d.name},
                                       {QStringLiteral("address"), d.address},
                                       {QStringLiteral("outcome"), d.outcomeText()}};
                }));
    root.insert(QStringLiteral("openAlarms"), arrayOf(s.openAlarms, alarmObject));
    root.insert(QStringLiteral("recentFailures"), arrayOf(s.recentFailures, failureObject));
    root.insert(QStringLiteral("statusLines"), QJsonArray::fromStringList(s.otherStatusLines));
    root.insert(QStringLiteral("emailsWaiting"),
                s.emailsWaiting ? QJsonValue(*s.emailsWaiting) : QJsonValue(QJsonValue::Null));
    root.insert(QStringLiteral("notifications"), arrayOf(s.channels, [](const ChannelView &c) {
                    return QJsonObject{{QStringLiteral("channel"), c.name},
                                       {QStringLiteral("type"), c.type},
                                       {QStringLiteral("waiting"), c.waiting},
                                       {QStringLiteral("failed"), c.failed}};
                }));
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}

QByteArray AlarmsJson(const QList<AlarmRecord> &alarms)
{
    return QJsonDocument(QJsonObject{{QStringLiteral("alarms"), arrayOf(alarms, alarmObject)}})
        .toJson(QJsonDocument::Compact);
}
