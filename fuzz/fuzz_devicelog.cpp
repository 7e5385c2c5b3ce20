// The device log decoder over any download: only whole records are decoded, the rest is counted,
// the rows come in time order with invalid times last, every cell of a row has its text, and a
// valid clock reads back through the program's date-time text.
#include "FuzzHarness.h"

#include <config/DataLog.h>
#include <config/DeviceClock.h>
#include <core/DateTimeText.h>

#include <QSet>

namespace {
struct Identity {
    int family, model, firmware;
};
constexpr Identity Identities[] = {{3, 3, 5}, {3, 4, 4}, {3, 6, 7}, {5, 5, 23}, {5, 40, 25}, {5, 5, 22}};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    InputReader input(data, size);
    const Identity &id = Identities[input.byte() % std::size(Identities)];
    const QByteArray download = input.rest();

    DataLog log = DataLog::forDevice(id.family, id.model, id.firmware);
    log.decode(download);
    const int recordSize = log.recordSize();
    if (recordSize == 0) {
        FUZZ_CHECK(log.records().isEmpty() && log.columnCount() == 0);
        return 0;
    }
    FUZZ_CHECK(log.records().size() == download.size() / recordSize);
    FUZZ_CHECK(log.leftoverBytes() == download.size() % recordSize);
    QSet<int> positions;
    qint64 lastKey = -1;
    for (const DataLog::Record &record : log.records()) {
        FUZZ_CHECK(record.sortKey >= lastKey);
        lastKey = record.sortKey;
        FUZZ_CHECK(record.position >= 1 && record.position <= log.records().size());
        positions.insert(record.position);
        FUZZ_CHECK(record.valid == (record.sortKey != DataLog::InvalidSortKey));
        for (int column = 0; column < log.columnCount(); ++column) {
            const QString text = log.cellText(record, column);
            FUZZ_CHECK(!text.isEmpty() || (!record.valid && column >= 2 && column < log.sortKeyColumn()));
        }
        if (record.valid) {
            const QDateTime shown = ParseDateTimeText(log.cellText(record, 1));
            FUZZ_CHECK(shown.isValid() && shown.time().second() == 0);
        }
    }
    FUZZ_CHECK(positions.size() == log.records().size());

    // The clock replies: a valid clock's text names the same date and time of day.
    const ClockReading clock = DecodeClock(download, 6);
    FUZZ_CHECK(clock.valid == (clock.text != QLatin1String("Reset Time")));
    if (clock.valid) {
        const QDateTime shown = ParseDateTimeText(clock.text);
        FUZZ_CHECK(shown.date() == clock.date && shown.time() == clock.time);
    }
    return 0;
}
