// The trending chart's history reader over any month file contents. The first input bytes
// choose how many minutes before 11:00 on 3/14/2026 the span starts and after how many minutes
// without a reading the line breaks; the rest is the sensor's March 2026 file.
// Whatever the file holds, the history is in time order, inside the span, with finite values
// and single breaks that stand between two readings, and no more readings than whole records.
#include "FuzzHarness.h"
#include "FuzzState.h"

#include <acquisition/SensorDataFiles.h>
#include <acquisition/SensorRecords.h>
#include <acquisition/TrendHistory.h>

#include <algorithm>
#include <cmath>

namespace {
constexpr int kSensor = 7;
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzState &fuzz = SharedFuzzState();
    InputReader input(data, size);
    const int minutesBack = input.uint16();
    const qint64 breakMs = qint64(input.byte()) * 60000;
    const QByteArray contents = input.rest();
    WriteFuzzFile(SensorInstantaneousPath(fuzz.dir.path(), kSensor, QDate(2026, 3, 1)), contents);

    const QDateTime to(QDate(2026, 3, 14), QTime(11, 0));
    const QDateTime from = to.addSecs(-60LL * minutesBack);
    const TrendHistory history = ReadTrendHistory(fuzz.dir.path(), kSensor, from, to, breakMs);

    FUZZ_CHECK(history.errors.isEmpty());
    FUZZ_CHECK(history.times.size() == history.values.size());
    FUZZ_CHECK(std::is_sorted(history.times.begin(), history.times.end()));
    // Breaks come where two readings lie more than twice their median spacing apart (the given
    // span while there are fewer than three readings).
    std::vector<qint64> spacings;
    qint64 last = -1;
    for (size_t i = 0; i < history.values.size(); ++i) {
        if (std::isnan(history.values[i]))
            continue;
        if (last >= 0)
            spacings.push_back(history.times[i] - last);
        last = history.times[i];
    }
    qint64 gapMs = breakMs;
    if (spacings.size() >= 2) {
        std::sort(spacings.begin(), spacings.end());
        if (spacings[spacings.size() / 2] > 0)
            gapMs = 2 * spacings[spacings.size() / 2];
    }
    qsizetype readings = 0;
    for (size_t i = 0; i < history.values.size(); ++i) {
        const qint64 time = history.times[i];
        FUZZ_CHECK(time >= from.toMSecsSinceEpoch() && time < to.toMSecsSinceEpoch());
        if (!std::isnan(history.values[i])) {
            FUZZ_CHECK(std::isfinite(history.values[i]));
            ++readings;
            continue;
        }
        // A break lies between two readings further apart than the break span.
        FUZZ_CHECK(gapMs > 0 && i > 0 && i + 1 < history.values.size());
        FUZZ_CHECK(!std::isnan(history.values[i - 1]) && !std::isnan(history.values[i + 1]));
        FUZZ_CHECK(history.times[i + 1] - history.times[i - 1] > gapMs);
    }
    FUZZ_CHECK(readings <= contents.size() / InstantaneousRecord::Size);
    return 0;
}
