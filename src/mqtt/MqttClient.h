#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>

// Where and how to reach a broker.
struct MqttConnectOptions {
    QString host;
    int port = 1883;
    bool tls = false;
    QString caFile; // PEM; empty: the system's certificates
    QString user;
    QString password;
    QString clientId;
    int qos = 1;
    // The retained message the broker publishes when the connection dies without a goodbye.
    QString willTopic;
    QByteArray willPayload;
    int keepAliveSeconds = 30;
    // The pause after a failed attempt or a lost connection doubles from the first to the last.
    int firstPauseMs = 1000;
    int maxPauseMs = 60000;
};

// One connection to an MQTT broker through libmosquitto. Connecting, sending and receiving run on
// a network thread of the client's own, so a slow or absent broker never holds up the caller:
// publish() hands the message over and returns. The thread connects again after each failure,
// with a doubling pause. Signals arrive on the thread that made the client.
class MqttClient final : public QObject {
    Q_OBJECT
public:
    explicit MqttClient(QObject *parent = nullptr);
    // Stops without a goodbye: the broker publishes the will.
    ~MqttClient() override;

    // Starts connecting (a running connection is dropped first).
    void start(const MqttConnectOptions &options);
    // Sends `lastPayload` to `lastTopic` (retained) when connected, then disconnects cleanly, so
    // the broker discards the will; with an empty topic nothing is sent first. Returns at once,
    // or once the thread has sent them and ended, waiting `waitMs` at most (at the program's end).
    void stop(const QString &lastTopic = QString(), const QByteArray &lastPayload = QByteArray(),
              int waitMs = 0);
    bool isRunning() const { return m_session != nullptr; }
    // The broker has accepted the connection and it has not been lost since.
    bool isConnected() const;
    // Library client objects made and not yet destroyed, over every MqttClient of the process.
    static int liveLibraryClients();

    // Hands a message to the network thread. Only while connected: the library would otherwise
    // keep every message of QoS 1 or 2 until it connects again. False when not sent.
    bool publish(const QString &topic, const QByteArray &payload, bool retain);

    struct Session;

signals:
    // The broker accepted the connection.
    void connected();
    // An attempt failed, the broker refused it, or a connection was lost; `reason` says which.
    void disconnected(const QString &reason);

private:
    std::shared_ptr<Session> m_session;
};
