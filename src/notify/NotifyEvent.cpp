#include "NotifyEvent.h"

#include <core/DateTimeText.h>

#include <QHostInfo>
#include <QJsonDocument>
#include <QJsonValue>
#include <QUuid>

#include <charconv>
#include <cmath>

namespace {
// Compact JSON text, one member after the other.
class JsonWriter {
public:
    JsonWriter()
    {
        m_out.reserve(1024);
        m_out.append('{');
    }
    void text(const char *key, const QString &value)
    {
        name(key);
        quoted(value.toUtf8());
    }
    void integer(const char *key, qint64 value)
    {
        name(key);
        m_out.append(QByteArray::number(value));
    }
    void number(const char *key, const std::optional<double> &value)
    {
        name(key);
        if (value && std::isfinite(*value))
            m_out.append(shortest(*value));
        else
            m_out.append("null");
    }
    void time(const char *key, const QDateTime &when)
    {
        name(key);
        if (when.isValid())
            quoted(IsoTime(when).toUtf8());
        else
            m_out.append("null");
    }
    void beginObject(const char *key)
    {
        name(key);
        m_out.append('{');
        m_first = true;
    }
    void endObject()
    {
        m_out.append('}');
        m_first = false;
    }
    QByteArray finish()
    {
        m_out.append('}');
        return std::move(m_out);
    }

private:
    // Readings come from the devices as single precision: -6.2 read that way is written -6.2, not
    // as the double it widens to (-6.199999809265137).
    static QByteArray shortest(double value)
    {
        char text[64];
        const float single = float(value);
        const auto end = double(single) == value ? std::to_chars(text, text + sizeof text, single).ptr
                                                 : std::to_chars(text, text + sizeof text, value).ptr;
        return QByteArray(text, end - text);
    }
    void name(const char *key)
    {
        if (!m_first)
            m_out.append(',');
        m_first = false;
        m_out.append('"').append(key).append("\":");
    }
    void quoted(const QByteArray &utf8)
    {
        m_out.append('"');
        for (const char c : utf8) {
            switch (c) {
            case '"':
                m_out.append("\\\"");
                break;
            case '\\':
                m_out.append("\\\\");
                break;
            case '\n':
                m_out.append("\\n");
                break;
            case '\r':
                m_out.append("\\r");
                break;
            case '\t':
                m_out.append("\\t");
                break;
            default:
                if (uchar(c) < 0x20)
                    m_out.append("\\u00").append(QByteArray::number(uchar(c), 16).rightJustified(2, '0'));
                else
                    m_out.append(c);
            }
        }
        m_out.append('"');
    }

    QByteArray m_out;
    bool m_first = true;
};

std::optional<double> numberOf(const QJsonValue &value)
{
    return value.isDouble() ? std::optional<double>(value.toDouble()) : std::nullopt;
}

QDateTime timeOf(const QJsonValue &value)
{
    return QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
}

// The kinds of an alarm's follow-up messages are stored as "alarm" with the stage beside it: a
// version that knows only the alarm's own kinds then sends them as the alarm they are about
// (and not as a test message), and this one reads the kind back.
const QString kAlarmKind = QStringLiteral("alarm");
const QString kStagePrefix = QStringLiteral("alarm-");
const QStringList kStages{QStringLiteral("reminder"), QStringLiteral("escalation"),
                          QStringLiteral("acknowledged")};

QString stageOf(const QString &kind)
{
    const QString stage = kind.startsWith(kStagePrefix) ? kind.mid(kStagePrefix.size()) : QString();
    return kStages.contains(stage) ? stage : QString();
}
} // namespace

QByteArray NotifyEvent::Json() const
{
    return document(kind, QString());
}

QByteArray NotifyEvent::document(const QString &event, const QString &stage) const
{
    // Written directly, in the documented order: this runs for every event while the alarm's
    // transaction is open, and a JSON object built first costs several times as much.
    JsonWriter w;
    w.text("id", id);
    w.text("event", event);
    if (!stage.isEmpty())
        w.text("stage", stage);
    w.time("time", time);
    w.text("device", device);
    w.text("address", address);
    w.number("port", port ? std::optional<double>(*port) : std::nullopt);
    w.text("sensor", sensor);
    w.integer("sensorId", sensorId);
    w.number("reading", reading);
    w.text("units", units);
    w.text("state", state);
    w.beginObject("limits");
    w.number("upper", upperLimit);
    w.number("lower", lowerLimit);
    w.endObject();
    w.integer("alarmNumber", alarmNumber);
    w.time("startedAt", startedAt);
    w.text("subject", subject);
    w.text("text", text);
    w.text("organisation", organisation);
    w.text("collector", collector);
    return w.finish();
}

QString NotifyEvent::StoredKind() const
{
    return stageOf(kind).isEmpty() ? kind : kAlarmKind;
}

QString NotifyEvent::StoredPayload() const
{
    return QString::fromUtf8(document(StoredKind(), stageOf(kind)));
}

NotifyEvent NotifyEvent::FromStoredPayload(const QString &payload)
{
    const QJsonObject o = QJsonDocument::fromJson(payload.toUtf8()).object();
    NotifyEvent e = fromJson(o);
    // Stored under its own kind by an earlier version, it reads as stored.
    const QString stage = o.value(QStringLiteral("stage")).toString();
    if (e.kind == kAlarmKind && kStages.contains(stage))
        e.kind = kStagePrefix + stage;
    return e;
}

bool NotifyEvent::StoredWithoutPort(const QString &payload)
{
    return !QJsonDocument::fromJson(payload.toUtf8()).object().contains(QStringLiteral("port"));
}

NotifyEvent NotifyEvent::fromJson(const QJsonObject &o)
{
    NotifyEvent e;
    e.id = o.value(QStringLiteral("id")).toString();
    e.kind = o.value(QStringLiteral("event")).toString();
    e.time = timeOf(o.value(QStringLiteral("time")));
    e.device = o.value(QStringLiteral("device")).toString();
    e.address = o.value(QStringLiteral("address")).toString();
    if (const QJsonValue port = o.value(QStringLiteral("port")); port.isDouble())
        e.port = port.toInt();
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

bool AlertAcknowledgement::Names(const NotifyEvent &event) const
{
    return event.device == device && event.sensor == sensor &&
           (event.alarmNumber == alarmNumber || event.alarmNumber == 0);
}
