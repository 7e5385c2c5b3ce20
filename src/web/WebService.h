#pragma once

#include "GuardedTcpServer.h"
#include "ListenPlan.h"
#include "StatusSource.h"

#include <core/IniSettings.h>

#include <QElapsedTimer>
#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>

#include <memory>

class Activation;
class AlarmResponse;
class AlarmRoutes;
class Database;
class MqttPublisher;
class Notifier;
class Outbox;
class PollTimer;
class ProgramState;
class StatusGridModel;
class WebServer;

// Remote access for one run: the web server over the engine's state. The windowed program and
// the headless mode make one and call Apply() with the [web] settings at every activation
// (ConnectRemoteAccess does the wiring). The status list shows where it serves or why it could
// not start, under the key "Remote access: "; serving the network over plain HTTP adds a warning
// under PlainNetworkKey, since the token then crosses the network readable.
class WebService final : public QObject {
    Q_OBJECT
public:
    static const QString StatusKey;
    static const QString PlainNetworkKey;

    WebService(ProgramState &state, StatusGridModel &grid, PollTimer &pollTimer, Database &database,
               QObject *parent = nullptr);
    ~WebService() override;

    // Starts, restarts or stops the server to match the settings and writes the status line. A
    // server already running with the same settings keeps its connections. True while serving.
    bool Apply(const WebIniSettings &settings);
    // Apply() with the settings read last (state.Ini.web), then Refresh().
    void ApplyCurrentSettings();
    // Starts with these settings (stopping a running server first). False with the reason.
    bool Start(const WebIniSettings &settings, QString &reason);
    void Stop();

    bool isRunning() const { return m_server != nullptr; }
    // Where it serves ("http://127.0.0.1:8080/"); empty while stopped.
    QString url() const;
    // The status page's address for links published to others (ListenPlan::linkUrl); empty
    // while stopped.
    QString linkUrl() const;
    quint16 port() const;
    // The connections holding a place now.
    int openConnections() const { return m_listener ? m_listener->openConnections() : 0; }
    // Reads what the views show from the database; done after each cycle while serving.
    void Refresh();

    StatusSource &source() { return m_source; }
    // Serves each alarm's page and takes acknowledgements through response (from the next
    // start on). Refusals are written to the error log, a few an hour at most: a client must not
    // be able to fill it.
    void setAlarmResponse(AlarmResponse &response);
    void setLimits(const ConnectionLimits &limits) { m_limits = limits; }

private:
    // Starts the server with these settings; false with the reason.
    bool listen(const WebIniSettings &settings, QString &reason);
    // A renewed or mended certificate or key is picked up without a restart: the files are
    // watched while HTTPS is set, and the server starts again a moment after they change.
    void watchTlsFiles(const WebIniSettings &settings);
    QStringList tlsPaths(const WebIniSettings &settings) const;
    QList<QDateTime> tlsFileTimes(const WebIniSettings &settings) const;
    void reloadTls();
    // The status line (and, when it did not start, an error-log line) for a start.
    void reportStart(bool started, const QString &reason);
    void reportPlainNetwork();
    void logRefusal(const QString &line);

    ProgramState &m_state;
    StatusSource m_source;
    ConnectionLimits m_limits;
    std::unique_ptr<AlarmRoutes> m_alarmRoutes;
    std::unique_ptr<WebServer> m_server;
    GuardedTcpServer *m_listener = nullptr; // owned by m_server
    ListenPlan m_plan;
    WebIniSettings m_applied;
    QFileSystemWatcher m_tlsFiles;
    QTimer m_tlsReload;
    QTimer m_tlsDaily;
    // The settings of the HTTPS server last started, and its files' times then.
    WebIniSettings m_tlsSettings;
    QList<QDateTime> m_tlsTimes;
    // Refusals logged in the current hour, and those left out of the log.
    QElapsedTimer m_refusalHour;
    int m_refusalsLogged = 0;
    int m_refusalsUnlogged = 0;
};

// Makes every activation apply the [web] settings of Tallyport.ini and every poll cycle refresh
// what the server shows; the views count the e-mails waiting in the outbox.
void ConnectRemoteAccess(WebService &web, Activation &activation, PollTimer &pollTimer, const Outbox &outbox);
// The remote views show each notification channel's queue.
void ConnectNotifications(WebService &web, const Notifier &notifier);
// Home Assistant's configuration link of every device is the status page, while it is served.
void ConnectConfigurationLink(MqttPublisher &mqtt, const WebService &web);
