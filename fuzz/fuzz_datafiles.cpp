// The sensor data file readers over any file contents: the header, the hourly statistics and
// the instantaneous readings. Each reads exactly the whole records, keeps their numbers bit for
// bit, and every record has its CSV line.
#include "FuzzHarness.h"

#include <acquisition/SensorDataFiles.h>
#include <acquisition/SensorRecords.h>

namespace {
bool sameBits(const QByteArray &bytes, qsizetype offset, const QByteArray &encoded)
{
    return bytes.mid(offset, encoded.size()) == encoded;
}

QByteArray singleBytes(float value)
{
    return InstantaneousRecord{QString(), value}.encode().right(4);
}

void checkText(const QString &text, int width)
{
    FUZZ_CHECK(text.size() <= width);
    FUZZ_CHECK(!text.endsWith(QLatin1Char(' ')) && !text.endsWith(QChar(0)));
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = InputBytes(data, size);

    const auto header = SensorHeaderRecord::decode(bytes.left(SensorHeaderRecord::Size));
    FUZZ_CHECK(header.has_value() == (bytes.size() >= SensorHeaderRecord::Size));
    if (header) {
        checkText(header->serverName, SensorHeaderRecord::ServerNameWidth);
        checkText(header->sensorName, SensorHeaderRecord::SensorNameWidth);
        checkText(header->unitText, SensorHeaderRecord::UnitWidth);
    }

    const QList<HourlyStatisticsRecord> hours = DecodeHourlyStatistics(bytes);
    FUZZ_CHECK(hours.size() == bytes.size() / HourlyStatisticsRecord::Size);
    for (qsizetype i = 0; i < hours.size(); ++i) {
        const HourlyStatisticsRecord &record = hours[i];
        const qsizetype offset = i * HourlyStatisticsRecord::Size;
        checkText(record.startText, HourlyStatisticsRecord::StartWidth);
        FUZZ_CHECK(sameBits(bytes, offset + HourlyStatisticsRecord::NumbersOffset, record.encodeNumbers()));
        FUZZ_CHECK(!HourlyStatisticsCsvLine(record).isEmpty());
    }

    const QList<InstantaneousRecord> readings = DecodeInstantaneousReadings(bytes);
    FUZZ_CHECK(readings.size() == bytes.size() / InstantaneousRecord::Size);
    for (qsizetype i = 0; i < readings.size(); ++i) {
        const qsizetype offset = i * InstantaneousRecord::Size;
        checkText(readings[i].timeText, InstantaneousRecord::TimeWidth);
        FUZZ_CHECK(
            sameBits(bytes, offset + InstantaneousRecord::TimeWidth, singleBytes(readings[i].reading)));
    }
    return 0;
}
