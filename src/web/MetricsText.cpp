#include "MetricsText.h"

#include <QDateTime>

#include <algorithm>

// The text is written as UTF-8 bytes straight away: at tens of thousands of sensors a scrape
// writes megabytes, and building it as a QString first took several times as long.
namespace {
using Status = StatusGridModel::SensorStatus;

// The HELP and TYPE lines of a family.
void family(QByteArray &out, const char *name, const char *help, const char *type = "gauge")
{
    out.append("# HELP ").append(name).append(' ').append(help).append("\n# TYPE ").append(name);
    out.append(' ').append(type).append('\n');
}

// A sample: name, labels as written between the braces (empty for none), then the value, a
// number written with 15 significant digits and no trailing zeros.
void sampleStart(QByteArray &out, const char *name, const QByteArray &labels)
{
    out.append(name);
    if (!labels.isEmpty())
        out.append('{').append(labels).append('}');
    out.append(' ');
}
void sample(QByteArray &out, const char *name, const QByteArray &labels, double value)
{
    sampleStart(out, name, labels);
    out.append(QString::number(value, 'g', 15).toLatin1()).append('\n');
}
// A whole number (a count or a flag): the same digits the number above gives it.
void sampleCount(QByteArray &out, const char *name, const QByteArray &labels, qint64 value)
{
    sampleStart(out, name, labels);
    out.append(QByteArray::number(value)).append('\n');
}

// The value in UTF-8 with backslash, double quote and line feed escaped. Those are ASCII, and
// UTF-8 never uses ASCII bytes within a longer character, so they are escaped in the bytes.
void appendEscaped(QByteArray &out, const QString &value)
{
    const QByteArray bytes = value.toUtf8();
    const auto special = [](char c) { return c == '\\' || c == '"' || c == '\n'; };
    if (std::none_of(bytes.cbegin(), bytes.cend(), special)) {
        out.append(bytes);
        return;
    }
    for (const char c : bytes) {
        if (c == '\\')
            out.append("\\\\");
        else if (c == '"')
            out.append("\\\"");
        else if (c == '\n')
            out.append("\\n");
        else
            out.append(c);
    }
}

// name="value", the value escaped; after a comma when the labels have one already.
void label(QByteArray &out, const char *name, const QString &value)
{
    if (!out.isEmpty())
        out.append(',');
    out.append(name).append("=\"");
    appendEscaped(out, value);
    out.append('"');
}

QByteArray label(const char *name, const QString &value)
{
    QByteArray out;
    label(out, name, value);
    return out;
}

void sensorFamilies(QByteArray &out, const QList<SensorView> &sensors)
{
    // Each sensor's labels are escaped once and used by all three families.
    QList<QByteArray> labels;
    labels.reserve(sensors.size());
    for (const SensorView &s : sensors) {
        QByteArray text;
        label(text, "device", s.device);
        label(text, "sensor", s.sensor);
        text.append(",sensor_id=\"").append(QByteArray::number(s.sensorId)).append('"');
        labels.append(text);
    }
    family(out, "tallyport_sensor_value",
           "The sensor's latest reading in its unit; absent while it shows a state or no data.");
    for (qsizetype i = 0; i < sensors.size(); ++i) {
        if (!sensors[i].value)
            continue;
        out.append("tallyport_sensor_value{").append(labels[i]).append(",unit=\"");
        appendEscaped(out, sensors[i].unit);
        out.append("\"} ").append(QString::number(*sensors[i].value, 'g', 15).toLatin1()).append('\n');
    }
    family(out, "tallyport_sensor_alarm", "1 while the sensor has an active alarm, else 0.");
    for (qsizetype i = 0; i < sensors.size(); ++i)
        sampleCount(out, "tallyport_sensor_alarm", labels[i], sensors[i].status == Status::Alarm ? 1 : 0);
    family(out, "tallyport_sensor_no_data", "1 while the sensor's device gives no data (NO DATA), else 0.");
    for (qsizetype i = 0; i < sensors.size(); ++i)
        sampleCount(out, "tallyport_sensor_no_data", labels[i], sensors[i].status == Status::NoData ? 1 : 0);
}

void channelFamilies(QByteArray &out, const QList<ChannelView> &channels)
{
    if (channels.isEmpty())
        return;
    family(out, "tallyport_notifications_waiting", "Messages waiting in a notification channel's queue.");
    for (const ChannelView &c : channels)
        sampleCount(out, "tallyport_notifications_waiting", label("channel", c.name), c.waiting);
    family(out, "tallyport_notifications_failed_total",
           "Messages a notification channel gave up since Tallyport started.", "counter");
    for (const ChannelView &c : channels)
        sampleCount(out, "tallyport_notifications_failed_total", label("channel", c.name), c.failed);
}
} // namespace

QString EscapeLabelValue(const QString &value)
{
    QByteArray escaped;
    appendEscaped(escaped, value);
    return QString::fromUtf8(escaped);
}

QByteArray MetricsText(const WebSnapshot &snapshot)
{
    QByteArray out;
    out.reserve(1024 + snapshot.sensors.size() * 300 + snapshot.devices.size() * 100);
    sensorFamilies(out, snapshot.sensors);

    family(out, "tallyport_device_up",
           "1 when the device answered in the last cycle (OK or busy), 0 when it failed.");
    for (const DeviceView &d : snapshot.devices) {
        if (d.outcome == DeviceView::Outcome::Unknown)
            continue;
        QByteArray labels;
        label(labels, "device", d.name);
        label(labels, "address", d.address);
        sampleCount(out, "tallyport_device_up", labels, d.outcome == DeviceView::Outcome::Failed ? 0 : 1);
    }
    if (snapshot.cycle.lastDurationMs >= 0) {
        family(out, "tallyport_cycle_duration_seconds", "How long the last poll cycle took.");
        sample(out, "tallyport_cycle_duration_seconds", {}, snapshot.cycle.lastDurationMs / 1000.0);
    }
    if (snapshot.cycle.lastEnd.isValid()) {
        family(out, "tallyport_last_cycle_end_timestamp_seconds",
               "When the last poll cycle ended, in Unix time.");
        sample(out, "tallyport_last_cycle_end_timestamp_seconds", {},
               snapshot.cycle.lastEnd.toMSecsSinceEpoch() / 1000.0);
    }
    family(out, "tallyport_alarms_open", "The number of alarm records still active.");
    sampleCount(out, "tallyport_alarms_open", {}, snapshot.openAlarms.size());
    family(out, "tallyport_alarms_unacknowledged", "Active alarms nobody has acknowledged yet.");
    sampleCount(out, "tallyport_alarms_unacknowledged", {},
                std::count_if(snapshot.openAlarms.cbegin(), snapshot.openAlarms.cend(),
                              [](const AlarmRecord &a) { return !a.Ack.isSet(); }));
    if (!snapshot.escalationSteps.isEmpty()) {
        family(out, "tallyport_escalations_total",
               "Alarms an escalation step was taken for since Tallyport started.", "counter");
        for (auto it = snapshot.escalationSteps.cbegin(); it != snapshot.escalationSteps.cend(); ++it)
            sampleCount(out, "tallyport_escalations_total", label("step", QString::number(it.key())),
                        qint64(it.value()));
    }
    if (snapshot.emailsWaiting) {
        family(out, "tallyport_emails_waiting", "E-mails waiting in the outbox to be delivered.");
        sampleCount(out, "tallyport_emails_waiting", {}, *snapshot.emailsWaiting);
    }
    channelFamilies(out, snapshot.channels);
    return out;
}
