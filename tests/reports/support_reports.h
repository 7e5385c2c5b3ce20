#pragma once

#include <acquisition/SensorRecords.h>
#include <db/Database.h>
#include <reports/ReportBuilder.h>

#include <support/TestState.h>

#include <QList>
#include <QStringList>

// The clocks of central Europe, so that March has a day of 23 hours and October one of 25. A
// rule rather than a zone name: it needs no time-zone files.
void UseCentralEuropeanTime();

// A program directory with a fresh database, and the data files and records a report reads,
// written with values the test knows.
struct ReportFixture {
    ReportFixture();

    qint64 addDevice(const QString &name);
    qint64 addSensor(qint64 deviceId, int port, const QString &name);
    void writeHeader(qint64 sensorId, const QString &device, const QString &sensor, const QString &unit);
    // Appends records to the sensor's hourly statistics file (raw bytes: torn records too).
    void appendHours(qint64 sensorId, const QList<HourlyStatisticsRecord> &records);
    void appendBytes(qint64 sensorId, const QByteArray &bytes);
    qint64 addAlarm(qint64 sensorId, const QDateTime &start, const QDateTime &end, const QString &device,
                    const QString &sensor, const QString &cause = QStringLiteral("Cause"),
                    const QString &emailSent = QString(), const QString &resolution = QString());
    // backOnLine: "False" while failing, else the program's date-time text.
    void addFailure(qint64 deviceId, const QString &device, const QDateTime &offLine,
                    const QString &backOnLine, const QString &emailSent = QStringLiteral("False"));

    ReportRequest request(const ReportPeriod &period, const QDateTime &now) const;

    TestState t;
    Database db;
    int devicesAdded = 0;
};

// An hour's record whose mean is exactly `mean` as a single (total = mean x count).
HourlyStatisticsRecord HourRecord(const QDateTime &start, float minimum, float maximum, float mean,
                                  int count);

// Every real hour of [from, to), each once (a local hour the clocks pass twice gives two).
QList<QDateTime> RealHours(const QDateTime &from, const QDateTime &to);

// The rows of a CSV text (RFC 4180 quoting), without the byte-order mark.
QList<QStringList> CsvRows(const QByteArray &csv);

// The text of a PDF as pdftotext lays it out (-layout); empty, with the reason, when pdftotext is
// missing or fails.
QString PdfText(const QByteArray &pdf, QString *why = nullptr);
// The line of the text holding needle; empty when none does.
QString LineWith(const QString &text, const QString &needle);
