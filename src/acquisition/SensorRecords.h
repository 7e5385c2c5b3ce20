#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// The fixed-length records of the sensor data files. Text fields are Windows-1252, left-justified
// and blank-padded; numbers are little-endian (single = IEEE 754 binary32, count = 32-bit signed).
// Decoded text fields have their trailing blanks removed.

// The one record of "Sensor-<id>.dat".
struct SensorHeaderRecord {
    static constexpr int Size = 43;
    static constexpr int ServerNameWidth = 20;
    static constexpr int SensorNameWidth = 20;
    static constexpr int UnitWidth = 3;

    QString serverName;
    QString sensorName;
    QString unitText;

    QByteArray encode() const;
    // Needs exactly Size bytes.
    static std::optional<SensorHeaderRecord> decode(const QByteArray &bytes);
    friend bool operator==(const SensorHeaderRecord &, const SensorHeaderRecord &) = default;
};

// One clock hour of readings in "Sensor-<id> Average.dat".
struct HourlyStatisticsRecord {
    static constexpr int Size = 41;
    static constexpr int StartWidth = 25;
    // Offset of the numbers, the part rewritten while the hour lasts.
    static constexpr int NumbersOffset = 25;

    QString startText;
    float total = 0;
    float minimum = 0;
    float maximum = 0;
    qint32 count = 0;

    // A record holding just this one reading.
    static HourlyStatisticsRecord first(const QString &startText, float reading);
    // Needs a count below the largest qint32.
    void add(float reading);
    float average() const { return count > 0 ? total / float(count) : 0.0f; }

    QByteArray encode() const;
    // The 16 bytes from NumbersOffset: total, minimum, maximum, count.
    QByteArray encodeNumbers() const;
    static std::optional<HourlyStatisticsRecord> decode(const QByteArray &bytes);
    friend bool operator==(const HourlyStatisticsRecord &, const HourlyStatisticsRecord &) = default;
};

// One reading in "Sensor-<id> Instantaneous Data Created <month>-<year>.dat".
struct InstantaneousRecord {
    static constexpr int Size = 29;
    static constexpr int TimeWidth = 25;

    QString timeText;
    float reading = 0;

    QByteArray encode() const;
    static std::optional<InstantaneousRecord> decode(const QByteArray &bytes);
    friend bool operator==(const InstantaneousRecord &, const InstantaneousRecord &) = default;
};

// The whole records of a file's contents, in file order. A torn record at the end (a write that
// never finished) is not part of the file.
QList<HourlyStatisticsRecord> DecodeHourlyStatistics(const QByteArray &contents);
QList<InstantaneousRecord> DecodeInstantaneousReadings(const QByteArray &contents);

// Number of whole records in a file of this length.
inline qint64 WholeRecords(qint64 length, int recordSize)
{
    return length / recordSize;
}
