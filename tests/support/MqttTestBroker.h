#pragma once

#include <QByteArray>
#include <QHash>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantMap>

#include <memory>
#include <mutex>

struct mosquitto;

// A real mosquitto broker for a test, on a loopback address and port of the test's own, with a
// temporary configuration: anonymous, or one user from a password file, and TLS with a
// certificate made for it by openssl. Nothing is kept across a restart (no persistence).
class MqttTestBroker {
public:
    MqttTestBroker(const QString &address, quint16 port) : m_address(address), m_port(port) {}
    ~MqttTestBroker() { stop(); }

    // Only this user and password are let in (set before start()).
    bool requirePassword(const QString &user, const QString &password, QString &error);
    // TLS with a certificate for the address, signed by a CA of the test's own (caFile()).
    bool useTls(QString &error);
    QString caFile() const { return m_dir.filePath("ca.pem"); }
    // A CA that did not sign the broker's certificate.
    bool makeStrangerCa(const QString &path, QString &error);
    // From the next start() the broker shows a certificate for its address signed by a stranger
    // CA (one nobody trusts), or again its own.
    bool useStrangerCertificate(QString &error);
    void useOwnCertificate() { m_strangerSigned = false; }

    // Starts the broker and waits until it takes connections.
    bool start(QString &error);
    void stop();
    // Ends it the hard way.
    void kill();

    const QString &address() const { return m_address; }
    quint16 port() const { return m_port; }

private:
    bool run(const QString &program, const QStringList &arguments, QString &error);
    // A key and a certificate for the address, signed by the CA given.
    bool makeServerCertificate(const QString &ca, const QString &caKey, const QString &name, QString &error);

    QString m_address;
    quint16 m_port;
    QTemporaryDir m_dir;
    QStringList m_extraConfig;
    bool m_anonymous = true;
    bool m_tls = false;
    bool m_strangerSigned = false;
    std::unique_ptr<QProcess> m_process;
};

// Subscribes to every topic of a broker and keeps the last message of each (an empty payload is
// a cleared retained message) and how many arrived per topic. Connects again after the broker
// comes back. Read from the test's thread while the library's thread receives.
class MqttTestSubscriber {
public:
    MqttTestSubscriber(const QString &address, quint16 port, const QString &caFile = QString(),
                       const QString &user = QString(), const QString &password = QString());
    ~MqttTestSubscriber();

    bool isConnected() const;
    bool has(const QString &topic) const;
    QByteArray last(const QString &topic) const;
    int count(const QString &topic) const;
    // Every topic a message arrived on that starts with `prefix`.
    QStringList topics(const QString &prefix = QString()) const;
    // The last message as a JSON object (empty when none or not JSON).
    QVariantMap json(const QString &topic) const;
    void forget();

    // For the library's callbacks.
    void received(const QString &topic, const QByteArray &payload);
    void setConnected(bool connected);

private:
    mosquitto *m_client = nullptr;
    mutable std::mutex m_mutex;
    bool m_connected = false;
    QHash<QString, QByteArray> m_last;
    QHash<QString, int> m_counts;
};
