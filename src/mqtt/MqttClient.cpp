#include "MqttClient.h"
#include "core/ThreadHandOff.h"

#include <QMetaObject>

#include <mosquitto.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <utility>

// Wakes the network thread from its wait on the socket when a message is handed over or the
// client stops. A pipe works with descriptors of any number; without one (no descriptor left)
// the thread still looks every quarter of a second.
class MqttWakePipe {
public:
    MqttWakePipe()
    {
        if (::pipe2(m_fds, O_CLOEXEC | O_NONBLOCK) != 0)
            m_fds[0] = m_fds[1] = -1;
    }
    ~MqttWakePipe()
    {
        for (const int fd : m_fds) {
            if (fd >= 0)
                ::close(fd);
        }
    }
    MqttWakePipe(const MqttWakePipe &) = delete;
    MqttWakePipe &operator=(const MqttWakePipe &) = delete;

    void wake()
    {
        const char byte = 0;
        if (m_fds[1] >= 0 && ::write(m_fds[1], &byte, 1) < 0) {
            // Full: the thread has wake-ups waiting already.
        }
    }
    int readEnd() const { return m_fds[0]; }
    void drain()
    {
        char bytes[64];
        while (::read(m_fds[0], bytes, sizeof bytes) > 0) {
        }
    }

private:
    int m_fds[2] = {-1, -1};
};

// What the caller's thread and the network thread share. The network thread owns the library's
// client object; the caller's thread touches it only under the mutex and before `stopping`.
struct MqttClient::Session {
    MqttConnectOptions options;
    std::mutex mutex;
    std::condition_variable wake;
    bool stopping = false;
    bool goodbye = false; // stop() queued a clean disconnect for the thread to send
    bool finished = false;
    MqttClient *owner = nullptr; // cleared by stop(): nothing is reported after it
    mosquitto *client = nullptr;
    std::atomic<bool> connected{false};
    MqttWakePipe wakeUp;
    // Why the broker refused the last attempt; written and read on the network thread.
    QString refusal;

    bool isStopping()
    {
        std::lock_guard lock(mutex);
        return stopping;
    }
    bool isGoodbye()
    {
        std::lock_guard lock(mutex);
        return goodbye;
    }
    // Waits up to `ms` for the network thread to end; `lock` holds the mutex.
    void waitFinished(std::unique_lock<std::mutex> &lock, int ms)
    {
        wake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return finished; });
    }
    // Runs `report` on the owner's thread, unless the owner has stopped listening.
    template <typename F> void tell(F report)
    {
        std::lock_guard lock(mutex);
        if (owner) {
            QueueToThread(owner, [owner = owner, report] { report(owner); });
        }
    }
};

namespace {
using Session = MqttClient::Session;

std::atomic<int> liveClients{0};

void initialiseLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

QString errorText(int rc, int savedErrno)
{
    switch (rc) {
    case MOSQ_ERR_ERRNO:
        return QString::fromLocal8Bit(std::strerror(savedErrno));
    case MOSQ_ERR_EAI:
        return QStringLiteral("the host name could not be resolved");
    case MOSQ_ERR_TLS:
        return QStringLiteral("the TLS connection failed (a certificate that is not trusted, or a host name "
                              "it does not name)");
    case MOSQ_ERR_NO_CONN:
    case MOSQ_ERR_CONN_LOST:
        return QStringLiteral("the connection was lost");
    default:
        return QString::fromUtf8(mosquitto_strerror(rc));
    }
}

void onConnect(mosquitto *, void *data, int rc)
{
    auto *session = static_cast<Session *>(data);
    if (rc != 0) {
        session->refusal = QStringLiteral("the broker refused the connection: ") +
                           QString::fromUtf8(mosquitto_connack_string(rc));
        return;
    }
    session->refusal.clear();
    session->connected = true;
    session->tell([](MqttClient *client) { emit client->connected(); });
}

void onDisconnect(mosquitto *, void *data, int)
{
    static_cast<Session *>(data)->connected = false;
}

void destroyClient(mosquitto *client)
{
    mosquitto_destroy(client);
    --liveClients;
}

// A client object set up with the options; null with the reason when the options are not usable.
mosquitto *makeClient(Session &session, QString &reason)
{
    const MqttConnectOptions &o = session.options;
    mosquitto *client = mosquitto_new(o.clientId.toUtf8().constData(), true, &session);
    if (!client) {
        reason = QStringLiteral("the MQTT library could not make a client");
        return nullptr;
    }
    ++liveClients;
    mosquitto_threaded_set(client, true);
    mosquitto_int_option(client, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_connect_callback_set(client, onConnect);
    mosquitto_disconnect_callback_set(client, onDisconnect);
    int rc = MOSQ_ERR_SUCCESS;
    if (!o.user.isEmpty())
        rc = mosquitto_username_pw_set(client, o.user.toUtf8().constData(),
                                       o.password.isEmpty() ? nullptr : o.password.toUtf8().constData());
    if (rc == MOSQ_ERR_SUCCESS && !o.willTopic.isEmpty())
        rc = mosquitto_will_set(client, o.willTopic.toUtf8().constData(), int(o.willPayload.size()),
                                o.willPayload.constData(), o.qos, true);
    if (rc == MOSQ_ERR_SUCCESS && o.tls) {
        // The broker's certificate and host name are always checked.
        if (o.caFile.isEmpty())
            rc = mosquitto_int_option(client, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
        else if ((rc = mosquitto_tls_set(client, o.caFile.toLocal8Bit().constData(), nullptr, nullptr,
                                         nullptr, nullptr)) != MOSQ_ERR_SUCCESS)
            reason = QStringLiteral("the CA file %1 cannot be read").arg(o.caFile);
    }
    if (rc != MOSQ_ERR_SUCCESS) {
        if (reason.isEmpty())
            reason = QString::fromUtf8(mosquitto_strerror(rc));
        destroyClient(client);
        return nullptr;
    }
    return client;
}

// One turn of a connection: waits up to `timeoutMs` for the socket or a wake-up, then reads,
// writes and keeps the connection alive. Waits with poll(): the library's own loop uses select(),
// which refuses a socket numbered above 1023, and a collector with thousands of devices has
// descriptors that high.
int serviceConnection(Session &session, mosquitto *client, int timeoutMs)
{
    const int socket = mosquitto_socket(client);
    if (socket < 0)
        return MOSQ_ERR_NO_CONN;
    bool wantWrite = false;
    {
        // publish() adds to the library's queue under the same mutex.
        std::lock_guard lock(session.mutex);
        wantWrite = mosquitto_want_write(client);
    }
    pollfd waits[2] = {{socket, short(POLLIN | (wantWrite ? POLLOUT : 0)), 0},
                       {session.wakeUp.readEnd(), POLLIN, 0}};
    if (::poll(waits, 2, timeoutMs) < 0)
        return errno == EINTR ? MOSQ_ERR_SUCCESS : MOSQ_ERR_ERRNO;
    int rc = MOSQ_ERR_SUCCESS;
    if (waits[0].revents & (POLLIN | POLLHUP | POLLERR)) {
        rc = mosquitto_loop_read(client, 1);
        if (rc != MOSQ_ERR_SUCCESS || mosquitto_socket(client) < 0)
            return rc;
    }
    bool write = waits[0].revents & POLLOUT;
    if (waits[1].revents & POLLIN) {
        // Something was handed over since the wait began: try to send it at once.
        session.wakeUp.drain();
        write = true;
    }
    if (write) {
        rc = mosquitto_loop_write(client, 1);
        if (rc != MOSQ_ERR_SUCCESS || mosquitto_socket(client) < 0)
            return rc;
    }
    return mosquitto_loop_misc(client);
}

// One connection from the attempt to its end; empty when stopped, otherwise why it ended.
QString runConnection(Session &session, mosquitto *client, bool &wasConnected)
{
    const MqttConnectOptions &o = session.options;
    session.refusal.clear();
    int rc = mosquitto_connect(client, o.host.toUtf8().constData(), o.port, o.keepAliveSeconds);
    int savedErrno = errno;
    if (rc == MOSQ_ERR_SUCCESS) {
        while (!session.isStopping() && (rc = serviceConnection(session, client, 250)) == MOSQ_ERR_SUCCESS) {
        }
        savedErrno = errno;
    }
    wasConnected = session.connected.exchange(false);
    if (session.isStopping())
        return QString();
    if (!session.refusal.isEmpty())
        return session.refusal;
    return errorText(rc, savedErrno);
}

// The goodbye stop() queued (a last message and the disconnect) goes out, for two seconds at most.
void sendGoodbye(Session &session, mosquitto *client)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (std::chrono::steady_clock::now() < until &&
           serviceConnection(session, client, 100) == MOSQ_ERR_SUCCESS) {
    }
}

// Replaces the session's client with a new one set up from the options (or none, when it cannot
// be made: `reason` says why).
mosquitto *renewClient(Session &session, mosquitto *old, QString &reason)
{
    mosquitto *client = makeClient(session, reason);
    std::lock_guard lock(session.mutex);
    session.client = client;
    if (old)
        destroyClient(old);
    return client;
}

void runSession(std::shared_ptr<Session> session)
{
    mosquitto *client = nullptr;
    int pause = session->options.firstPauseMs;
    while (!session->isStopping()) {
        QString reason;
        bool wasConnected = false;
        // Over TLS each attempt gets a new client: one whose TLS attempt failed can be left
        // unable to try again (with the system's certificates every later attempt fails "on
        // its arguments" even once the broker's certificate is good).
        if (!client || session->options.tls)
            client = renewClient(*session, client, reason);
        if (client) {
            reason = runConnection(*session, client, wasConnected);
            if (reason.isEmpty())
                break;
        }
        if (wasConnected)
            pause = session->options.firstPauseMs;
        session->tell([reason](MqttClient *owner) { emit owner->disconnected(reason); });
        {
            std::unique_lock lock(session->mutex);
            session->wake.wait_for(lock, std::chrono::milliseconds(pause), [&] { return session->stopping; });
        }
        pause = std::min(pause * 2, session->options.maxPauseMs);
    }
    if (client) {
        if (session->isGoodbye())
            sendGoodbye(*session, client);
        std::lock_guard lock(session->mutex);
        session->client = nullptr;
        destroyClient(client);
    }
    std::lock_guard lock(session->mutex);
    session->finished = true;
    session->wake.notify_all();
}
} // namespace

MqttClient::MqttClient(QObject *parent) : QObject(parent)
{
    initialiseLibrary();
}

MqttClient::~MqttClient()
{
    // No goodbye: the connection just ends, and the broker publishes the will.
    if (!m_session)
        return;
    std::unique_lock lock(m_session->mutex);
    m_session->owner = nullptr;
    m_session->stopping = true;
    m_session->wake.notify_all();
    m_session->wakeUp.wake();
    m_session->waitFinished(lock, 1000);
}

void MqttClient::start(const MqttConnectOptions &options)
{
    if (m_session)
        stop();
    m_session = std::make_shared<Session>();
    m_session->options = options;
    m_session->owner = this;
    // The thread keeps the session alive; a connection attempt that hangs (a host that never
    // answers) ends on its own after stop() without holding anyone up.
    std::thread(runSession, m_session).detach();
}

void MqttClient::stop(const QString &lastTopic, const QByteArray &lastPayload, int waitMs)
{
    if (!m_session)
        return;
    const std::shared_ptr<Session> session = std::exchange(m_session, nullptr);
    std::unique_lock lock(session->mutex);
    if (session->client && session->connected) {
        if (!lastTopic.isEmpty())
            mosquitto_publish(session->client, nullptr, lastTopic.toUtf8().constData(),
                              int(lastPayload.size()), lastPayload.constData(), session->options.qos, true);
        mosquitto_disconnect(session->client);
        session->goodbye = true;
    }
    session->owner = nullptr;
    session->stopping = true;
    session->wake.notify_all();
    session->wakeUp.wake();
    if (waitMs > 0)
        session->waitFinished(lock, waitMs);
}

int MqttClient::liveLibraryClients()
{
    return liveClients;
}

bool MqttClient::isConnected() const
{
    return m_session && m_session->connected;
}

bool MqttClient::publish(const QString &topic, const QByteArray &payload, bool retain)
{
    if (!m_session)
        return false;
    std::lock_guard lock(m_session->mutex);
    if (!m_session->client || !m_session->connected || m_session->stopping)
        return false;
    const bool handedOver =
        mosquitto_publish(m_session->client, nullptr, topic.toUtf8().constData(), int(payload.size()),
                          payload.constData(), m_session->options.qos, retain) == MOSQ_ERR_SUCCESS;
    m_session->wakeUp.wake();
    return handedOver;
}

#include "moc_MqttClient.cpp"
