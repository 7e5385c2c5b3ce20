#include "AlarmPage.h"

#include <alarms/AckInput.h>
#include <core/DateTimeText.h>

namespace {
QString htmlText(const QString &text)
{
    return text.toHtmlEscaped();
}

// Stored texts break lines with a carriage return alone.
QString textLines(const QString &text)
{
    QString html = htmlText(text);
    html.replace(QStringLiteral("\r\n"), QStringLiteral("<br>"))
        .replace(QLatin1Char('\r'), QStringLiteral("<br>"))
        .replace(QLatin1Char('\n'), QStringLiteral("<br>"));
    return html;
}

QString pageHead(const QString &title)
{
    return QStringLiteral("<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n"
                          "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
                          "<title>%1</title>\n<style>"
                          "body{font-family:system-ui,sans-serif;margin:0;padding:0 .8em 1.2em;color:#111;"
                          "background:#f4f5f8;max-width:40em}"
                          "h1{font-size:1.35em;margin:.6em 0 .3em}dl{background:#fff;border:1px solid #ccc;"
                          "padding:.5em .7em;margin:.5em 0}dt{font-weight:bold;margin-top:.4em}dd{margin:0}"
                          ".open{background:#ff0000;color:#fff;padding:.15em .5em;font-weight:bold}"
                          ".ended{background:#00ff00;padding:.15em .5em;font-weight:bold}"
                          ".ack{background:#e3f1ff;border:1px solid #7aa7d8;padding:.5em .7em}"
                          "form{background:#fff;border:1px solid #ccc;padding:.6em .7em;margin:.6em 0}"
                          "label{display:block;margin:.4em 0 .1em}input[type=text]{width:100%;box-sizing:"
                          "border-box;font-size:1.05em;padding:.35em}button{margin-top:.7em;font-size:1.1em;"
                          "padding:.45em 1.2em}.meta{color:#444}"
                          "</style></head>\n<body>\n")
        .arg(htmlText(title));
}

QString fieldRow(const QString &term, const QString &valueHtml)
{
    return QStringLiteral("<dt>") + htmlText(term) + QStringLiteral("</dt><dd>") + valueHtml +
           QStringLiteral("</dd>\n");
}

QString ackSection(const AlarmRecord &a)
{
    if (a.Ack.isSet()) {
        QString html =
            QStringLiteral("<p class=\"ack\">Acknowledged by <b>%1</b> at %2 (%3)")
                .arg(htmlText(a.Ack.AckBy), htmlText(DateTimeText(a.Ack.AckAt)), htmlText(a.Ack.AckVia));
        if (!a.Ack.AckComment.isEmpty())
            html += QStringLiteral(": ") + htmlText(a.Ack.AckComment);
        return html + QStringLiteral("</p>\n");
    }
    if (!a.AlarmActive)
        return QStringLiteral("<p class=\"ack\">This alarm was never acknowledged.</p>\n");
    return QStringLiteral("<p class=\"ack\">Nobody has acknowledged this alarm yet.</p>\n");
}

QString formSection(const AlarmPageView &view)
{
    // The limits first: the texts may hold "%" (a token in the address), which a later arg() would
    // take for a place to fill.
    return QStringLiteral("<form method=\"post\" action=\"%3\">\n"
                          "<input type=\"hidden\" name=\"nonce\" value=\"%4\">\n"
                          "<label for=\"by\">Your name</label>"
                          "<input type=\"text\" id=\"by\" name=\"by\" required maxlength=\"%1\" "
                          "autocomplete=\"name\">\n"
                          "<label for=\"comment\">Comment (optional)</label>"
                          "<input type=\"text\" id=\"comment\" name=\"comment\" maxlength=\"%2\" "
                          "placeholder=\"for example: on my way\">\n"
                          "<button type=\"submit\">Acknowledge</button>\n</form>\n")
        .arg(QString::number(AckInput::MaxNameLength), QString::number(AckInput::MaxCommentLength),
             htmlText(view.action), htmlText(view.nonce));
}
} // namespace

QByteArray AlarmPageHtml(const AlarmPageView &view)
{
    const AlarmRecord &a = view.alarm;
    QString html = pageHead(QStringLiteral("Alarm %1: %2").arg(a.IDNum).arg(a.Sensor));
    html += QStringLiteral("<h1>Alarm %1: %2</h1>\n").arg(a.IDNum).arg(htmlText(a.Sensor));
    html += a.AlarmActive ? QStringLiteral("<p><span class=\"open\">OPEN</span></p>\n")
                          : QStringLiteral("<p><span class=\"ended\">ENDED %1</span></p>\n")
                                .arg(htmlText(DateTimeText(a.AlarmEnd)));
    html += ackSection(a);
    if (view.form)
        html += formSection(view);
    html += QStringLiteral("<dl>\n");
    html += fieldRow(QStringLiteral("Device"), htmlText(a.Server));
    html += fieldRow(QStringLiteral("Sensor"), htmlText(a.Sensor));
    html += fieldRow(QStringLiteral("Started"), htmlText(DateTimeText(a.AlarmStart)));
    html += fieldRow(QStringLiteral("Reading at the start"), htmlText(a.CurrentData));
    html += fieldRow(QStringLiteral("Minutes out of limits"), QString::number(a.TOL));
    html += fieldRow(QStringLiteral("Cause"), textLines(a.CauseOfAlarm));
    if (!view.escalation.isEmpty())
        html += fieldRow(QStringLiteral("Reminders and escalation"), htmlText(view.escalation));
    if (!a.Resolution.isEmpty())
        html += fieldRow(QStringLiteral("Resolution"), textLines(a.Resolution));
    html += QStringLiteral("</dl>\n");
    if (!view.statusLink.isEmpty())
        html += QStringLiteral("<p class=\"meta\"><a href=\"%1\">All sensors</a></p>\n")
                    .arg(htmlText(view.statusLink));
    return (html + QStringLiteral("</body></html>\n")).toUtf8();
}

QByteArray MessagePageHtml(const QString &title, const QString &text, const QString &backLink)
{
    QString html =
        pageHead(title) + QStringLiteral("<h1>%1</h1>\n<p>%2</p>\n").arg(htmlText(title), htmlText(text));
    if (!backLink.isEmpty())
        html += QStringLiteral("<p><a href=\"%1\">Back to the alarm</a></p>\n").arg(htmlText(backLink));
    return (html + QStringLiteral("</body></html>\n")).toUtf8();
}
