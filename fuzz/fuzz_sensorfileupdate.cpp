// Writing a reading into sensor data files that already hold any bytes (a torn write, a file
// from elsewhere, a damaged disk). The first input bytes choose the file, the minutes the clock
// stands past 10:30 and the reading; the rest is the file's present contents.
// The write succeeds, keeps every whole record before the last one, and either adds to the
// last record of the present hour or appends a new one.
#include "FuzzHarness.h"
#include "FuzzState.h"

#include <acquisition/SensorDataFiles.h>
#include <acquisition/SensorRecords.h>
#include <core/DateTimeText.h>

#include <QFile>

#include <bit>

namespace {
constexpr int kSensor = 7;

void checkStatistics(FuzzState &fuzz, const QByteArray &before, float reading)
{
    const QString path = SensorStatisticsPath(fuzz.dir.path(), kSensor);
    WriteFuzzFile(path, before);
    FUZZ_CHECK(SaveHourlyStatistics(fuzz.state, fuzz.dir.path(), kSensor, reading));

    constexpr int size = HourlyStatisticsRecord::Size;
    const QByteArray after = ReadFuzzFile(path);
    const qsizetype whole = before.size() / size * size;
    FUZZ_CHECK(after.size() == whole || after.size() == whole + size);
    const auto last = HourlyStatisticsRecord::decode(after.right(size));
    FUZZ_CHECK(last.has_value());
    if (after.size() == whole + size) {
        FUZZ_CHECK(after.left(whole) == before.left(whole));
        FUZZ_CHECK(last->encode() ==
                   HourlyStatisticsRecord::first(DateTimeText(fuzz.clock.now()), reading).encode());
        return;
    }
    // Added to the last record: only its numbers changed, by exactly this reading.
    FUZZ_CHECK(whole > 0);
    FUZZ_CHECK(after.left(whole - size + HourlyStatisticsRecord::NumbersOffset) ==
               before.left(whole - size + HourlyStatisticsRecord::NumbersOffset));
    auto expected = HourlyStatisticsRecord::decode(before.mid(whole - size, size));
    FUZZ_CHECK(expected.has_value());
    expected->add(reading);
    FUZZ_CHECK(last->encode() == expected->encode());
}

void checkInstantaneous(FuzzState &fuzz, const QByteArray &before, float reading)
{
    const QString path = SensorInstantaneousPath(fuzz.dir.path(), kSensor, fuzz.clock.now().date());
    WriteFuzzFile(path, before);
    FUZZ_CHECK(SaveInstantaneousReading(fuzz.state, fuzz.dir.path(), kSensor, reading));
    const QByteArray after = ReadFuzzFile(path);
    const qsizetype whole = before.size() / InstantaneousRecord::Size * InstantaneousRecord::Size;
    const InstantaneousRecord added{DateTimeText(fuzz.clock.now()), reading};
    FUZZ_CHECK(after == before.left(whole) + added.encode());
}

void checkHeader(FuzzState &fuzz, const QByteArray &before)
{
    const QString path = SensorHeaderPath(fuzz.dir.path(), kSensor);
    WriteFuzzFile(path, before);
    const SensorHeaderRecord wanted{QStringLiteral("Lab A"), QStringLiteral("Freezer 1"),
                                    QString(QChar(0xB0)) + QLatin1Char('F')};
    FUZZ_CHECK(SaveSensorDatToFile(fuzz.state, fuzz.dir.path(), kSensor, wanted.sensorName, wanted.serverName,
                                   wanted.unitText));
    FUZZ_CHECK(ReadFuzzFile(path) == wanted.encode());
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzState &fuzz = SharedFuzzState();
    fuzz.reset();
    InputReader input(data, size);
    const int which = input.byte() % 3;
    fuzz.clock.advanceSeconds(qint64(input.uint16()) * 60 - 120 * 60);
    const float reading = std::bit_cast<float>(quint32(input.int32()));
    const QByteArray before = input.rest();

    if (which == 0)
        checkStatistics(fuzz, before, reading);
    else if (which == 1)
        checkInstantaneous(fuzz, before, reading);
    else
        checkHeader(fuzz, before);
    return 0;
}
