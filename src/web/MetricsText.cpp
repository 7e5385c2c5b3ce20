#include "MetricsText.h"

#include <QDateTime>

namespace {
using Status = StatusGridModel::SensorStatus;

// Writes one metric family: its HELP and TYPE lines, then its samples.
class Family {
public:
    Family(QString &out, const char *name, const char *help) : m_out(out), m_name(QLatin1String(name))
    {
        m_out += QStringLiteral("# HELP %1 %2\n# TYPE %1 gauge\n").arg(m_name, QLatin1String(help));
    }

    // labels: name, value pairs.
    void sample(std::initializer_list<std::pair<const char *, QString>> labels, double value)
    {
        m_out += m_name;
        if (labels.size() > 0) {
            m_out += QLatin1Char('{');
            bool first = true;
            for (const auto &[label, text] : labels) {
                if (!first)
                    m_out += QLatin1Char(',');
                first = false;
                m_out +=
                    QLatin1String(label) + QStringLiteral("=\"") + EscapeLabelValue(text) + QLatin1Char('"');
            }
            m_out += QLatin1Char('}');
        }
        m_out += QLatin1Char(' ') + QString::number(value, 'g', 15) + QLatin1Char('\n');
    }

private:
    QString &m_out;
    QString m_name;
};

void sensorFamilies(QString &out, const QList<SensorView> &sensors)
{
    Family value(out, "tallyport_sensor_value",
                 "The sensor's latest reading in its unit; absent while it shows a state or no data.");
    for (const SensorView &s : sensors)
        if (s.value)
            value.sample({{"device", s.device},
                          {"sensor", s.sensor},
                          {"sensor_id", QString::number(s.sensorId)},
                          {"unit", s.unit}},
                         *s.value);
    Family alarm(out, "tallyport_sensor_alarm", "1 while the sensor has an active alarm, else 0.");
    for (const SensorView &s : sensors)
        alarm.sample({{"device", s.device}, {"sensor", s.sensor}, {"sensor_id", QString::number(s.sensorId)}},
                     s.status == Status::Alarm ? 1 : 0);
    Family noData(out, "tallyport_sensor_no_data",
                  "1 while the sensor's device gives no data (NO DATA), else 0.");
    for (const SensorView &s : sensors)
        noData.sample(
            {{"device", s.device}, {"sensor", s.sensor}, {"sensor_id", QString::number(s.sensorId)}},
            s.status == Status::NoData ? 1 : 0);
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
    out.reserve(256 + snapshot.sensors.size() * 300);
    sensorFamilies(out, snapshot.sensors);

    Family up(out, "tallyport_device_up",
              "1 when the device answered in the last cycle (OK or busy), 0 when it failed.");
    for (const DeviceView &d : snapshot.devices)
        if (d.outcome != DeviceView::Outcome::Unknown)
            up.sample({{"device", d.name}, {"address", d.address}},
                      d.outcome == DeviceView::Outcome::Failed ? 0 : 1);

    if (snapshot.cycle.lastDurationMs >= 0) {
        Family duration(out, "tallyport_cycle_duration_seconds", "How long the last poll cycle took.");
        duration.sample({}, snapshot.cycle.lastDurationMs / 1000.0);
    }
    if (snapshot.cycle.lastEnd.isValid()) {
        Family end(out, "tallyport_last_cycle_end_timestamp_seconds",
                   "When the last poll cycle ended, in Unix time.");
        end.sample({}, snapshot.cycle.lastEnd.toMSecsSinceEpoch() / 1000.0);
    }
    Family open(out, "tallyport_alarms_open", "The number of alarm records still active.");
    open.sample({}, snapshot.openAlarms.size());
    if (snapshot.emailsWaiting) {
        Family waiting(out, "tallyport_emails_waiting", "E-mails waiting in the outbox to be delivered.");
        waiting.sample({}, *snapshot.emailsWaiting);
    }
    return out.toUtf8();
}
