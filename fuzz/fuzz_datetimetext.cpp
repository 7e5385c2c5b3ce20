// The readers of the program's date-time texts over any text (read from files and the
// database): a date-time they accept is written back as text that fits a 25-character field
// and reads back as the same instant.
#include "FuzzHarness.h"

#include <core/DateTimeText.h>
#include <core/Win1252.h>

namespace {
void checkText(const QString &text)
{
    const QDateTime when = ParseDateTimeText(text);
    if (when.isValid()) {
        const QString written = DateTimeText(when);
        FUZZ_CHECK(written.size() <= 25);
        FUZZ_CHECK(ParseDateTimeText(written) == when);
        FUZZ_CHECK(ParseSortableDateTime(SortableDateTime(when)) == when);
    }
    const QDateTime sortable = ParseSortableDateTime(text);
    if (sortable.isValid()) {
        FUZZ_CHECK(ParseSortableDateTime(SortableDateTime(sortable)) == sortable);
        FUZZ_CHECK(DateTimeText(sortable).size() <= 25);
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = InputBytes(data, size);
    // As a data file holds it, and as text from the database.
    checkText(FromWin1252(bytes));
    checkText(QString::fromUtf8(bytes));
    return 0;
}
