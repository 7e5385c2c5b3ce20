#include "MqttTestBroker.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QThread>

#include <mosquitto.h>

#include <pwd.h>
#include <unistd.h>

namespace {
// The broker stays this process's user (when that is root it would otherwise become "mosquitto"
// and could not read the temporary directory).
QString currentUser()
{
    const passwd *entry = getpwuid(geteuid());
    return entry ? QString::fromLocal8Bit(entry->pw_name) : QStringLiteral("root");
}
} // namespace

bool MqttTestBroker::run(const QString &program, const QStringList &arguments, QString &error)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        error = program + QStringLiteral(" failed: ") + QString::fromLocal8Bit(process.readAll());
        return false;
    }
    return true;
}

bool MqttTestBroker::requirePassword(const QString &user, const QString &password, QString &error)
{
    const QString file = m_dir.filePath("passwords");
    if (!run("mosquitto_passwd", {"-b", "-c", file, user, password}, error))
        return false;
    m_anonymous = false;
    m_extraConfig << "password_file " + file;
    return true;
}

bool MqttTestBroker::makeServerCertificate(const QString &ca, const QString &caKey, const QString &name,
                                           QString &error)
{
    const QString key = m_dir.filePath(name + ".key");
    const QString request = m_dir.filePath(name + ".csr");
    const QString extensions = m_dir.filePath("san.ext");
    QFile ext(extensions);
    if (!ext.open(QIODevice::WriteOnly) ||
        ext.write(("subjectAltName=IP:" + m_address + "\nbasicConstraints=CA:FALSE\n").toUtf8()) < 0)
        return false;
    ext.close();
    return run("openssl",
               {"req", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", request, "-subj",
                "/CN=" + m_address},
               error) &&
           run("openssl",
               {"x509", "-req", "-in", request, "-CA", ca, "-CAkey", caKey, "-CAcreateserial", "-out",
                m_dir.filePath(name + ".pem"), "-days", "2", "-extfile", extensions},
               error);
}

bool MqttTestBroker::useTls(QString &error)
{
    const QString caKey = m_dir.filePath("ca.key");
    if (!run("openssl",
             {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", caKey, "-out", caFile(), "-days",
              "2", "-subj", "/CN=Tallyport test CA"},
             error) ||
        !makeServerCertificate(caFile(), caKey, "server", error))
        return false;
    m_tls = true;
    return true;
}

bool MqttTestBroker::makeStrangerCa(const QString &path, QString &error)
{
    return run("openssl",
               {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", path + ".key", "-out", path,
                "-days", "2", "-subj", "/CN=Stranger CA"},
               error);
}

bool MqttTestBroker::useStrangerCertificate(QString &error)
{
    const QString ca = m_dir.filePath("stranger-ca.pem");
    if (!QFile::exists(m_dir.filePath("stranger.pem")) &&
        (!makeStrangerCa(ca, error) || !makeServerCertificate(ca, ca + ".key", "stranger", error)))
        return false;
    m_strangerSigned = true;
    return true;
}

bool MqttTestBroker::start(QString &error)
{
    const QString configPath = m_dir.filePath("mosquitto.conf");
    QFile config(configPath);
    if (!config.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        error = "cannot write " + configPath;
        return false;
    }
    QStringList lines{"user " + currentUser(), "persistence false",
                      "log_dest file " + m_dir.filePath("broker.log"),
                      QStringLiteral("listener %1 %2").arg(m_port).arg(m_address),
                      QStringLiteral("allow_anonymous %1").arg(m_anonymous ? "true" : "false")};
    lines << m_extraConfig;
    if (m_tls) {
        const QString server = m_dir.filePath(m_strangerSigned ? "stranger" : "server");
        lines << "cafile " + caFile() << "certfile " + server + ".pem"
              << "keyfile " + server + ".key";
    }
    config.write((lines.join('\n') + '\n').toUtf8());
    config.close();
    m_process = std::make_unique<QProcess>();
    m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process->start("/usr/sbin/mosquitto", {"-c", configPath});
    if (!m_process->waitForStarted(5000)) {
        error = "mosquitto did not start: " + m_process->errorString();
        return false;
    }
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 10000) {
        QTcpSocket probe;
        probe.connectToHost(m_address, m_port);
        if (probe.waitForConnected(200))
            return true;
        if (m_process->state() == QProcess::NotRunning)
            break;
        QThread::msleep(50);
    }
    QFile log(m_dir.filePath("broker.log"));
    log.open(QIODevice::ReadOnly);
    error = "mosquitto does not take connections: " + QString::fromLocal8Bit(log.readAll());
    return false;
}

void MqttTestBroker::stop()
{
    if (!m_process)
        return;
    m_process->terminate();
    if (!m_process->waitForFinished(5000))
        m_process->kill();
    m_process->waitForFinished(2000);
    m_process.reset();
}

void MqttTestBroker::kill()
{
    if (!m_process)
        return;
    m_process->kill();
    m_process->waitForFinished(2000);
    m_process.reset();
}

namespace {
void onMessage(mosquitto *, void *data, const mosquitto_message *message)
{
    static_cast<MqttTestSubscriber *>(data)->received(
        QString::fromUtf8(message->topic),
        QByteArray(static_cast<const char *>(message->payload), message->payloadlen));
}

void onConnect(mosquitto *client, void *data, int rc)
{
    if (rc == 0)
        mosquitto_subscribe(client, nullptr, "#", 1);
    static_cast<MqttTestSubscriber *>(data)->setConnected(rc == 0);
}

void onDisconnect(mosquitto *, void *data, int)
{
    static_cast<MqttTestSubscriber *>(data)->setConnected(false);
}
} // namespace

MqttTestSubscriber::MqttTestSubscriber(const QString &address, quint16 port, const QString &caFile,
                                       const QString &user, const QString &password)
{
    mosquitto_lib_init();
    m_client = mosquitto_new(nullptr, true, this);
    mosquitto_message_callback_set(m_client, onMessage);
    mosquitto_connect_callback_set(m_client, onConnect);
    mosquitto_disconnect_callback_set(m_client, onDisconnect);
    mosquitto_reconnect_delay_set(m_client, 1, 1, false);
    if (!user.isEmpty())
        mosquitto_username_pw_set(m_client, user.toUtf8().constData(), password.toUtf8().constData());
    if (!caFile.isEmpty())
        mosquitto_tls_set(m_client, caFile.toLocal8Bit().constData(), nullptr, nullptr, nullptr, nullptr);
    mosquitto_connect_async(m_client, address.toUtf8().constData(), port, 30);
    mosquitto_loop_start(m_client);
}

MqttTestSubscriber::~MqttTestSubscriber()
{
    mosquitto_disconnect(m_client);
    mosquitto_loop_stop(m_client, true);
    mosquitto_destroy(m_client);
}

void MqttTestSubscriber::received(const QString &topic, const QByteArray &payload)
{
    std::lock_guard lock(m_mutex);
    m_last.insert(topic, payload);
    ++m_counts[topic];
}

void MqttTestSubscriber::setConnected(bool connected)
{
    std::lock_guard lock(m_mutex);
    m_connected = connected;
}

bool MqttTestSubscriber::isConnected() const
{
    std::lock_guard lock(m_mutex);
    return m_connected;
}

bool MqttTestSubscriber::has(const QString &topic) const
{
    std::lock_guard lock(m_mutex);
    return m_last.contains(topic);
}

QByteArray MqttTestSubscriber::last(const QString &topic) const
{
    std::lock_guard lock(m_mutex);
    return m_last.value(topic);
}

int MqttTestSubscriber::count(const QString &topic) const
{
    std::lock_guard lock(m_mutex);
    return m_counts.value(topic);
}

QStringList MqttTestSubscriber::topics(const QString &prefix) const
{
    std::lock_guard lock(m_mutex);
    QStringList found;
    for (auto it = m_last.cbegin(); it != m_last.cend(); ++it) {
        if (it.key().startsWith(prefix))
            found << it.key();
    }
    found.sort();
    return found;
}

QVariantMap MqttTestSubscriber::json(const QString &topic) const
{
    return QJsonDocument::fromJson(last(topic)).object().toVariantMap();
}

void MqttTestSubscriber::forget()
{
    std::lock_guard lock(m_mutex);
    m_last.clear();
    m_counts.clear();
}
