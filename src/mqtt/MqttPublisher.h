#pragma once

#include "MqttClient.h"
#include "MqttMessages.h"

#include <acquisition/PollCycle.h>
#include <core/IniSettings.h>

#include <QHash>
#include <QObject>
#include <QSet>

#include <functional>
#include <optional>

class Activation;
class Database;
class ProgramState;
class StatusGridModel;

// Publishes every sensor's reading and state, each device's outcome and the program's
// availability to an MQTT broker as the poll cycle takes the devices, with Home Assistant
// discovery. What should stand on the broker is kept here as retained messages: each is sent
// while connected, all of them again after every reconnect, and nothing is handed to the library
// while the broker is away. A sensor or device that is renamed gets its messages replaced; one
// that is removed gets them cleared (an empty retained message).
//
// The status list shows the connection under the key "MQTT: ".
class MqttPublisher final : public QObject {
    Q_OBJECT
public:
    static const QString StatusKey;

    MqttPublisher(ProgramState &state, StatusGridModel &grid, Database &database, QObject *parent = nullptr);
    // Says goodbye ("offline") and waits a moment for it to go out.
    ~MqttPublisher() override;

    // Connects, reconnects or stops to match the settings and writes the status line.
    void Apply(const MqttIniSettings &settings);
    // Apply() with the settings read last (state.Ini.mqtt).
    void ApplyCurrentSettings();
    // Publishes "offline" and disconnects; waitMs bounds the wait for that to go out.
    void Stop(int waitMs = 0);

    // After a device has been taken by the poll cycle: its status, and the state and discovery
    // messages of its named sensors; messages of sensors it no longer has are cleared.
    void DeviceTaken(const ServerRecord &device, PollCycle::Outcome outcome, const QDateTime &at);
    // After a cycle: the messages of devices no longer in the database are cleared.
    void CycleEnded();

    // The status page's address for discovery, when remote access serves one.
    std::function<QString()> configurationUrl;

    bool isConnected() const { return m_client.isConnected(); }
    // Connection pauses; tests shorten them.
    void setPauses(int firstMs, int maxMs);
    // The client id used when the settings leave it empty.
    QString defaultClientId() const;

private:
    using Retained = QHash<QString, QByteArray>;
    using Configs = QList<QPair<QString, QByteArray>>;
    struct DiscoveryCache {
        QString key;
        Configs configs;
    };

    MqttConnectOptions connectOptions(const MqttIniSettings &settings) const;
    MqttTopics topicsFor(const MqttIniSettings &settings) const;
    void onConnected();
    void onDisconnected(const QString &reason);
    // The device's messages replace what it had: changed ones are sent, dropped ones cleared.
    void replaceDevice(qint64 deviceId, Retained messages);
    void send(const QString &topic, const QByteArray &payload);
    void clear(const QString &topic);
    // Clears every message on the broker (the topics are about to change); only while connected.
    void clearAll();
    DeviceInfo deviceInfo(const ServerRecord &device, PollCycle::Outcome outcome);
    const Configs &discoveryConfigs(const DeviceInfo &device, const SensorState &sensor);
    QString where() const;

    ProgramState &m_state;
    StatusGridModel &m_grid;
    Database &m_database;
    MqttClient m_client;
    MqttIniSettings m_applied;
    std::optional<MqttTopics> m_topics;
    int m_firstPauseMs = 1000;
    int m_maxPauseMs = 60000;
    // Per device, the retained messages that should stand on the broker.
    QHash<qint64, Retained> m_devices;
    // The firmware each device reported when it last answered.
    QHash<qint64, QString> m_firmware;
    // Per sensor, its discovery configs and what they were made from.
    QHash<qint64, DiscoveryCache> m_discovery;
    // Topics to clear once connected again.
    QSet<QString> m_toClear;
    QString m_lastReason;
};

// Makes every activation apply the [mqtt] settings and every device the poll cycle takes publish.
void ConnectMqtt(MqttPublisher &mqtt, Activation &activation, PollCycle &cycle);
