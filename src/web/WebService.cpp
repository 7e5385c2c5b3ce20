#include "WebService.h"

#include "AlarmRoutes.h"
#include "WebServer.h"

#include <alarms/AlarmResponse.h>
#include <alarms/Escalation.h>
#include <alarms/Outbox.h>
#include <core/Activation.h>
#include <core/PollTimer.h>
#include <core/ProgramState.h>
#include <mqtt/MqttPublisher.h>
#include <notify/Notifier.h>

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>

const QString WebService::StatusKey = QStringLiteral("Remote access: ");
const QString WebService::PlainNetworkKey = QStringLiteral("Remote access is not encrypted: ");

namespace {
QString listenFailure(const QTcpServer &listener, const ListenPlan &plan)
{
    switch (listener.serverError()) {
    case QAbstractSocket::AddressInUseError:
        return QStringLiteral("port %1 is in use").arg(plan.port);
    case QAbstractSocket::SocketAccessError:
        return QStringLiteral("no permission to use port %1").arg(plan.port);
    case QAbstractSocket::SocketAddressNotAvailableError:
        return QStringLiteral("address %1 is not an address of this computer").arg(plan.address.toString());
    default:
        return QStringLiteral("cannot listen on %1 port %2 (%3)")
            .arg(plan.address.toString())
            .arg(plan.port)
            .arg(listener.errorString());
    }
}
} // namespace

WebService::WebService(ProgramState &state, StatusGridModel &grid, PollTimer &pollTimer, Database &database,
                       QObject *parent)
    : QObject(parent), m_state(state), m_source(state, grid, pollTimer, database)
{
    // The HTTP library warns on the console about each request it cannot handle; a client must
    // not be able to fill a log that way.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.httpserver*=false"));
    // Editors and renewal tools write a file in several steps (or replace it): one reload after
    // the last change.
    m_tlsReload.setSingleShot(true);
    m_tlsReload.setInterval(1000);
    connect(&m_tlsReload, &QTimer::timeout, this, &WebService::reloadTls);
    connect(&m_tlsFiles, &QFileSystemWatcher::fileChanged, &m_tlsReload, qOverload<>(&QTimer::start));
    // A change the watch missed (a file replaced while nothing watched it) is found once a day.
    m_tlsDaily.setInterval(24 * 3600 * 1000);
    connect(&m_tlsDaily, &QTimer::timeout, this, [this] {
        if (tlsFileTimes(m_tlsSettings) != m_tlsTimes)
            reloadTls();
    });
}

WebService::~WebService() = default;

void WebService::setAlarmResponse(AlarmResponse &response)
{
    m_alarmRoutes = std::make_unique<AlarmRoutes>(response);
    m_alarmRoutes->log = [this](const QString &line) { logRefusal(line); };
    m_source.escalationSteps = [&response] {
        return response.escalation ? response.escalation->stepsTaken() : QMap<int, quint64>();
    };
    // The views show an acknowledgement at once, from wherever it came.
    connect(&response, &AlarmResponse::acknowledged, this, &WebService::Refresh, Qt::UniqueConnection);
}

void WebService::logRefusal(const QString &line)
{
    constexpr int kPerHour = 20;
    if (!m_refusalHour.isValid() || m_refusalHour.hasExpired(3600 * 1000)) {
        if (m_refusalsUnlogged > 0)
            m_state.AddError(QStringLiteral("Remote access"),
                             QStringLiteral("%1 more requests about alarms were refused in the last hour")
                                 .arg(m_refusalsUnlogged));
        m_refusalHour.start();
        m_refusalsLogged = 0;
        m_refusalsUnlogged = 0;
    }
    if (m_refusalsLogged >= kPerHour) {
        ++m_refusalsUnlogged;
        return;
    }
    ++m_refusalsLogged;
    m_state.AddError(QStringLiteral("Remote access"), line);
}

QString WebService::url() const
{
    return m_server ? m_plan.url() : QString();
}

QString WebService::linkUrl() const
{
    return m_server ? m_plan.linkUrl() : QString();
}

quint16 WebService::port() const
{
    return m_listener ? m_listener->serverPort() : 0;
}

bool WebService::Start(const WebIniSettings &settings, QString &reason)
{
    Stop();
    const bool started = listen(settings, reason);
    // The certificate and key are watched whether or not they were taken: mending a pair that
    // was refused starts the server as renewing a good one restarts it.
    if (!settings.certificate.trimmed().isEmpty() && !settings.key.trimmed().isEmpty()) {
        m_tlsSettings = settings;
        watchTlsFiles(settings);
    }
    if (started)
        Refresh();
    return started;
}

bool WebService::listen(const WebIniSettings &settings, QString &reason)
{
    ListenPlan plan;
    if (!MakeListenPlan(settings, m_state.programDirectory(), plan, reason))
        return false;
    ConnectionLimits limits = m_limits;
    if (!limits.bodyLimit)
        limits.bodyLimit = &WebServer::BodyLimit;
    auto server = std::make_unique<WebServer>(m_source, plan.token, plan.hosts);
    auto *listener = new GuardedTcpServer(limits);
    if (plan.tls)
        listener->setTls(*plan.tls);
    if (!listener->listen(plan.address, plan.port)) {
        reason = listenFailure(*listener, plan);
        delete listener;
        return false;
    }
    server->setAlarmRoutes(m_alarmRoutes.get(), plan.publicUrl);
    server->bind(listener);
    plan.port = listener->serverPort();
    m_plan = plan;
    m_listener = listener;
    m_server = std::move(server);
    return true;
}

void WebService::Stop()
{
    m_tlsReload.stop();
    m_listener = nullptr;
    m_server.reset();
    if (!m_tlsFiles.files().isEmpty())
        m_tlsFiles.removePaths(m_tlsFiles.files());
    m_tlsDaily.stop();
}

QStringList WebService::tlsPaths(const WebIniSettings &settings) const
{
    const QDir dir(m_state.programDirectory());
    return {dir.absoluteFilePath(settings.certificate.trimmed()),
            dir.absoluteFilePath(settings.key.trimmed())};
}

QList<QDateTime> WebService::tlsFileTimes(const WebIniSettings &settings) const
{
    QList<QDateTime> times;
    for (const QString &path : tlsPaths(settings))
        times << QFileInfo(path).lastModified();
    return times;
}

void WebService::watchTlsFiles(const WebIniSettings &settings)
{
    // A file replaced by another (renamed over it) leaves the watch; it is added again here.
    m_tlsFiles.addPaths(tlsPaths(settings));
    m_tlsTimes = tlsFileTimes(settings);
    m_tlsDaily.start();
}

void WebService::reloadTls()
{
    if (m_tlsSettings.certificate.trimmed().isEmpty())
        return;
    QString reason;
    const bool started = Start(m_tlsSettings, reason);
    reportStart(started, reason);
}

void WebService::reportStart(bool started, const QString &reason)
{
    if (started) {
        m_state.UpdateStatus(StatusKey, QStringLiteral("serving ") + url());
    } else {
        m_state.UpdateStatus(StatusKey, QStringLiteral("not started: ") + reason);
        m_state.AddError(QStringLiteral("Remote access"), QStringLiteral("Not started: ") + reason);
    }
    reportPlainNetwork();
}

// The warning stands while the server serves other computers over plain HTTP.
void WebService::reportPlainNetwork()
{
    const bool plainNetwork = m_server && !m_plan.tls && !m_plan.address.isLoopback();
    m_state.UpdateStatus(PlainNetworkKey, plainNetwork
                                              ? QStringLiteral("the token crosses the network readable; "
                                                               "set a certificate and key for HTTPS")
                                              : QStringLiteral("delete"));
}

bool WebService::Apply(const WebIniSettings &settings)
{
    if (!settings.enabled) {
        Stop();
        m_applied = settings;
        reportPlainNetwork();
        m_state.UpdateStatus(StatusKey, QStringLiteral("delete"));
        return false;
    }
    if (!m_server || !(settings == m_applied)) {
        QString reason;
        m_applied = settings;
        if (!Start(settings, reason)) {
            reportStart(false, reason);
            return false;
        }
    }
    reportStart(true, QString());
    return true;
}

void WebService::Refresh()
{
    if (m_server)
        m_source.refresh();
}

void WebService::ApplyCurrentSettings()
{
    if (Apply(m_state.Ini.web))
        Refresh();
}

void ConnectNotifications(WebService &web, const Notifier &notifier)
{
    web.source().channels = [&notifier] {
        QList<ChannelView> views;
        for (const QString &name : notifier.channelNames()) {
            if (const std::optional<ChannelStatus> c = notifier.channel(name))
                views.append({name, c->channel().type, c->waitingCount(), c->failedTotal()});
        }
        return views;
    };
}

void ConnectConfigurationLink(MqttPublisher &mqtt, const WebService &web)
{
    mqtt.configurationUrl = [&web] { return web.linkUrl(); };
}

void ConnectRemoteAccess(WebService &web, Activation &activation, PollTimer &pollTimer, const Outbox &outbox)
{
    web.source().emailsWaiting = [&outbox] { return outbox.waitingCount(); };
    std::function<void()> earlier = activation.services.ApplyIniSettings;
    activation.services.ApplyIniSettings = [&web, earlier] {
        if (earlier)
            earlier();
        web.ApplyCurrentSettings();
    };
    QObject::connect(&pollTimer, &PollTimer::cycleEnded, &web, &WebService::Refresh);
}

#include "moc_WebService.cpp"
