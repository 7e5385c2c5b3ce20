#include "MqttPublisher.h"

#include <acquisition/StatusGridModel.h>
#include <core/Activation.h>
#include <core/ProgramState.h>
#include <db/Database.h>

#include <QCryptographicHash>
#include <QDir>
#include <QSysInfo>

const QString MqttPublisher::StatusKey = QStringLiteral("MQTT: ");

namespace {
const QByteArray kOnline = QByteArrayLiteral("online");
const QByteArray kOffline = QByteArrayLiteral("offline");

QString cycleOutcomeText(PollCycle::Outcome outcome)
{
    switch (outcome) {
    case PollCycle::Outcome::Ok:
        return QStringLiteral("OK");
    case PollCycle::Outcome::Busy:
        return QStringLiteral("busy");
    case PollCycle::Outcome::Failed:
        break;
    }
    return QStringLiteral("FAILED");
}
} // namespace

MqttPublisher::MqttPublisher(ProgramState &state, StatusGridModel &grid, Database &database, QObject *parent)
    : QObject(parent), m_state(state), m_grid(grid), m_database(database)
{
    connect(&m_client, &MqttClient::connected, this, &MqttPublisher::onConnected);
    connect(&m_client, &MqttClient::disconnected, this, &MqttPublisher::onDisconnected);
}

MqttPublisher::~MqttPublisher()
{
    Stop(2000);
}

void MqttPublisher::setPauses(int firstMs, int maxMs)
{
    m_firstPauseMs = firstMs;
    m_maxPauseMs = maxMs;
}

QString MqttPublisher::defaultClientId() const
{
    const QByteArray directory = QDir(m_state.programDirectory()).absolutePath().toUtf8();
    return QStringLiteral("tallyport-%1-%2")
        .arg(SafeTopicLevel(QSysInfo::machineHostName()),
             QString::fromLatin1(
                 QCryptographicHash::hash(directory, QCryptographicHash::Sha1).toHex().left(8)));
}

MqttTopics MqttPublisher::topicsFor(const MqttIniSettings &settings) const
{
    QString site = settings.site.trimmed();
    if (site.isEmpty())
        site = m_state.Config.OrgName.trimmed();
    if (site.isEmpty())
        site = QStringLiteral("site");
    return MqttTopics(settings.prefix, site, settings.discoveryPrefix);
}

MqttConnectOptions MqttPublisher::connectOptions(const MqttIniSettings &settings) const
{
    MqttConnectOptions options;
    options.host = settings.host.trimmed();
    options.port = settings.port;
    options.tls = settings.tls;
    if (!settings.cafile.trimmed().isEmpty())
        options.caFile = QDir(m_state.programDirectory()).absoluteFilePath(settings.cafile.trimmed());
    options.user = settings.user;
    options.password = settings.password;
    options.clientId =
        settings.clientId.trimmed().isEmpty() ? defaultClientId() : settings.clientId.trimmed();
    options.qos = settings.qos;
    options.willTopic = m_topics->availability();
    options.willPayload = kOffline;
    options.firstPauseMs = m_firstPauseMs;
    options.maxPauseMs = m_maxPauseMs;
    return options;
}

QString MqttPublisher::where() const
{
    return QStringLiteral("%1 port %2").arg(m_applied.host.trimmed()).arg(m_applied.port);
}

void MqttPublisher::Apply(const MqttIniSettings &settings)
{
    if (!settings.enabled || settings.host.trimmed().isEmpty()) {
        Stop();
        m_applied = settings;
        m_state.UpdateStatus(StatusKey, settings.enabled
                                            ? QStringLiteral("not started: no broker host is set")
                                            : QStringLiteral("delete"));
        return;
    }
    const MqttTopics topics = topicsFor(settings);
    const bool sameTopics = m_topics && m_topics->base == topics.base &&
                            m_topics->discovery == topics.discovery &&
                            m_applied.discovery == settings.discovery;
    if (!m_client.isRunning() || !(settings == m_applied) || !sameTopics) {
        if (!sameTopics) {
            // What stood under the old names goes; the next cycle publishes under the new ones.
            clearAll();
            m_devices.clear();
            m_discovery.clear();
            m_toClear.clear();
        }
        Stop();
        m_applied = settings;
        m_topics = topics;
        m_lastReason.clear();
        m_client.start(connectOptions(settings));
    }
    // An activation empties the status list; the line says where things stand now.
    if (m_client.isConnected())
        m_state.UpdateStatus(StatusKey, QStringLiteral("connected to ") + where());
    else if (!m_lastReason.isEmpty())
        m_state.UpdateStatus(StatusKey, QStringLiteral("not connected to %1: %2").arg(where(), m_lastReason));
    else
        m_state.UpdateStatus(StatusKey, QStringLiteral("connecting to ") + where());
}

void MqttPublisher::ApplyCurrentSettings()
{
    Apply(m_state.Ini.mqtt);
}

void MqttPublisher::Stop(int waitMs)
{
    if (m_client.isRunning())
        m_client.stop(m_topics->availability(), kOffline, waitMs);
}

void MqttPublisher::onConnected()
{
    m_lastReason.clear();
    m_state.UpdateStatus(StatusKey, QStringLiteral("connected to ") + where());
    m_client.publish(m_topics->availability(), kOnline, true);
    for (const QString &topic : std::as_const(m_toClear))
        m_client.publish(topic, QByteArray(), true);
    m_toClear.clear();
    for (const Retained &messages : std::as_const(m_devices)) {
        for (auto it = messages.cbegin(); it != messages.cend(); ++it)
            m_client.publish(it.key(), it.value(), true);
    }
}

void MqttPublisher::onDisconnected(const QString &reason)
{
    m_state.UpdateStatus(StatusKey, QStringLiteral("not connected to %1: %2").arg(where(), reason));
    // One error-log line per cause, not one per attempt.
    if (reason != m_lastReason)
        m_state.AddError(QStringLiteral("MQTT"),
                         QStringLiteral("Not connected to %1: %2").arg(where(), reason));
    m_lastReason = reason;
}

DeviceInfo MqttPublisher::deviceInfo(const ServerRecord &device, PollCycle::Outcome outcome)
{
    // The revision parsed from the device's own identify reply in this cycle.
    if (outcome == PollCycle::Outcome::Ok)
        m_firmware.insert(device.IDNum, QString::number(m_state.FirmwareRevision));
    DeviceInfo info;
    info.id = device.IDNum;
    info.name = device.ServerName;
    info.address = device.ServerIPAddress;
    info.model = device.ServerModel;
    info.firmware = m_firmware.value(device.IDNum);
    if (configurationUrl)
        info.configurationUrl = configurationUrl();
    return info;
}

void MqttPublisher::DeviceTaken(const ServerRecord &device, PollCycle::Outcome outcome, const QDateTime &at)
{
    if (!m_client.isRunning())
        return;
    const DeviceInfo info = deviceInfo(device, outcome);
    const Retained before = m_devices.value(device.IDNum);
    Retained messages;
    messages.insert(m_topics->status(device.IDNum), StatusPayload(info, cycleOutcomeText(outcome), at));
    QList<SensorRecord> sensors;
    int count = 0;
    m_database.RecordSensors(device.IDNum, sensors, count);
    for (const SensorRecord &sensor : std::as_const(sensors)) {
        SensorState state;
        state.deviceId = device.IDNum;
        state.sensorId = sensor.IDNum;
        state.deviceName = device.ServerName;
        state.sensorName = sensor.SensorName;
        state.sensorType = sensor.SensorType;
        state.time = at;
        const QString stateTopic = m_topics->state(device.IDNum, sensor.IDNum);
        const int row = m_grid.rowOfSensor(int(sensor.IDNum));
        if (row >= 0)
            state.unit = m_grid.cellText(row, StatusGridModel::UnitsColumn);
        if (row >= 0 && m_grid.evaluatedThisCycle(row)) {
            state.reading = m_grid.cellText(row, StatusGridModel::ReadingColumn);
            state.state = StatusGridModel::statusText(m_grid.status(row));
            state.acknowledged = !m_grid.acknowledgement(int(sensor.IDNum)).isEmpty();
            messages.insert(stateTopic, StatePayload(state));
        } else if (before.contains(stateTopic)) {
            // Not read in this cycle (a busy device): its latest state stands.
            messages.insert(stateTopic, before.value(stateTopic));
        }
        if (m_applied.discovery) {
            for (const auto &[topic, payload] : discoveryConfigs(info, state))
                messages.insert(topic, payload);
        }
    }
    replaceDevice(device.IDNum, messages);
}

// The configs change only with names, model, firmware, unit or address: they are made again
// only then, not for every reading.
const MqttPublisher::Configs &MqttPublisher::discoveryConfigs(const DeviceInfo &device,
                                                              const SensorState &sensor)
{
    const QString key =
        QStringList{device.name,       device.model,      device.firmware, device.configurationUrl,
                    sensor.sensorName, sensor.sensorType, sensor.unit}
            .join(QChar(0));
    DiscoveryCache &cached = m_discovery[sensor.sensorId];
    if (cached.key != key || cached.configs.isEmpty()) {
        cached.key = key;
        cached.configs = DiscoveryConfigs(*m_topics, device, sensor);
    }
    return cached.configs;
}

void MqttPublisher::CycleEnded()
{
    if (!m_client.isRunning() || m_devices.isEmpty())
        return;
    QList<ServerRecord> devices;
    int count = 0;
    if (!m_database.RecordServers(devices, count))
        return;
    QSet<qint64> present;
    for (const ServerRecord &device : std::as_const(devices))
        present.insert(device.IDNum);
    const QList<qint64> known = m_devices.keys();
    for (const qint64 id : known) {
        if (present.contains(id))
            continue;
        replaceDevice(id, {});
        m_devices.remove(id);
        m_firmware.remove(id);
    }
}

void MqttPublisher::replaceDevice(qint64 deviceId, Retained messages)
{
    const Retained before = m_devices.value(deviceId);
    for (auto it = before.cbegin(); it != before.cend(); ++it) {
        if (!messages.contains(it.key()))
            clear(it.key());
    }
    for (auto it = messages.cbegin(); it != messages.cend(); ++it) {
        m_toClear.remove(it.key());
        if (before.value(it.key()) != it.value())
            send(it.key(), it.value());
    }
    m_devices.insert(deviceId, std::move(messages));
}

void MqttPublisher::send(const QString &topic, const QByteArray &payload)
{
    // While the broker is away nothing is handed over; onConnected() sends what stands then.
    if (m_client.isConnected())
        m_client.publish(topic, payload, true);
}

void MqttPublisher::clear(const QString &topic)
{
    if (!m_client.publish(topic, QByteArray(), true))
        m_toClear.insert(topic);
}

void MqttPublisher::clearAll()
{
    if (!m_client.isConnected())
        return;
    for (const Retained &messages : std::as_const(m_devices)) {
        for (auto it = messages.cbegin(); it != messages.cend(); ++it)
            m_client.publish(it.key(), QByteArray(), true);
    }
}

void ConnectMqtt(MqttPublisher &mqtt, Activation &activation, PollCycle &cycle)
{
    std::function<void()> earlier = activation.services.ApplyIniSettings;
    activation.services.ApplyIniSettings = [&mqtt, earlier] {
        if (earlier)
            earlier();
        mqtt.ApplyCurrentSettings();
    };
    QObject::connect(&cycle, &PollCycle::deviceTaken, &mqtt, &MqttPublisher::DeviceTaken);
    QObject::connect(&cycle, &PollCycle::finished, &mqtt, &MqttPublisher::CycleEnded);
}

#include "moc_MqttPublisher.cpp"
