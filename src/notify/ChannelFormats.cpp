#include "ChannelFormats.h"

#include "ChannelRules.h"

#include <core/DateTimeText.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

#include <openssl/evp.h>
#include <openssl/hmac.h>

namespace {
const struct {
    const char *kind;
    const char *alertName;
    const char *severity;
    const char *tag;
} kKinds[] = {
    {"alarm", "TallyportAlarm", "critical", "rotating_light"},
    {"alarm-end", "TallyportAlarm", "critical", "white_check_mark"},
    {"alarm-reminder", "TallyportAlarm", "critical", "rotating_light"},
    {"alarm-escalation", "TallyportAlarm", "critical", "rotating_light"},
    {"alarm-acknowledged", "TallyportAlarm", "critical", "white_check_mark"},
    {"device-failure", "TallyportDeviceFailure", "warning", "warning"},
    {"device-recovered", "TallyportDeviceFailure", "warning", "white_check_mark"},
    {"backup", "TallyportBackupFailure", "warning", "floppy_disk"},
    {"system-ok", "TallyportSystemOK", "info", "heavy_check_mark"},
    {"shutdown", "TallyportShutdown", "warning", "stop_sign"},
    {"test", "TallyportTest", "info", "bell"},
};

const auto &kindOf(const QString &kind)
{
    for (const auto &k : kKinds)
        if (kind == QLatin1String(k.kind))
            return k;
    return kKinds[std::size(kKinds) - 1];
}

// A header value from user data: one line, and non-ASCII text as an RFC 2047 word.
QByteArray headerValue(const QString &text)
{
    QString line = text;
    line.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    const QByteArray utf8 = line.trimmed().toUtf8();
    for (const char c : utf8)
        if (uchar(c) >= 0x80)
            return "=?UTF-8?B?" + utf8.toBase64() + "?=";
    return utf8;
}

QByteArray json(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

HttpRequest base(const NotifyChannelSettings &channel, const NotifyEvent &event, const char *contentType)
{
    HttpRequest r;
    r.url = channel.url.toUtf8();
    r.insecure = channel.insecure;
    r.timeoutMs = channel.timeoutSeconds * 1000;
    r.headers.append(QByteArray("Content-Type: ") + contentType);
    if (!event.id.isEmpty())
        r.headers.append("X-Tallyport-Id: " + event.id.toUtf8());
    if (!channel.token.isEmpty())
        r.headers.append("Authorization: Bearer " + channel.token.toUtf8());
    return r;
}

void addExtraHeaders(const NotifyChannelSettings &channel, HttpRequest &r)
{
    for (const QByteArray &header : ChannelRules::ExtraHeaders(channel))
        r.headers.append(header);
}

QString title(const NotifyEvent &event)
{
    return event.subject.isEmpty() ? QStringLiteral("Tallyport: ") + event.kind : event.subject;
}

// The text with the message's ID last, so a reader (or a filter) can tell a repeat.
QString textWithId(const NotifyEvent &event)
{
    return event.text.trimmed() + QStringLiteral("\n\nID: ") + event.id;
}

HttpRequest ntfy(const NotifyChannelSettings &channel, const NotifyEvent &event)
{
    HttpRequest r = base(channel, event, "text/plain; charset=utf-8");
    // An alarm not yet taken wakes whoever is told of it: its reminders and steps too.
    const bool urgent =
        event.kind == QLatin1String("alarm") || event.kind == QLatin1String("device-failure") ||
        event.kind == QLatin1String("alarm-reminder") || event.kind == QLatin1String("alarm-escalation");
    r.headers.append("Title: " + headerValue(title(event)));
    r.headers.append(QByteArray("Priority: ") + (urgent ? "high" : "default"));
    r.headers.append(QByteArray("Tags: ") + kindOf(event.kind).tag + ',' + event.kind.toUtf8());
    r.body = textWithId(event).toUtf8();
    return r;
}

// Slack reads "<...>" as a link or a mention and "&" as the start of an entity: names such as
// "Cooler <1> & Co" are sent escaped, as Slack asks, and shown as typed.
QString slackEscaped(QString text)
{
    return text.replace(QLatin1Char('&'), QLatin1String("&amp;"))
        .replace(QLatin1Char('<'), QLatin1String("&lt;"))
        .replace(QLatin1Char('>'), QLatin1String("&gt;"));
}

HttpRequest slack(const NotifyChannelSettings &channel, const NotifyEvent &event)
{
    HttpRequest r = base(channel, event, "application/json");
    r.body =
        json({{QStringLiteral("text"),
               QStringLiteral("*%1*\n%2").arg(slackEscaped(title(event)), slackEscaped(textWithId(event)))}});
    return r;
}

HttpRequest teams(const NotifyChannelSettings &channel, const NotifyEvent &event)
{
    HttpRequest r = base(channel, event, "application/json");
    const QJsonArray body{QJsonObject{{QStringLiteral("type"), QStringLiteral("TextBlock")},
                                      {QStringLiteral("text"), title(event)},
                                      {QStringLiteral("weight"), QStringLiteral("Bolder")},
                                      {QStringLiteral("wrap"), true}},
                          QJsonObject{{QStringLiteral("type"), QStringLiteral("TextBlock")},
                                      {QStringLiteral("text"), event.text.trimmed()},
                                      {QStringLiteral("wrap"), true}},
                          QJsonObject{{QStringLiteral("type"), QStringLiteral("TextBlock")},
                                      {QStringLiteral("text"), QStringLiteral("ID: ") + event.id},
                                      {QStringLiteral("isSubtle"), true},
                                      {QStringLiteral("size"), QStringLiteral("Small")}}};
    const QJsonObject card{
        {QStringLiteral("$schema"), QStringLiteral("http://adaptivecards.io/schemas/adaptive-card.json")},
        {QStringLiteral("type"), QStringLiteral("AdaptiveCard")},
        {QStringLiteral("version"), QStringLiteral("1.4")},
        {QStringLiteral("body"), body}};
    const QJsonObject attachment{
        {QStringLiteral("contentType"), QStringLiteral("application/vnd.microsoft.card.adaptive")},
        {QStringLiteral("contentUrl"), QJsonValue::Null},
        {QStringLiteral("content"), card}};
    r.body = json({{QStringLiteral("type"), QStringLiteral("message")},
                   {QStringLiteral("attachments"), QJsonArray{attachment}}});
    return r;
}

HttpRequest webhook(const NotifyChannelSettings &channel, const NotifyEvent &event)
{
    HttpRequest r = base(channel, event, "application/json");
    r.body = event.Json();
    if (!channel.secret.isEmpty())
        r.headers.append("X-Tallyport-Signature: " +
                         ChannelFormats::Signature(channel.secret.toUtf8(), r.body));
    return r;
}

// The labels of every version: the kind, the device and sensor as named, and the site.
QJsonObject namedLabels(const NotifyEvent &event)
{
    const auto &k = kindOf(event.kind);
    QJsonObject labels{{QStringLiteral("alertname"), QLatin1String(k.alertName)},
                       {QStringLiteral("severity"), QLatin1String(k.severity)}};
    if (!event.device.isEmpty())
        labels.insert(QStringLiteral("device"), event.device);
    if (!event.sensor.isEmpty())
        labels.insert(QStringLiteral("sensor"), event.sensor);
    if (!event.organisation.isEmpty())
        labels.insert(QStringLiteral("site"), event.organisation);
    return labels;
}

// What names an alert alike on every collector that watches the device: with those, the device's
// address as entered and the sensor's port. Not the database's key for the sensor, which each
// collector gives in the order its devices were added.
QJsonObject alertLabels(const NotifyEvent &event)
{
    QJsonObject labels = namedLabels(event);
    if (!event.address.trimmed().isEmpty())
        labels.insert(QStringLiteral("address"), event.address.trimmed());
    if (event.port)
        labels.insert(QStringLiteral("port"), QString::number(*event.port));
    return labels;
}

// The labels of versions that named the sensor by its database key.
QJsonObject labelsBeforePort(const NotifyEvent &event)
{
    QJsonObject labels = namedLabels(event);
    if (event.sensorId != 0)
        labels.insert(QStringLiteral("sensor_id"), QString::number(event.sensorId));
    return labels;
}

QJsonObject alert(const QJsonObject &labels, const NotifyEvent &event, const QDateTime &start,
                  const QDateTime &end)
{
    QJsonObject annotations{{QStringLiteral("summary"), title(event)},
                            {QStringLiteral("description"), event.text.trimmed()},
                            {QStringLiteral("collector"), event.collector},
                            {QStringLiteral("id"), event.id}};
    if (event.sensorId != 0)
        annotations.insert(QStringLiteral("sensor_id"), QString::number(event.sensorId));
    if (!event.acknowledgedBy.isEmpty())
        annotations.insert(QStringLiteral("acknowledged_by"), event.acknowledgedBy);
    return QJsonObject{{QStringLiteral("labels"), labels},
                       {QStringLiteral("annotations"), annotations},
                       {QStringLiteral("startsAt"), IsoTime(start)},
                       {QStringLiteral("endsAt"), IsoTime(end)}};
}

QJsonObject alert(const NotifyEvent &event, const QDateTime &now, int repostSeconds)
{
    const bool ends = ChannelFormats::EndsAlert(event.kind);
    const QDateTime start = ends && event.startedAt.isValid() ? event.startedAt : event.time;
    // An open alert runs a few re-posts ahead; it is resolved when they stop (the collector down).
    const QDateTime end = ends ? event.time : now.addSecs(4LL * repostSeconds);
    return alert(alertLabels(event), event, start, end);
}

HttpRequest alertsPost(const NotifyChannelSettings &channel, const QList<NotifyEvent> &events,
                       const QJsonArray &alerts)
{
    HttpRequest r = base(channel, events.size() == 1 ? events.first() : NotifyEvent(), "application/json");
    QString url = channel.url;
    while (url.endsWith(QLatin1Char('/')))
        url.chop(1);
    if (!url.endsWith(QLatin1String("/api/v2/alerts")))
        url += QStringLiteral("/api/v2/alerts");
    r.url = url.toUtf8();
    r.body = QJsonDocument(alerts).toJson(QJsonDocument::Compact);
    addExtraHeaders(channel, r);
    return r;
}
} // namespace

QByteArray ChannelFormats::Signature(const QByteArray &key, const QByteArray &body)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    HMAC(EVP_sha256(), key.constData(), int(key.size()),
         reinterpret_cast<const unsigned char *>(body.constData()), size_t(body.size()), digest, &length);
    return "sha256=" + QByteArray(reinterpret_cast<const char *>(digest), int(length)).toHex();
}

bool ChannelFormats::OpensAlert(const QString &kind)
{
    return kind == QLatin1String("alarm") || kind == QLatin1String("device-failure");
}

bool ChannelFormats::EndsAlert(const QString &kind)
{
    return kind == QLatin1String("alarm-end") || kind == QLatin1String("device-recovered");
}

QString ChannelFormats::AlertKey(const NotifyEvent &event)
{
    return QLatin1String(kindOf(event.kind).alertName) + QLatin1Char('\n') + event.device +
           QLatin1Char('\n') + event.address.trimmed() + QLatin1Char('\n') +
           (event.port ? QString::number(*event.port) : QString());
}

HttpRequest ChannelFormats::AlertsRequest(const NotifyChannelSettings &channel,
                                          const QList<NotifyEvent> &events, const QDateTime &now)
{
    QJsonArray alerts;
    const QDateTime fixedNow = FixedOffsetTime(now);
    for (const NotifyEvent &e : events)
        alerts.append(alert(e, fixedNow, channel.repostSeconds));
    return alertsPost(channel, events, alerts);
}

HttpRequest ChannelFormats::EndsBeforePortRequest(const NotifyChannelSettings &channel,
                                                  const QList<NotifyEvent> &events, const QDateTime &now)
{
    QJsonArray alerts;
    const QDateTime fixedNow = FixedOffsetTime(now);
    for (const NotifyEvent &e : events)
        alerts.append(alert(labelsBeforePort(e), e, e.time, fixedNow));
    return alertsPost(channel, events, alerts);
}

HttpRequest ChannelFormats::Request(const NotifyChannelSettings &channel, const NotifyEvent &event,
                                    const QDateTime &now)
{
    if (channel.type == QLatin1String("alertmanager"))
        return AlertsRequest(channel, {event}, now);
    HttpRequest r = channel.type == QLatin1String("ntfy")    ? ntfy(channel, event)
                    : channel.type == QLatin1String("slack") ? slack(channel, event)
                    : channel.type == QLatin1String("teams") ? teams(channel, event)
                                                             : webhook(channel, event);
    addExtraHeaders(channel, r);
    return r;
}
