#include "MetricsText.h"

#include <QDateTime>

namespace {
using Status = StatusGridModel::SensorStatus;

// The HELP and TYPE lines of a gauge.
void family(QString &out, const char *name, const char *help)
{
    out += QStringLiteral("# HELP %1 %2\n# TYPE %1 gauge\n").arg(QLatin1String(name), QLatin1String(help));
}

// A sample: name, labels as written between the braces (empty for none), value.
void sample(QString &out, const char *name, const QString &labels, double value)
{
    out += QLatin1String(name);
    if (!labels.isEmpty())
        out += QLatin1Char('{') + labels + QLatin1Char('}');
    out += QLatin1Char(' ') + QString::number(value, 'g', 15) + QLatin1Char('\n');
}

QString label(const char *name, const QString &value)
{
    return QLatin1String(name) + QStringLiteral("=\"") + EscapeLabelValue(value) + QLatin1Char('"');
}

void sensorFamilies(QString &out, const QList<SensorView> &sensors)
{
    // Each sensor's labels are escaped once and used by all three families.
    QStringList labels;
    labels.reserve(sensors.size());
    for (const SensorView &s : sensors)
        labels.append(label("device", s.device) + QLatin1Char(',') + label("sensor", s.sensor) +
                      QLatin1Char(',') + label("sensor_id", QString::number(s.sensorId)));
    family(out, "tallyport_sensor_value",
           "The sensor's latest reading in its unit; absent while it shows a state or no data.");
    for (qsizetype i = 0; i < sensors.size(); ++i)
        if (sensors[i].value)
            sample(out, "tallyport_sensor_value",
                   labels[i] + QLatin1Char(',') + label("unit", sensors[i].unit), *sensors[i].value);
    family(out, "tallyport_sensor_alarm", "1 while the sensor has an active alarm, else 0.");
    for (qsizetype i = 0; i < sensors.size(); ++i)
        sample(out, "tallyport_sensor_alarm", labels[i], sensors[i].status == Status::Alarm ? 1 : 0);
    family(out, "tallyport_sensor_no_data", "1 while the sensor's device gives no data (NO DATA), else 0.");
    for (qsizetype i = 0; i < sensors.size(); ++i)
        sample(out, "tallyport_sensor_no_data", labels[i], sensors[i].status == Status::NoData ? 1 : 0);
}
void channelFamilies(QString &out, const QList<ChannelView> &channels)
{
    if (channels.isEmpty())
        return;
    family(out, "tallyport_notifications_waiting", "Messages waiting in a notification channel's queue.");
    for (const ChannelView &c : channels)
        sample(out, "tallyport_notifications_waiting", label("channel", c.name), c.waiting);
    out +=
        QStringLiteral("# HELP tallyport_notifications_failed_total Messages a notification channel gave up "
                       "since Tallyport started.\n# TYPE tallyport_notifications_failed_total counter\n");
    for (const ChannelView &c : channels)
        sample(out, "tallyport_notifications_failed_total", label("channel", c.name), c.failed);
}
} // namespace

QString EscapeLabelValue(const QString &value)
{
    QString escaped;
    escaped.reserve(value.size());
    for (const QChar c : value) {
        if (c == QLatin1Char('\\'))
            escaped += QStringLiteral("\\\\");
        else if (c == QLatin1Char('"'))
            escaped += QStringLiteral("\\\"");
        else if (c == QLatin1Char('\n'))
            escaped += QStringLiteral("\\n");
        else
            escaped += c;
    }
    return escaped;
}

QByteArray MetricsText(const WebSnapshot &snapshot)
{
    QString out;
    out.reserve(1024 + snapshot.sensors.size() * 280);
    sensorFamilies(out, snapshot.sensors);

    family(out, "tallyport_device_up",
           "1 when the device answered in the last cycle (OK or busy), 0 when it failed.");
    for (const DeviceView &d : snapshot.devices)
        if (d.outcome != DeviceView::Outcome::Unknown)
            sample(out, "tallyport_device_up",
                   label("device", d.name) + QLatin1Char(',') + label("address", d.address),
                   d.outcome == DeviceView::Outcome::Failed ? 0 : 1);
    if (snapshot.cycle.lastDurationMs >= 0) {
        family(out, "tallyport_cycle_duration_seconds", "How long the last poll cycle took.");
        sample(out, "tallyport_cycle_duration_seconds", QString(), snapshot.cycle.lastDurationMs / 1000.0);
    }
    if (snapshot.cycle.lastEnd.isValid()) {
        family(out, "tallyport_last_cycle_end_timestamp_seconds",
               "When the last poll cycle ended, in Unix time.");
        sample(out, "tallyport_last_cycle_end_timestamp_seconds", QString(),
               snapshot.cycle.lastEnd.toMSecsSinceEpoch() / 1000.0);
    }
    family(out, "tallyport_alarms_open", "The number of alarm records still active.");
    sample(out, "tallyport_alarms_open", QString(), snapshot.openAlarms.size());
    family(out, "tallyport_alarms_unacknowledged", "Active alarms nobody has acknowledged yet.");
    sample(out, "tallyport_alarms_unacknowledged", QString(),
           std::count_if(snapshot.openAlarms.cbegin(), snapshot.openAlarms.cend(),
                         [](const AlarmRecord &a) { return !a.Ack.isSet(); }));
    if (!snapshot.escalationSteps.isEmpty()) {
        out +=
            QStringLiteral("# HELP tallyport_escalations_total Alarms an escalation step was taken for since "
                           "Tallyport started.\n# TYPE tallyport_escalations_total counter\n");
        for (auto it = snapshot.escalationSteps.cbegin(); it != snapshot.escalationSteps.cend(); ++it)
            sample(out, "tallyport_escalations_total", label("step", QString::number(it.key())), it.value());
    }
    if (snapshot.emailsWaiting) {
        family(out, "tallyport_emails_waiting", "E-mails waiting in the outbox to be delivered.");
        sample(out, "tallyport_emails_waiting", QString(), *snapshot.emailsWaiting);
    }
    channelFamilies(out, snapshot.channels);
    return out.toUtf8();
}
