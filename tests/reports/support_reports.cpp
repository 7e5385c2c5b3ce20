#include "support_reports.h"

#include <acquisition/SensorDataFiles.h>
#include <core/DateTimeText.h>

#include <support/FreshDatabase.h>

#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUuid>

#include <ctime>

void UseCentralEuropeanTime()
{
    qputenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
    tzset();
}

namespace {
void appendToFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::Append) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}
} // namespace

ReportFixture::ReportFixture() : db(t.state, FreshDatabase(t.path(QStringLiteral("wexa.mdb")))) {}

qint64 ReportFixture::addDevice(const QString &name)
{
    qint64 id = 0;
    // Addresses must differ: the database refuses a second device on one address.
    const QString address = QStringLiteral("10.0.0.%1").arg(++devicesAdded);
    if (!db.AddServer(name, QStringLiteral("RX700-10"), address, QString(), 1, QString(), QString(), -1, &id))
        qFatal("cannot add device %s: %s", qPrintable(name), qPrintable(db.lastError()));
    return id;
}

qint64 ReportFixture::addSensor(qint64 deviceId, int port, const QString &name)
{
    db.SaveSensor(deviceId, name, port, QString(), QStringLiteral("temperature"), QString(), QString(),
                  QString());
    QList<SensorRecord> rows;
    int count = 0;
    db.RecordSensors(deviceId, rows, count);
    for (const SensorRecord &row : rows)
        if (row.PortNum == port)
            return row.IDNum;
    qFatal("sensor %s not saved", qPrintable(name));
}

void ReportFixture::writeHeader(qint64 sensorId, const QString &device, const QString &sensor,
                                const QString &unit)
{
    QFile file(SensorHeaderPath(t.dir.path(), int(sensorId)));
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write a header");
    file.write(SensorHeaderRecord{device, sensor, unit}.encode());
}

void ReportFixture::appendHours(qint64 sensorId, const QList<HourlyStatisticsRecord> &records)
{
    QByteArray bytes;
    for (const HourlyStatisticsRecord &r : records)
        bytes += r.encode();
    appendBytes(sensorId, bytes);
}

void ReportFixture::appendBytes(qint64 sensorId, const QByteArray &bytes)
{
    appendToFile(SensorStatisticsPath(t.dir.path(), int(sensorId)), bytes);
}

qint64 ReportFixture::addAlarm(qint64 sensorId, const QDateTime &start, const QDateTime &end,
                               const QString &device, const QString &sensor, const QString &cause,
                               const QString &emailSent, const QString &resolution)
{
    AlarmRecord alarm;
    alarm.SensorIDNum = sensorId;
    alarm.AlarmStart = start;
    alarm.AlarmEnd = end;
    alarm.AlarmActive = !end.isValid();
    alarm.Server = device;
    alarm.Sensor = sensor;
    alarm.CauseOfAlarm = cause;
    alarm.EmailSent = emailSent;
    qint64 id = 0;
    if (!db.RecordAlarm(alarm, &id))
        qFatal("cannot add an alarm: %s", qPrintable(db.lastError()));
    if (!resolution.isEmpty())
        db.SaveAlarmResolution(id, resolution);
    return id;
}

void ReportFixture::addFailure(qint64 deviceId, const QString &device, const QDateTime &offLine,
                               const QString &backOnLine, const QString &emailSent)
{
    const QString name = QUuid::createUuid().toString();
    {
        QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        other.setDatabaseName(db.path());
        other.open();
        QSqlQuery query(other);
        query.prepare(
            QStringLiteral("INSERT INTO tblServerFailures (ServerName, ServerIDNum, OffLine, BackOnLine, "
                           "EmailSent) VALUES (?, ?, ?, ?, ?)"));
        query.addBindValue(device);
        query.addBindValue(deviceId);
        query.addBindValue(StoredDateTime(offLine));
        query.addBindValue(backOnLine);
        query.addBindValue(emailSent);
        if (!query.exec())
            qFatal("cannot add a failure episode");
        other.close();
    }
    QSqlDatabase::removeDatabase(name);
}

ReportRequest ReportFixture::request(const ReportPeriod &period, const QDateTime &now) const
{
    ReportRequest r;
    r.dataDirectory = t.dir.path();
    r.databasePath = db.path();
    r.period = period;
    r.now = now;
    r.heading = {QStringLiteral("Corner Pharmacy"), QStringLiteral("1 Main Street\rSpringfield"),
                 QStringLiteral("555-0100")};
    return r;
}

HourlyStatisticsRecord HourRecord(const QDateTime &start, float minimum, float maximum, float mean, int count)
{
    HourlyStatisticsRecord r;
    r.startText = DateTimeText(start);
    r.minimum = minimum;
    r.maximum = maximum;
    r.total = mean * float(count);
    r.count = count;
    return r;
}

QList<QDateTime> RealHours(const QDateTime &from, const QDateTime &to)
{
    QList<QDateTime> hours;
    for (QDateTime t = from; t < to; t = t.addSecs(3600))
        hours.append(t);
    return hours;
}

QList<QStringList> CsvRows(const QByteArray &csv)
{
    QString text = QString::fromUtf8(csv);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    QList<QStringList> rows;
    QStringList row;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'"' && i + 1 < text.size() && text[i + 1] == u'"') {
                field += c;
                ++i;
            } else if (c == u'"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u',') {
            row.append(field);
            field.clear();
        } else if (c == u'\r') {
            continue;
        } else if (c == u'\n') {
            row.append(field);
            rows.append(row);
            row.clear();
            field.clear();
        } else {
            field += c;
        }
    }
    if (!field.isEmpty() || !row.isEmpty()) {
        row.append(field);
        rows.append(row);
    }
    return rows;
}

QString PdfText(const QByteArray &pdf, QString *why)
{
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (tool.isEmpty()) {
        if (why)
            *why = QStringLiteral("pdftotext (poppler-utils) is not installed");
        return {};
    }
    QTemporaryDir dir;
    const QString input = dir.filePath(QStringLiteral("report.pdf"));
    QFile file(input);
    file.open(QIODevice::WriteOnly);
    file.write(pdf);
    file.close();
    QProcess process;
    process.start(tool, {QStringLiteral("-layout"), QStringLiteral("-enc"), QStringLiteral("UTF-8"), input,
                         QStringLiteral("-")});
    if (!process.waitForFinished(30000) || process.exitCode() != 0) {
        if (why)
            *why =
                QStringLiteral("pdftotext failed: ") + QString::fromLocal8Bit(process.readAllStandardError());
        return {};
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

QString LineWith(const QString &text, const QString &needle)
{
    for (const QString &line : text.split(QLatin1Char('\n')))
        if (line.contains(needle))
            return line;
    return {};
}
