#include "NotifyEvent.h"

#include <core/DateTimeText.h>

#include <QHostInfo>
#include <QJsonDocument>
#include <QJsonValue>
#include <QUuid>

namespace {
QJsonValue numberOrNull(const std::optional<double> &value)
{
    return value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null);
}

std::optional<double> numberOf(const QJsonValue &value)
{
    return value.isDouble() ? std::optional<double>(value.toDouble()) : std::nullopt;
}

QJsonValue timeOrNull(const QDateTime &when)
{
    return when.isValid() ? QJsonValue(IsoTime(when)) : QJsonValue(QJsonValue::Null);
}

QDateTime timeOf(const QJsonValue &value)
{
    return QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
}
} // namespace

QJsonObject NotifyEvent::toJson() const
{
    return QJsonObject{
        {QStringLiteral("id"), id},
        {QStringLiteral("event"), kind},
        {QStringLiteral("time"), timeOrNull(time)},
        {QStringLiteral("device"), device},
        {QStringLiteral("address"), address},
        {QStringLiteral("sensor"), sensor},
        {QStringLiteral("sensorId"), sensorId},
        {QStringLiteral("reading"), numberOrNull(reading)},
        {QStringLiteral("units"), units},
        {QStringLiteral("state"), state},
        {QStringLiteral("limits"), QJsonObject{{QStringLiteral("upper"), numberOrNull(upperLimit)},
                                               {QStringLiteral("lower"), numberOrNull(lowerLimit)}}},
        {QStringLiteral("alarmNumber"), alarmNumber},
        {QStringLiteral("startedAt"), timeOrNull(startedAt)},
        {QStringLiteral("subject"), subject},
        {QStringLiteral("text"), text},
        {QStringLiteral("organisation"), organisation},
        {QStringLiteral("collector"), collector},
    };
}

QString NotifyEvent::StoredPayload() const
{
    return QString::fromUtf8(QJsonDocument(toJson()).toJson(QJsonDocument::Compact));
}

NotifyEvent NotifyEvent::FromStoredPayload(const QString &payload)
{
    return fromJson(QJsonDocument::fromJson(payload.toUtf8()).object());
}

NotifyEvent NotifyEvent::fromJson(const QJsonObject &o)
{
    NotifyEvent e;
    e.id = o.value(QStringLiteral("id")).toString();
    e.kind = o.value(QStringLiteral("event")).toString();
    e.time = timeOf(o.value(QStringLiteral("time")));
    e.device = o.value(QStringLiteral("device")).toString();
    e.address = o.value(QStringLiteral("address")).toString();
    e.sensor = o.value(QStringLiteral("sensor")).toString();
    e.sensorId = o.value(QStringLiteral("sensorId")).toInteger();
    e.reading = numberOf(o.value(QStringLiteral("reading")));
    e.units = o.value(QStringLiteral("units")).toString();
    e.state = o.value(QStringLiteral("state")).toString();
    const QJsonObject limits = o.value(QStringLiteral("limits")).toObject();
    e.upperLimit = numberOf(limits.value(QStringLiteral("upper")));
    e.lowerLimit = numberOf(limits.value(QStringLiteral("lower")));
    e.alarmNumber = o.value(QStringLiteral("alarmNumber")).toInteger();
    e.startedAt = timeOf(o.value(QStringLiteral("startedAt")));
    e.subject = o.value(QStringLiteral("subject")).toString();
    e.text = o.value(QStringLiteral("text")).toString();
    e.organisation = o.value(QStringLiteral("organisation")).toString();
    e.collector = o.value(QStringLiteral("collector")).toString();
    return e;
}

NotifyEvent NotifyEvent::make(const QString &kind, const QDateTime &now, const QString &organisation)
{
    NotifyEvent e;
    e.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    e.kind = kind;
    e.time = now;
    e.organisation = organisation.trimmed();
    e.collector = QHostInfo::localHostName();
    return e;
}
