#include "StatusPage.h"

#include <core/DateTimeText.h>

#include <algorithm>

namespace {
using Status = StatusGridModel::SensorStatus;

QString esc(const QString &text)
{
    return text.toHtmlEscaped();
}

} // namespace

QString StatusCssClass(Status status)
{
    switch (status) {
    case Status::Normal:
        return QStringLiteral("normal");
    case Status::NoData:
        return QStringLiteral("nodata");
    case Status::Alarm:
        return QStringLiteral("alarm");
    case Status::Unset:
        break;
    }
    return QString();
}

QString PageStyleSheet()
{
    QString css = QStringLiteral(
        "body{font-family:system-ui,sans-serif;margin:0;padding:0 .6em 1em;color:#111;background:#f4f5f8}"
        "h1{font-size:1.4em;margin:.5em 0 .2em}h2{font-size:1.1em;margin:1.2em 0 .3em}"
        ".wrap{overflow-x:auto}table{border-collapse:collapse;width:100%;background:#fff}"
        "th,td{border:1px solid #ccc;padding:.25em .45em;text-align:left;vertical-align:top}"
        "th{background:#e3e6ee}td.num{text-align:right}"
        ".health{font-weight:bold;padding:.3em .5em;display:inline-block;margin:.2em 0}"
        ".stale "
        "td{color:#666;font-style:italic}.ok{background:#d8f5d8}.bad{background:#ffd6d6}.meta{color:#444;"
        "margin:.2em 0}"
        "ul{padding-left:1.2em;margin:.2em 0}.none{color:#666;font-style:italic}"
        "@media (max-width:600px){body{font-size:15px}table{font-size:13px}th,td{padding:.2em .25em}"
        ".wide{display:none}}");
    for (const Status status : {Status::Normal, Status::NoData, Status::Alarm})
        css += QStringLiteral(".%1{background:%2}")
                   .arg(StatusCssClass(status), StatusGridModel::statusColour(status).name());
    return css;
}

int PageRefreshSeconds(int updateRateSeconds)
{
    return qBound(10, updateRateSeconds, 300);
}

QString PageHead(const QString &title, int refreshSeconds, const QString &extraCss)
{
    return QStringLiteral("<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n"
                          "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
                          "<meta http-equiv=\"refresh\" content=\"%1\">\n<title>%2</title>\n"
                          "<style>%3</style></head>\n<body>\n")
        .arg(QString::number(refreshSeconds), title.toHtmlEscaped(), PageStyleSheet() + extraCss);
}

namespace {

QString row(const QStringList &cells, bool current = true)
{
    QString html = current ? QStringLiteral("<tr>") : QStringLiteral("<tr class=\"stale\">");
    for (const QString &cell : cells)
        html += cell;
    return html + QStringLiteral("</tr>\n");
}

QString td(const QString &text, const QString &cls = QString())
{
    if (cls.isEmpty())
        return QStringLiteral("<td>") + esc(text) + QStringLiteral("</td>");
    return QStringLiteral("<td class=\"%1\">").arg(cls) + esc(text) + QStringLiteral("</td>");
}

QString table(const QStringList &headings, const QString &rows, const QString &emptyText)
{
    if (rows.isEmpty())
        return QStringLiteral("<p class=\"none\">") + esc(emptyText) + QStringLiteral("</p>\n");
    QString html = QStringLiteral("<div class=\"wrap\"><table><thead><tr>");
    for (const QString &heading : headings)
        html += heading.startsWith(QLatin1Char('~'))
                    ? QStringLiteral("<th class=\"wide\">") + heading.mid(1) + "</th>"
                    : QStringLiteral("<th>") + heading + "</th>";
    return html + QStringLiteral("</tr></thead><tbody>\n") + rows +
           QStringLiteral("</tbody></table></div>\n");
}

QString sensorsSection(const QList<SensorView> &sensors)
{
    QString rows;
    rows.reserve(sensors.size() * 200);
    const bool anyStale =
        std::any_of(sensors.begin(), sensors.end(), [](const SensorView &s) { return !s.current; });
    for (const SensorView &s : sensors)
        rows += row({td(s.device),
                     QStringLiteral("<td><a href=\"sensor/%1\">").arg(s.sensorId) + esc(s.sensor) +
                         QStringLiteral("</a></td>"),
                     td(s.reading, s.value ? QStringLiteral("num") : QString()), td(s.unit),
                     td(StatusGridModel::statusText(s.status), StatusCssClass(s.status)),
                     td(QString::number(s.sensorId), QStringLiteral("num wide"))},
                    s.current);
    return QStringLiteral("<h2>Sensors</h2>\n") +
           table({QStringLiteral("Device"), QStringLiteral("Sensor"), QStringLiteral("Reading"),
                  QStringLiteral("Units"), QStringLiteral("Status"), QStringLiteral("~Sensor ID")},
                 rows, QStringLiteral("No sensor has been read yet.")) +
           (anyStale
                ? QStringLiteral("<p class=\"meta\">Rows in italics show an earlier cycle: their device was "
                                 "busy.</p>\n")
                : QString());
}

QString devicesSection(const QList<DeviceView> &devices)
{
    QString rows;
    for (const DeviceView &d : devices) {
        const QString cls = d.outcome == DeviceView::Outcome::Failed ? QStringLiteral("alarm") : QString();
        const QString outcome =
            d.outcome == DeviceView::Outcome::Unknown ? QStringLiteral("not polled yet") : d.outcomeText();
        rows += row({td(d.name), td(d.address), td(outcome, cls)});
    }
    return QStringLiteral("<h2>Devices</h2>\n") +
           table({QStringLiteral("Device"), QStringLiteral("IP address"), QStringLiteral("Last poll")}, rows,
                 QStringLiteral("No device is enabled."));
}

QString alarmsSection(const QList<AlarmRecord> &alarms)
{
    QString rows;
    for (const AlarmRecord &a : alarms)
        rows += row({QStringLiteral("<td><a href=\"alarm/%1\">%1</a></td>").arg(a.IDNum),
                     td(DateTimeText(a.AlarmStart)), td(a.Server), td(a.Sensor), td(a.CurrentData),
                     td(QString::number(a.TOL), "num wide"),
                     td(a.Ack.isSet() ? a.Ack.AckBy : QStringLiteral("nobody yet"))});
    return QStringLiteral("<h2>Open alarms</h2>\n") +
           table({QStringLiteral("Alarm #"), QStringLiteral("Started"), QStringLiteral("Device"),
                  QStringLiteral("Sensor"), QStringLiteral("Data"), QStringLiteral("~Minutes out of limits"),
                  QStringLiteral("Acknowledged by")},
                 rows, QStringLiteral("No alarm is open."));
}

QString failuresSection(const QList<ServerFailureRecord> &failures)
{
    QString rows;
    for (const ServerFailureRecord &f : failures) {
        const bool back = f.BackOnLine != QLatin1String("False");
        rows += row({td(f.ServerName), td(DateTimeText(f.OffLine)),
                     td(back ? f.BackOnLine : QStringLiteral("still off line"), back ? QString() : "alarm")});
    }
    return QStringLiteral("<h2>Recent device failures</h2>\n") +
           table({QStringLiteral("Device"), QStringLiteral("Off line"), QStringLiteral("Back on line")}, rows,
                 QStringLiteral("No device failure is recorded."));
}

QString messagesSection(const QStringList &lines)
{
    QString html = QStringLiteral("<h2>Status messages</h2>\n");
    if (lines.isEmpty())
        return html + QStringLiteral("<p class=\"none\">None.</p>\n");
    html += QStringLiteral("<ul>\n");
    for (const QString &line : lines)
        html += QStringLiteral("<li>") + esc(line) + QStringLiteral("</li>\n");
    return html + QStringLiteral("</ul>\n");
}

QString pageHeader(const WebSnapshot &s)
{
    QString html = QStringLiteral("<h1>Tallyport status</h1>\n");
    html += s.health.ok ? QStringLiteral("<p class=\"health ok\">Polling normally</p>\n")
                        : QStringLiteral("<p class=\"health bad\">") + esc(s.health.text) + "</p>\n";
    QString cycle;
    if (s.cycle.running)
        cycle =
            QStringLiteral("A poll cycle is running (started %1).").arg(esc(DateTimeText(s.cycle.lastStart)));
    else if (s.cycle.lastEnd.isValid())
        cycle = QStringLiteral("Last poll cycle ended %1 and took %2 s.")
                    .arg(esc(DateTimeText(s.cycle.lastEnd)))
                    .arg(QString::number(qMax<qint64>(0, s.cycle.lastDurationMs) / 1000.0, 'f', 1));
    else
        cycle = QStringLiteral("No poll cycle has ended yet.");
    html += QStringLiteral("<p class=\"meta\">") + cycle +
            QStringLiteral(" Update rate %1 s.").arg(s.updateRateSeconds);
    if (s.emailsWaiting)
        html += QStringLiteral(" E-mails waiting: %1.").arg(*s.emailsWaiting);
    for (const ChannelView &c : s.channels)
        html += QStringLiteral(" Notifications waiting for %1: %2 (given up: %3).")
                    .arg(esc(c.name))
                    .arg(c.waiting)
                    .arg(c.failed);
    html += QStringLiteral("</p>\n<p class=\"meta\">Page of %1.</p>\n").arg(esc(DateTimeText(s.now)));
    return html;
}
} // namespace

QByteArray StatusPageHtml(const WebSnapshot &s, int refreshSeconds)
{
    QString html;
    html.reserve(4096 + s.sensors.size() * 300);
    html += PageHead(QStringLiteral("Tallyport status"), refreshSeconds);
    html += pageHeader(s);
    html += sensorsSection(s.sensors);
    html += devicesSection(s.devices);
    html += alarmsSection(s.openAlarms);
    html += failuresSection(s.recentFailures);
    html += messagesSection(s.otherStatusLines);
    html += QStringLiteral("</body></html>\n");
    return html.toUtf8();
}
