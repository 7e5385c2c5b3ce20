#pragma once

#include <QList>
#include <QString>

// The settings that "TallyportConfig.dat" has no room for, one struct per section of
// "Tallyport.ini". The values here are the defaults the file is created with.

// [mail]: delivery of alarm e-mails and notices through the outbox.
struct MailIniSettings {
    // How long a message is retried before it is given up; 0 tries each message once.
    int retryHours = 24;
    // The pause before the first retry; it doubles after every failed attempt ...
    int retryFirstSeconds = 60;
    // ... up to this pause.
    int retryMaxSeconds = 900;
    bool operator==(const MailIniSettings &) const = default;
};

// [trend]: the trending chart.
struct TrendIniSettings {
    // How far back the chart reaches at an activation, read from the sensors' data files; 0
    // starts it empty.
    int historyHours = 24;
    // How many hours of points the chart holds in memory; older ones are read again from the
    // data files when a view reaches back to them. Never less than historyHours.
    int keepHours = 168;

    int keptHours() const { return keepHours > historyHours ? keepHours : historyHours; }
};

// [poll]: the poll cycle.
struct PollIniSettings {
    static constexpr int MaxParallel = 64;
    // How many devices' exchanges run at the same time; 1 visits the devices one after another.
    int parallel = 8;
};

// [web]: the remote status page, JSON API, metrics and health check. Off unless enabled.
struct WebIniSettings {
    bool enabled = false;
    // The IP address to listen on; any other than a loopback address needs a token.
    QString address = QStringLiteral("127.0.0.1");
    int port = 8080;
    // When set, every request must carry it ("Authorization: Bearer ..." or ?token= for the page).
    QString token;
    // PEM files; with both set the server speaks HTTPS. Relative paths are in the program directory.
    QString certificate;
    QString key;
    // While no token is required, requests must be addressed to this computer (127.0.0.1, [::1],
    // localhost) or to one of these names (comma-separated), so that a web page cannot read the
    // status through a name it points at 127.0.0.1 (DNS rebinding).
    QString hosts;
    // The address other computers reach the status page by ("https://tallyport.example.com/"),
    // for the links Tallyport publishes (Home Assistant's configuration link). Empty: the address
    // served on, or this computer's name when serving every address.
    QString publicUrl;

    bool operator==(const WebIniSettings &) const = default;
};

// [reports]: the monthly report.
struct ReportsIniSettings {
    // The last month whose report was made by itself (or whose report time passed while the
    // report was switched off), "yyyy-MM"; empty before the first. The program writes it;
    // setting it back makes a month's report again at the next poll cycle.
    QString lastMonthlyReport;
};

// [notify.NAME]: one notification channel beside e-mail. Each section names one channel.
struct NotifyChannelSettings {
    QString name; // the NAME of the section
    // webhook, ntfy, slack (also Mattermost and Rocket.Chat), teams or alertmanager.
    QString type;
    QString url;
    // Sent as "Authorization: Bearer <token>" when set.
    QString token;
    // More request headers, "Name: value" pairs separated by "|".
    QString headers;
    // webhook: the key of the X-Tallyport-Signature header (HMAC-SHA256 of the body); none when empty.
    QString secret;
    // The kinds of event sent (comma-separated; empty sends all) and the devices they come from
    // (names or addresses, comma-separated; empty: every device).
    QString events;
    QString devices;
    // HTTPS without checking the server's certificate: only for a receiver on a trusted network.
    bool insecure = false;
    // How long one request may take.
    int timeoutSeconds = 15;
    // alertmanager: how often open alerts are posted again; each post lets them run four times
    // as long.
    int repostSeconds = 60;

    bool operator==(const NotifyChannelSettings &) const = default;
};

// [escalate.N]: a step of the chain an alarm goes up while nobody acknowledges it. Steps are
// taken in the order of their minutes, each once per alarm.
struct EscalationStepSettings {
    int number = 0; // the N of the section
    // How long after the alarm's start the step is taken.
    int afterMinutes = 30;
    // Who is told: e-mail addresses (comma- or semicolon-separated) and channel names
    // (comma-separated [notify.NAME] names).
    QString email;
    QString channels;
    // The devices whose alarms the step takes (names or addresses, comma-separated; empty: every
    // device), as a channel's devices=.
    QString devices;

    bool operator==(const EscalationStepSettings &) const = default;
};

// [escalation]: reminders of an alarm nobody has acknowledged, to its own e-mail list and
// channels, every repeatMinutes (0: none).
struct EscalationIniSettings {
    int repeatMinutes = 0;
    QList<EscalationStepSettings> steps;

    bool operator==(const EscalationIniSettings &) const = default;
};

// [mqtt]: readings, states and device outcomes published to an MQTT broker, with Home Assistant
// discovery. Off unless enabled.
struct MqttIniSettings {
    bool enabled = false;
    QString host;
    int port = 1883;
    // TLS with the broker's certificate checked against cafile (PEM), or against the system's
    // certificates when cafile is empty. A relative path is in the program directory.
    bool tls = false;
    QString cafile;
    QString user;
    QString password;
    // Empty: made from this computer's name and the program directory.
    QString clientId;
    QString prefix = QStringLiteral("tallyport");
    // Empty: the organisation name.
    QString site;
    int qos = 1;
    bool discovery = true;
    QString discoveryPrefix = QStringLiteral("homeassistant");

    bool operator==(const MqttIniSettings &) const = default;
};

struct IniSettings {
    MailIniSettings mail;
    TrendIniSettings trend;
    PollIniSettings poll;
    WebIniSettings web;
    ReportsIniSettings reports;
    QList<NotifyChannelSettings> channels;
    MqttIniSettings mqtt;
    EscalationIniSettings escalation;
};

// Renames the channel `from` in the settings, as `to` describes it. (No setting of another section
// names a channel; one that comes to must be renamed here too.)
inline void RenameChannelIn(IniSettings &ini, const QString &from, const NotifyChannelSettings &to)
{
    for (NotifyChannelSettings &channel : ini.channels)
        if (channel.name == from)
            channel = to;
}
