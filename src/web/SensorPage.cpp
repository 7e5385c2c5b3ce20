#include "SensorPage.h"

#include "StatusPage.h"

#include <core/DateTimeText.h>

namespace {
constexpr qint64 kSpanDayMs = 24LL * 3600 * 1000;

const QString kChartCss = QStringLiteral(
    "svg.chart{display:block;width:100%;max-width:60em;height:auto;margin:.4em 0}"
    ".spans a,.spans b{display:inline-block;padding:.35em .7em;margin:.15em .3em .15em 0;border:1px solid "
    "#99a;background:#fff;text-decoration:none}.spans b{background:#1d4f91;color:#fff}"
    "dl.facts{display:grid;grid-template-columns:auto 1fr;gap:.15em .8em;background:#fff;border:1px solid "
    "#ccc;padding:.5em .7em;margin:.4em 0}dl.facts dt{font-weight:bold}dl.facts dd{margin:0}"
    ".key{color:#444;font-size:.9em}.key span{display:inline-block;width:1.4em;height:.8em;margin:0 .3em "
    "0 .8em;vertical-align:middle}");

QString htmlEscaped(const QString &text)
{
    return text.toHtmlEscaped();
}

// A link's target with the token kept: query is the link's own query without its "?" (or empty).
QString linkTarget(const QString &path, const QString &query, const QString &tokenQuery)
{
    QString target = path;
    if (!query.isEmpty())
        target += QLatin1Char('?') + query;
    if (!tokenQuery.isEmpty())
        target += (query.isEmpty() ? QLatin1Char('?') : QLatin1Char('&')) + tokenQuery;
    return htmlEscaped(target.isEmpty() ? QStringLiteral("?") + tokenQuery : target);
}

QString limitText(const std::optional<double> &limit)
{
    return limit ? QString::number(*limit, 'g', 6) : QStringLiteral("none");
}

QString factsList(const SensorPageView &v)
{
    const SensorView &s = v.sensor;
    QString html = QStringLiteral("<dl class=\"facts\">\n");
    const auto fact = [&html](const QString &term, const QString &valueHtml) {
        html += QStringLiteral("<dt>%1</dt><dd>%2</dd>\n").arg(htmlEscaped(term), valueHtml);
    };
    fact(QStringLiteral("Device"), htmlEscaped(s.device));
    if (v.inGrid) {
        fact(QStringLiteral("Reading"),
             htmlEscaped(s.reading) +
                 (s.value && !s.unit.isEmpty() ? QStringLiteral(" ") + htmlEscaped(s.unit) : QString()) +
                 (s.current ? QString() : QStringLiteral(" <i>(an earlier cycle: the device was busy)</i>")));
        fact(QStringLiteral("Status"),
             QStringLiteral("<span class=\"%1\">&nbsp;%2&nbsp;</span>")
                 .arg(StatusCssClass(s.status), htmlEscaped(StatusGridModel::statusText(s.status))));
    } else {
        fact(QStringLiteral("Reading"), QStringLiteral("<i>not read since Tallyport started</i>"));
    }
    fact(QStringLiteral("Lower limit"), htmlEscaped(limitText(v.lowerLimit)));
    fact(QStringLiteral("Upper limit"), htmlEscaped(limitText(v.upperLimit)));
    fact(QStringLiteral("Sensor ID"), QString::number(s.sensorId));
    return html + QStringLiteral("</dl>\n");
}

QString spanLinks(const SensorPageView &v)
{
    QString html = QStringLiteral("<p class=\"spans\">");
    for (const SensorSpan &span : SensorSpan::All()) {
        if (span.name == v.span.name)
            html += QStringLiteral("<b>%1</b>").arg(htmlEscaped(span.label));
        else
            html += QStringLiteral("<a href=\"%1\">%2</a>")
                        .arg(linkTarget(QString::number(v.sensor.sensorId),
                                        QStringLiteral("span=") + span.name, v.tokenQuery),
                             htmlEscaped(span.label));
    }
    return html + QStringLiteral("</p>\n");
}

QString chartSection(const SensorPageView &v)
{
    QString html = QStringLiteral("<h2>The last %1</h2>\n").arg(htmlEscaped(v.span.label));
    html += spanLinks(v);
    html += v.chartSvg + QLatin1Char('\n');
    html += QStringLiteral("<p class=\"key\"><span style=\"background:#a9c8f0\"></span>lowest to highest"
                           "<span style=\"background:#1d4f91;height:.2em\"></span>mean"
                           "<span style=\"border-top:2px dashed #c00;height:0\"></span>limits"
                           "<span style=\"background:#ffc4c4\"></span>in alarm; blank: no readings. %1</p>\n")
                .arg(v.span.ms > kSpanDayMs ? QStringLiteral("Drawn from the hourly statistics.")
                                            : QStringLiteral("Drawn from every reading."));
    for (const QString &error : v.readErrors)
        html += QStringLiteral("<p class=\"health bad\">Could not read %1</p>\n").arg(htmlEscaped(error));
    return html;
}

QString sensorAlarmsSection(const SensorPageView &v)
{
    QString html = QStringLiteral("<h2>Open alarms</h2>\n");
    if (v.openAlarms.isEmpty())
        return html + QStringLiteral("<p class=\"none\">No alarm is open.</p>\n");
    html +=
        QStringLiteral("<div class=\"wrap\"><table><thead><tr><th>Alarm #</th><th>Started</th><th>Data</th>"
                       "<th>Acknowledged</th></tr></thead><tbody>\n");
    for (const AlarmRecord &a : v.openAlarms) {
        const QString ack =
            a.Ack.isSet()
                ? QStringLiteral("by %1 at %2")
                          .arg(htmlEscaped(a.Ack.AckBy), htmlEscaped(DateTimeText(a.Ack.AckAt))) +
                      (a.Ack.AckComment.isEmpty() ? QString()
                                                  : QStringLiteral(": ") + htmlEscaped(a.Ack.AckComment))
                : QStringLiteral("nobody yet");
        // One arg() for all: a token or a text may hold "%2", which a later arg() would fill.
        html += QStringLiteral("<tr><td><a href=\"%1\">%2</a></td><td>%3</td><td>%4</td><td>%5</td></tr>\n")
                    .arg(linkTarget(QStringLiteral("../alarm/%1").arg(a.IDNum), QString(), v.tokenQuery),
                         QString::number(a.IDNum), htmlEscaped(DateTimeText(a.AlarmStart)),
                         htmlEscaped(a.CurrentData), ack);
    }
    return html + QStringLiteral("</tbody></table></div>\n");
}
} // namespace

const QList<SensorSpan> &SensorSpan::All()
{
    static const QList<SensorSpan> spans{{QStringLiteral("24h"), QStringLiteral("24 hours"), kSpanDayMs},
                                         {QStringLiteral("7d"), QStringLiteral("7 days"), 7 * kSpanDayMs},
                                         {QStringLiteral("30d"), QStringLiteral("30 days"), 30 * kSpanDayMs},
                                         {QStringLiteral("1y"), QStringLiteral("year"), 365 * kSpanDayMs}};
    return spans;
}

std::optional<SensorSpan> SensorSpan::Named(const QString &name)
{
    for (const SensorSpan &span : All())
        if (span.name == name)
            return span;
    return std::nullopt;
}

const SensorSpan &SensorSpan::Default()
{
    return All().first();
}

QByteArray SensorPageHtml(const SensorPageView &v)
{
    const QString title = v.sensor.sensor + QStringLiteral(" \u2013 Tallyport");
    QString html = PageHead(title, v.refreshSeconds, kChartCss);
    html += QStringLiteral("<h1>%1</h1>\n").arg(htmlEscaped(v.sensor.sensor));
    html += factsList(v);
    html += chartSection(v);
    html += sensorAlarmsSection(v);
    html += QStringLiteral("<p class=\"meta\">Page of %1. <a href=\"%2\">All sensors</a></p>\n")
                .arg(htmlEscaped(DateTimeText(v.now)),
                     linkTarget(QStringLiteral("../"), QString(), v.tokenQuery));
    return (html + QStringLiteral("</body></html>\n")).toUtf8();
}

QByteArray SensorMessageHtml(const QString &title, const QString &text, const QString &tokenQuery)
{
    QString html = PageHead(title, 300);
    html += QStringLiteral("<h1>%1</h1>\n<p>%2</p>\n<p class=\"meta\"><a href=\"%3\">All sensors</a></p>\n")
                .arg(htmlEscaped(title), htmlEscaped(text),
                     linkTarget(QStringLiteral("../"), QString(), tokenQuery));
    return (html + QStringLiteral("</body></html>\n")).toUtf8();
}
