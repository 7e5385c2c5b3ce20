#include "ReportCsv.h"

#include "ReportFormat.h"
#include "ReportOutput.h"

#include <QStringList>

namespace {
// A spreadsheet takes a cell that begins with one of these for a formula (names come from the
// devices and from whoever set them up); such a text that is not a number gets a leading
// apostrophe, which spreadsheets show as plain text.
QString notAFormula(const QString &text)
{
    static const QString formulaStarts = QStringLiteral("=+-@\t\r");
    if (text.isEmpty() || !formulaStarts.contains(text.front()))
        return text;
    bool number = false;
    text.toDouble(&number);
    return number ? text : QLatin1Char('\'') + text;
}

QString csvQuoted(const QString &text)
{
    QString escaped = notAFormula(ReportFormat::OneLine(text));
    escaped.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

QString note(const SensorSummary &sensor)
{
    QStringList notes;
    if (!sensor.hasData())
        notes.append(ReportFormat::NoData);
    if (sensor.removed)
        notes.append(ReportFormat::Removed);
    if (!sensor.problem.isEmpty())
        notes.append(QStringLiteral("Data file not readable: ") + sensor.problem);
    return notes.join(QStringLiteral("; "));
}

QString line(const SensorSummary &s, int periodHours)
{
    using namespace ReportFormat;
    const bool data = s.hasData();
    const QStringList fields{csvQuoted(s.device),
                             csvQuoted(s.sensor),
                             csvQuoted(s.unit),
                             data ? Reading(s.minimum) : QString(),
                             data ? Reading(s.maximum) : QString(),
                             data ? Mean(s.mean) : QString(),
                             QString::number(s.readings),
                             QString::number(s.hoursWithData),
                             QString::number(periodHours),
                             CoveragePercent(s, periodHours),
                             Minutes(s.alarmSeconds),
                             QString::number(s.alarmCount),
                             csvQuoted(note(s))};
    return fields.join(QLatin1Char(','));
}
} // namespace

QByteArray ReportCsv(const Report &report)
{
    QString text =
        QStringLiteral("\"Device\",\"Sensor\",\"Unit\",\"Minimum\",\"Maximum\",\"Mean\",\"Readings\","
                       "\"Hours with data\",\"Hours in period\",\"Coverage (%)\","
                       "\"Time in alarm (min)\",\"Alarms\",\"Note\"\r\n");
    const int hours = report.period.hours();
    for (const SensorSummary &sensor : report.sensors)
        text += line(sensor, hours) + QStringLiteral("\r\n");
    return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
}

bool WriteReportCsv(const Report &report, const QString &path, QString &error)
{
    return SaveReportFile(path, ReportCsv(report), error);
}
