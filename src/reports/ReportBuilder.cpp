#include "ReportBuilder.h"

#include "SensorStatistics.h"

#include <acquisition/SensorDataFiles.h>
#include <core/DateTimeText.h>
#include <db/ReportQueries.h>

#include <QDir>
#include <QHash>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>

namespace {

using Interval = std::pair<QDateTime, QDateTime>;

bool cancelled(const std::atomic_bool *cancel)
{
    return cancel && cancel->load();
}

// The end an event counts to: its own, or, while it is still open, the end of the period or
// now, whichever comes first.
QDateTime effectiveEnd(const QDateTime &end, const ReportRequest &request)
{
    if (end.isValid())
        return end;
    return qMin(request.period.to, request.now);
}

// An event overlaps the period when it began inside it, or began before it and ended after its
// start.
bool overlaps(const QDateTime &start, const QDateTime &end, const ReportPeriod &period)
{
    return start < period.to && (start >= period.from || end > period.from);
}

// The sensors of the data directory's header files ("Sensor-<id>.dat").
QList<qint64> sensorIdsWithFiles(const QString &directory)
{
    static const QRegularExpression header(QStringLiteral("^Sensor-(\\d+)\\.dat$"));
    QList<qint64> ids;
    const QStringList names =
        QDir(directory).entryList({QStringLiteral("Sensor-*.dat")}, QDir::Files, QDir::Name);
    for (const QString &name : names) {
        const QRegularExpressionMatch match = header.match(name);
        if (match.hasMatch())
            ids.append(match.captured(1).toLongLong());
    }
    return ids;
}

class Builder {
public:
    Builder(const ReportRequest &request, Report &report) : m_request(request), m_report(report) {}

    bool run(QString &error, const ReportProgress &progress, const std::atomic_bool *cancel);

private:
    bool readDatabase(QString &error);
    void chooseSensors();
    void addRemovedSensors();
    void readSensorFiles(SensorSummary &summary);
    void addAlarms();
    void addFailures();

    const ReportRequest &m_request;
    Report &m_report;
    ReportQueries m_queries{m_request.databasePath};
    QList<ReportSensorRow> m_named;
    QList<AlarmRecord> m_alarms;
    QList<ServerFailureRecord> m_failures;
    LocalHours m_localHours;
};

bool Builder::run(QString &error, const ReportProgress &progress, const std::atomic_bool *cancel)
{
    if (!m_request.period.isValid()) {
        error = QStringLiteral("The period is empty: its end is not after its start.");
        return false;
    }
    m_report.heading = m_request.heading;
    m_report.period = m_request.period;
    m_report.made = m_request.now;
    if (!readDatabase(error))
        return false;
    chooseSensors();
    const int total = int(m_report.sensors.size());
    for (int i = 0; i < total; ++i) {
        if (cancelled(cancel)) {
            error = QStringLiteral("The report was cancelled.");
            return false;
        }
        readSensorFiles(m_report.sensors[i]);
        if (progress)
            progress(i + 1, total);
    }
    if (m_request.sensorIds.isEmpty())
        addRemovedSensors();
    addAlarms();
    addFailures();
    return true;
}

bool Builder::readDatabase(QString &error)
{
    if (m_queries.NamedSensors(m_named) && m_queries.AlarmsEndingFrom(m_request.period.from, m_alarms) &&
        m_queries.ServerFailures(m_failures))
        return true;
    error = QStringLiteral("The database could not be read: ") + m_queries.lastError();
    return false;
}

void Builder::chooseSensors()
{
    const QSet<qint64> wanted(m_request.sensorIds.cbegin(), m_request.sensorIds.cend());
    for (const ReportSensorRow &row : std::as_const(m_named)) {
        if (!wanted.isEmpty() && !wanted.contains(row.IDNum))
            continue;
        SensorSummary summary;
        summary.sensorId = row.IDNum;
        summary.deviceId = row.ServerIDNum;
        summary.device = row.ServerName;
        summary.sensor = row.SensorName;
        m_report.sensors.append(summary);
    }
}

void Builder::readSensorFiles(SensorSummary &summary)
{
    const QString directory = m_request.dataDirectory;
    SensorHeaderRecord header;
    if (ReadSensorHeader(SensorHeaderPath(directory, int(summary.sensorId)), header)) {
        summary.unit = header.unitText;
        if (summary.device.isEmpty())
            summary.device = header.serverName;
        if (summary.sensor.isEmpty())
            summary.sensor = header.sensorName;
    }
    const QString path = SensorStatisticsPath(directory, int(summary.sensorId));
    QList<HourlyStatisticsRecord> records;
    QString error;
    if (!ReadStatisticsFrom(path, m_request.period.from, records, &error)) {
        summary.problem = error;
        m_report.problems.append(QDir::toNativeSeparators(path) + QStringLiteral(": ") + error);
        return;
    }
    int skipped = 0;
    SummarizeHours(records, m_request.period, m_localHours, summary, &skipped);
    if (skipped > 0)
        m_report.problems.append(
            QStringLiteral("%1: %2 record(s) that do not hold an hour of readings were left out")
                .arg(QDir::toNativeSeparators(path))
                .arg(skipped));
}

// Sensors no longer named in the database whose files hold readings of the period, or whose
// alarms overlap it: an inspector must see every sensor that was watched.
void Builder::addRemovedSensors()
{
    QSet<qint64> known;
    for (const SensorSummary &s : std::as_const(m_report.sensors))
        known.insert(s.sensorId);
    QList<SensorSummary> removed;
    for (const qint64 id : sensorIdsWithFiles(m_request.dataDirectory)) {
        if (known.contains(id))
            continue;
        SensorSummary summary;
        summary.sensorId = id;
        summary.removed = true;
        readSensorFiles(summary);
        if (summary.hasData()) {
            known.insert(id);
            removed.append(summary);
        }
    }
    for (const AlarmRecord &alarm : std::as_const(m_alarms)) {
        if (known.contains(alarm.SensorIDNum) ||
            !overlaps(alarm.AlarmStart, effectiveEnd(alarm.AlarmEnd, m_request), m_request.period))
            continue;
        SensorSummary summary;
        summary.sensorId = alarm.SensorIDNum;
        summary.device = alarm.Server;
        summary.sensor = alarm.Sensor;
        summary.removed = true;
        known.insert(alarm.SensorIDNum);
        removed.append(summary);
    }
    std::sort(removed.begin(), removed.end(), [](const SensorSummary &a, const SensorSummary &b) {
        const int byDevice = QString::compare(a.device, b.device, Qt::CaseInsensitive);
        return byDevice != 0 ? byDevice < 0 : a.sensorId < b.sensorId;
    });
    m_report.sensors.append(removed);
}

void Builder::addAlarms()
{
    QHash<qint64, int> indexOf;
    for (int i = 0; i < m_report.sensors.size(); ++i)
        indexOf.insert(m_report.sensors[i].sensorId, i);
    QHash<qint64, QList<Interval>> spans;
    const ReportPeriod &period = m_request.period;
    for (const AlarmRecord &alarm : std::as_const(m_alarms)) {
        const auto index = indexOf.constFind(alarm.SensorIDNum);
        if (index == indexOf.cend())
            continue;
        if (!alarm.AlarmStart.isValid()) {
            m_report.problems.append(
                QStringLiteral("Alarm %1 has no start that reads as a date").arg(alarm.IDNum));
            continue;
        }
        const QDateTime end = effectiveEnd(alarm.AlarmEnd, m_request);
        if (!overlaps(alarm.AlarmStart, end, period))
            continue;
        ReportAlarm entry;
        entry.alarmId = alarm.IDNum;
        entry.sensorId = alarm.SensorIDNum;
        entry.start = alarm.AlarmStart;
        entry.end = alarm.AlarmEnd;
        entry.secondsInPeriod = SecondsCovered({{alarm.AlarmStart, end}}, period.from, period.to);
        entry.device = alarm.Server;
        entry.sensor = alarm.Sensor;
        entry.cause = alarm.CauseOfAlarm;
        entry.emailSent = alarm.EmailSent;
        entry.resolution = alarm.Resolution;
        m_report.alarms.append(entry);
        SensorSummary &summary = m_report.sensors[*index];
        ++summary.alarmCount;
        spans[alarm.SensorIDNum].append({alarm.AlarmStart, end});
    }
    for (auto it = spans.cbegin(); it != spans.cend(); ++it)
        m_report.sensors[indexOf.value(it.key())].alarmSeconds =
            SecondsCovered(it.value(), period.from, period.to);
    std::stable_sort(m_report.alarms.begin(), m_report.alarms.end(),
                     [](const ReportAlarm &a, const ReportAlarm &b) { return a.start < b.start; });
}

void Builder::addFailures()
{
    QSet<qint64> devices;
    for (const SensorSummary &s : std::as_const(m_report.sensors))
        devices.insert(s.deviceId);
    const ReportPeriod &period = m_request.period;
    for (const ServerFailureRecord &episode : std::as_const(m_failures)) {
        if (!m_request.sensorIds.isEmpty() && !devices.contains(episode.ServerIDNum))
            continue;
        if (!episode.OffLine.isValid())
            continue;
        ReportFailure entry;
        entry.episodeId = episode.IDNum;
        entry.deviceId = episode.ServerIDNum;
        entry.device = episode.ServerName;
        entry.offLine = episode.OffLine;
        // "False" while the device is still failing; an end that does not read as a date is
        // shown as stored and counted as still failing.
        const QString back = episode.BackOnLine.trimmed();
        if (back.compare(QLatin1String("False"), Qt::CaseInsensitive) != 0) {
            entry.backOnLine = ParseStoredDateTime(QVariant(back));
            if (!entry.backOnLine.isValid())
                entry.backOnLineText = back;
        }
        const QDateTime end = effectiveEnd(entry.backOnLine, m_request);
        if (!overlaps(entry.offLine, end, period))
            continue;
        entry.secondsInPeriod = SecondsCovered({{entry.offLine, end}}, period.from, period.to);
        entry.emailSent = episode.EmailSent;
        m_report.failures.append(entry);
    }
    std::stable_sort(m_report.failures.begin(), m_report.failures.end(),
                     [](const ReportFailure &a, const ReportFailure &b) { return a.offLine < b.offLine; });
}

} // namespace

bool BuildReport(const ReportRequest &request, Report &report, QString &error, const ReportProgress &progress,
                 const std::atomic_bool *cancel)
{
    report = Report();
    Builder builder(request, report);
    return builder.run(error, progress, cancel);
}

qint64 SecondsCovered(QList<std::pair<QDateTime, QDateTime>> intervals, const QDateTime &from,
                      const QDateTime &to)
{
    for (Interval &i : intervals) {
        i.first = qMax(i.first, from);
        i.second = qMin(i.second, to);
    }
    intervals.removeIf([](const Interval &i) { return !(i.first < i.second); });
    std::sort(intervals.begin(), intervals.end());
    qint64 seconds = 0;
    QDateTime coveredTo;
    for (const Interval &i : std::as_const(intervals)) {
        const QDateTime start = coveredTo.isValid() ? qMax(i.first, coveredTo) : i.first;
        if (start < i.second)
            seconds += start.secsTo(i.second);
        coveredTo = coveredTo.isValid() ? qMax(coveredTo, i.second) : i.second;
    }
    return seconds;
}
