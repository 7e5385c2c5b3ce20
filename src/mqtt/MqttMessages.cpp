#include "MqttMessages.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <cmath>

namespace {
const QString kOn = QStringLiteral("on");

// Letters, digits, "_" and "-" only, as discovery topics and unique ids allow.
QString idText(const QString &text)
{
    QString id;
    for (const QChar c : text) {
        const bool plain = (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
                           (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('-');
        id += plain ? c : QLatin1Char('_');
    }
    return id;
}

std::optional<double> numberIn(const QString &reading)
{
    bool ok = false;
    const double value = reading.trimmed().toDouble(&ok);
    return ok && std::isfinite(value) ? std::optional<double>(value) : std::nullopt;
}

// Whether a binary sensor's state text means on: open, water, power present. Empty when the
// text is neither of its two states (no data, a code).
std::optional<bool> binaryState(SensorKind kind, const QString &reading)
{
    const QString text = reading.trimmed();
    const auto pair = [&text](const char *on, const char *off) -> std::optional<bool> {
        if (text.compare(QLatin1String(on), Qt::CaseInsensitive) == 0)
            return true;
        if (text.compare(QLatin1String(off), Qt::CaseInsensitive) == 0)
            return false;
        return std::nullopt;
    };
    switch (kind) {
    case SensorKind::Door:
    case SensorKind::Contact:
        return pair("Open", "Closed");
    case SensorKind::Water:
        return pair("Water Detected", "Water Not Detected");
    case SensorKind::Power:
        return pair("Power On", "Power Off");
    default:
        return std::nullopt;
    }
}

QJsonValue orNull(const std::optional<double> &value)
{
    return value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null);
}

QJsonObject deviceObject(const MqttTopics &topics, const DeviceInfo &device)
{
    QJsonObject object{{QStringLiteral("identifiers"),
                        QJsonArray{topics.node + QStringLiteral("_device_") + QString::number(device.id)}},
                       {QStringLiteral("name"), device.name},
                       {QStringLiteral("model"), device.model},
                       {QStringLiteral("manufacturer"), QStringLiteral("Tallyport")}};
    if (!device.firmware.isEmpty())
        object.insert(QStringLiteral("sw_version"), device.firmware);
    if (!device.configurationUrl.isEmpty())
        object.insert(QStringLiteral("configuration_url"), device.configurationUrl);
    return object;
}

// What every config message of a sensor shares: where its state is and when it is available.
QJsonObject commonConfig(const MqttTopics &topics, const DeviceInfo &device, const SensorState &sensor)
{
    const QString stateTopic = topics.state(sensor.deviceId, sensor.sensorId);
    return {{QStringLiteral("state_topic"), stateTopic},
            {QStringLiteral("json_attributes_topic"), stateTopic},
            {QStringLiteral("availability_topic"), topics.availability()},
            {QStringLiteral("payload_available"), QStringLiteral("online")},
            {QStringLiteral("payload_not_available"), QStringLiteral("offline")},
            {QStringLiteral("device"), deviceObject(topics, device)}};
}

QString temperatureUnit(const QString &unitText)
{
    if (unitText.endsWith(QLatin1Char('C')))
        return QStringLiteral("\u00b0C");
    if (unitText.endsWith(QLatin1Char('F')))
        return QStringLiteral("\u00b0F");
    return QString();
}

// The reading's own config: a sensor with class and unit, or a binary sensor with its class.
QPair<QString, QByteArray> readingConfig(const MqttTopics &topics, const DeviceInfo &device,
                                         const SensorState &sensor, SensorKind kind)
{
    QJsonObject config = commonConfig(topics, device, sensor);
    const QString object = QStringLiteral("s") + QString::number(sensor.sensorId);
    config.insert(QStringLiteral("name"), sensor.sensorName);
    config.insert(QStringLiteral("unique_id"), topics.node + QLatin1Char('_') + object);
    QString component = QStringLiteral("sensor");
    if (IsBinaryKind(kind)) {
        component = QStringLiteral("binary_sensor");
        static const QHash<SensorKind, QString> classes{{SensorKind::Door, QStringLiteral("door")},
                                                        {SensorKind::Water, QStringLiteral("moisture")},
                                                        {SensorKind::Power, QStringLiteral("power")},
                                                        {SensorKind::Contact, QStringLiteral("opening")}};
        config.insert(QStringLiteral("device_class"), classes.value(kind));
        config.insert(
            QStringLiteral("value_template"),
            QStringLiteral("{{ 'None' if value_json.on is none else ('ON' if value_json.on else 'OFF') }}"));
    } else {
        config.insert(QStringLiteral("value_template"), QStringLiteral("{{ value_json.value }}"));
        config.insert(QStringLiteral("state_class"), QStringLiteral("measurement"));
        const QString celsiusOrFahrenheit = temperatureUnit(sensor.unit);
        if (kind == SensorKind::Temperature && !celsiusOrFahrenheit.isEmpty()) {
            config.insert(QStringLiteral("device_class"), QStringLiteral("temperature"));
            config.insert(QStringLiteral("unit_of_measurement"), celsiusOrFahrenheit);
        } else if (kind == SensorKind::Humidity) {
            config.insert(QStringLiteral("device_class"), QStringLiteral("humidity"));
            config.insert(QStringLiteral("unit_of_measurement"), QStringLiteral("%"));
        } else if (!sensor.unit.isEmpty()) {
            config.insert(QStringLiteral("unit_of_measurement"), sensor.unit);
        }
    }
    return {topics.discovery + QLatin1Char('/') + component + QLatin1Char('/') + topics.node +
                QLatin1Char('/') + object + QStringLiteral("/config"),
            QJsonDocument(config).toJson(QJsonDocument::Compact)};
}

QPair<QString, QByteArray> alarmConfig(const MqttTopics &topics, const DeviceInfo &device,
                                       const SensorState &sensor)
{
    QJsonObject config = commonConfig(topics, device, sensor);
    const QString object = QStringLiteral("s") + QString::number(sensor.sensorId) + QStringLiteral("_alarm");
    config.insert(QStringLiteral("name"), sensor.sensorName + QStringLiteral(" alarm"));
    config.insert(QStringLiteral("unique_id"), topics.node + QLatin1Char('_') + object);
    config.insert(QStringLiteral("device_class"), QStringLiteral("problem"));
    config.insert(QStringLiteral("value_template"),
                  QStringLiteral("{{ 'ON' if value_json.alarm else 'OFF' }}"));
    return {topics.discovery + QStringLiteral("/binary_sensor/") + topics.node + QLatin1Char('/') + object +
                QStringLiteral("/config"),
            QJsonDocument(config).toJson(QJsonDocument::Compact)};
}
} // namespace

QString SafeTopicLevel(const QString &text)
{
    QString level = text.trimmed();
    for (QChar &c : level) {
        if (c == QLatin1Char('/') || c == QLatin1Char('+') || c == QLatin1Char('#') || c.isNull())
            c = QLatin1Char('_');
    }
    return level.isEmpty() ? QStringLiteral("_") : level;
}

QString SafeTopicPrefix(const QString &text)
{
    QStringList levels;
    for (const QString &level : text.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (!level.trimmed().isEmpty())
            levels.append(SafeTopicLevel(level));
    }
    return levels.isEmpty() ? QStringLiteral("_") : levels.join(QLatin1Char('/'));
}

MqttTopics::MqttTopics(const QString &prefix, const QString &site, const QString &discoveryPrefix)
    : base(SafeTopicPrefix(prefix) + QLatin1Char('/') + SafeTopicLevel(site)),
      discovery(SafeTopicPrefix(discoveryPrefix)), node(idText(base.toLower()))
{
}

QString MqttTopics::availability() const
{
    return base + QStringLiteral("/availability");
}

QString MqttTopics::status(qint64 deviceId) const
{
    return base + QLatin1Char('/') + QString::number(deviceId) + QStringLiteral("/status");
}

QString MqttTopics::state(qint64 deviceId, qint64 sensorId) const
{
    return base + QLatin1Char('/') + QString::number(deviceId) + QLatin1Char('/') +
           QString::number(sensorId) + QStringLiteral("/state");
}

SensorKind KindOfSensor(const QString &sensorType, const QString &unitText)
{
    const auto has = [&sensorType](const char *word) {
        return sensorType.contains(QLatin1String(word), Qt::CaseInsensitive);
    };
    if (has("door"))
        return SensorKind::Door;
    if (has("water"))
        return SensorKind::Water;
    if (has("power"))
        return SensorKind::Power;
    if (has("dry contact"))
        return SensorKind::Contact;
    if (unitText.contains(QLatin1String("%RH")) || has("humidity"))
        return SensorKind::Humidity;
    if (unitText.startsWith(QChar(0xb0)) || has("temp"))
        return SensorKind::Temperature;
    return SensorKind::Measurement;
}

bool IsBinaryKind(SensorKind kind)
{
    return kind == SensorKind::Door || kind == SensorKind::Water || kind == SensorKind::Power ||
           kind == SensorKind::Contact;
}

QString IsoTimeWithOffset(const QDateTime &time)
{
    return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODate);
}

QByteArray StatePayload(const SensorState &sensor)
{
    const SensorKind kind = KindOfSensor(sensor.sensorType, sensor.unit);
    QJsonObject state{{QStringLiteral("device"), sensor.deviceName},
                      {QStringLiteral("sensor"), sensor.sensorName},
                      {QStringLiteral("reading"), sensor.reading.trimmed()},
                      {QStringLiteral("value"), orNull(numberIn(sensor.reading))},
                      {QStringLiteral("units"), sensor.unit},
                      {QStringLiteral("state"), sensor.state},
                      {QStringLiteral("alarm"), sensor.state != QLatin1String("Normal")},
                      {QStringLiteral("acknowledged"), sensor.acknowledged},
                      {QStringLiteral("time"), IsoTimeWithOffset(sensor.time)}};
    if (IsBinaryKind(kind)) {
        const std::optional<bool> on = binaryState(kind, sensor.reading);
        state.insert(kOn, on ? QJsonValue(*on) : QJsonValue(QJsonValue::Null));
    }
    return QJsonDocument(state).toJson(QJsonDocument::Compact);
}

QByteArray StatusPayload(const DeviceInfo &device, const QString &outcome, const QDateTime &time)
{
    const QJsonObject status{{QStringLiteral("name"), device.name},
                             {QStringLiteral("address"), device.address},
                             {QStringLiteral("status"), outcome},
                             {QStringLiteral("time"), IsoTimeWithOffset(time)}};
    return QJsonDocument(status).toJson(QJsonDocument::Compact);
}

QList<QPair<QString, QByteArray>> DiscoveryConfigs(const MqttTopics &topics, const DeviceInfo &device,
                                                   const SensorState &sensor)
{
    const SensorKind kind = KindOfSensor(sensor.sensorType, sensor.unit);
    return {readingConfig(topics, device, sensor, kind), alarmConfig(topics, device, sensor)};
}
