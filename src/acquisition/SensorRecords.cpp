#include "SensorRecords.h"

#include <core/Win1252.h>

#include <QtEndian>

#include <bit>

namespace {

void appendSingle(QByteArray &out, float value)
{
    char bytes[4];
    qToLittleEndian(std::bit_cast<quint32>(value), bytes);
    out.append(bytes, 4);
}

void appendInt32(QByteArray &out, qint32 value)
{
    char bytes[4];
    qToLittleEndian(value, bytes);
    out.append(bytes, 4);
}

float singleAt(const QByteArray &bytes, int offset)
{
    return std::bit_cast<float>(qFromLittleEndian<quint32>(bytes.constData() + offset));
}

qint32 int32At(const QByteArray &bytes, int offset)
{
    return qFromLittleEndian<qint32>(bytes.constData() + offset);
}

QString textAt(const QByteArray &bytes, int offset, int width)
{
    QByteArray field = bytes.mid(offset, width);
    while (!field.isEmpty() && (field.back() == ' ' || field.back() == '\0'))
        field.chop(1);
    return FromWin1252(field);
}

template <typename Record> QList<Record> decodeAll(const QByteArray &contents)
{
    QList<Record> records;
    const qint64 n = WholeRecords(contents.size(), Record::Size);
    records.reserve(n);
    for (qint64 i = 0; i < n; ++i)
        records.append(*Record::decode(contents.mid(i * Record::Size, Record::Size)));
    return records;
}

} // namespace

QByteArray SensorHeaderRecord::encode() const
{
    return FixedField(serverName, ServerNameWidth) + FixedField(sensorName, SensorNameWidth) +
           FixedField(unitText, UnitWidth);
}

std::optional<SensorHeaderRecord> SensorHeaderRecord::decode(const QByteArray &bytes)
{
    if (bytes.size() != Size)
        return std::nullopt;
    return SensorHeaderRecord{textAt(bytes, 0, ServerNameWidth),
                              textAt(bytes, ServerNameWidth, SensorNameWidth),
                              textAt(bytes, ServerNameWidth + SensorNameWidth, UnitWidth)};
}

HourlyStatisticsRecord HourlyStatisticsRecord::first(const QString &startText, float reading)
{
    return HourlyStatisticsRecord{startText, reading, reading, reading, 1};
}

void HourlyStatisticsRecord::add(float reading)
{
    total += reading;
    count += 1;
    if (reading > maximum)
        maximum = reading;
    if (reading < minimum)
        minimum = reading;
}

QByteArray HourlyStatisticsRecord::encode() const
{
    return FixedField(startText, StartWidth) + encodeNumbers();
}

QByteArray HourlyStatisticsRecord::encodeNumbers() const
{
    QByteArray out;
    out.reserve(16);
    appendSingle(out, total);
    appendSingle(out, minimum);
    appendSingle(out, maximum);
    appendInt32(out, count);
    return out;
}

std::optional<HourlyStatisticsRecord> HourlyStatisticsRecord::decode(const QByteArray &bytes)
{
    if (bytes.size() != Size)
        return std::nullopt;
    return HourlyStatisticsRecord{textAt(bytes, 0, StartWidth), singleAt(bytes, 25), singleAt(bytes, 29),
                                  singleAt(bytes, 33), int32At(bytes, 37)};
}

QByteArray InstantaneousRecord::encode() const
{
    QByteArray out = FixedField(timeText, TimeWidth);
    appendSingle(out, reading);
    return out;
}

std::optional<InstantaneousRecord> InstantaneousRecord::decode(const QByteArray &bytes)
{
    if (bytes.size() != Size)
        return std::nullopt;
    return InstantaneousRecord{textAt(bytes, 0, TimeWidth), singleAt(bytes, TimeWidth)};
}

QList<HourlyStatisticsRecord> DecodeHourlyStatistics(const QByteArray &contents)
{
    return decodeAll<HourlyStatisticsRecord>(contents);
}

QList<InstantaneousRecord> DecodeInstantaneousReadings(const QByteArray &contents)
{
    return decodeAll<InstantaneousRecord>(contents);
}
