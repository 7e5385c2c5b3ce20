#include "DateTimeText.h"

#include <QLocale>

#include <cstdio>

namespace {
const QString kTextFormat = QStringLiteral("M/d/yyyy h:mm:ss AP");
const QString kSortableFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

// Reads a number of minDigits to maxDigits digits at pos, with no leading zero unless it has
// exactly minDigits digits (so only the forms DateTimeText writes are taken). Moves pos on.
bool readNumber(const QString &text, qsizetype &pos, int minDigits, int maxDigits, int &value)
{
    const qsizetype start = pos;
    value = 0;
    while (pos < text.size() && pos - start < maxDigits && text[pos] >= u'0' && text[pos] <= u'9')
        value = value * 10 + (text[pos++].unicode() - u'0');
    const qsizetype digits = pos - start;
    return digits >= minDigits && (digits == minDigits || text[start] != u'0');
}

bool readChar(const QString &text, qsizetype &pos, char16_t c)
{
    if (pos >= text.size() || text[pos] != c)
        return false;
    ++pos;
    return true;
}

// The fields of "M/d/yyyy h:mm:ss AM" in the form DateTimeText writes, nothing before or after.
struct TextFields {
    int month = 0, day = 0, year = 0, hour = 0, minute = 0, second = 0;
    bool pm = false;
};

bool readFields(const QString &text, TextFields &f)
{
    qsizetype pos = 0;
    const bool read = readNumber(text, pos, 1, 2, f.month) && readChar(text, pos, u'/') &&
                      readNumber(text, pos, 1, 2, f.day) && readChar(text, pos, u'/') &&
                      readNumber(text, pos, 4, 4, f.year) && readChar(text, pos, u' ') &&
                      readNumber(text, pos, 1, 2, f.hour) && readChar(text, pos, u':') &&
                      readNumber(text, pos, 2, 2, f.minute) && readChar(text, pos, u':') &&
                      readNumber(text, pos, 2, 2, f.second) && readChar(text, pos, u' ');
    if (!read || pos + 2 != text.size() || text[pos + 1] != u'M' || (text[pos] != u'A' && text[pos] != u'P'))
        return false;
    f.pm = text[pos] == u'P';
    return true;
}

// The text exactly as DateTimeText writes it ("3/14/2026 9:05:07 PM"), read without the general
// date-time parser, which costs far more. Anything else is left to that parser (false).
bool readCanonicalText(const QString &text, QDateTime &when)
{
    TextFields f;
    if (!readFields(text, f) || f.hour < 1 || f.hour > 12 || f.year < 1000)
        return false;
    const QDate date(f.year, f.month, f.day);
    const QTime time(f.hour % 12 + (f.pm ? 12 : 0), f.minute, f.second);
    if (!date.isValid() || !time.isValid())
        return false;
    when = QDateTime(date, time);
    // Near a change of the clock (a skipped or a repeated hour) the general parser decides, as
    // it always has.
    return when.isValid() && when.date() == date && when.time() == time &&
           when.addDays(-1).offsetFromUtc() == when.addDays(1).offsetFromUtc();
}
} // namespace

bool ReadClockText(const QString &text, QDate &date, QTime &time)
{
    const QString trimmed = text.trimmed();
    TextFields f;
    if (readFields(trimmed, f) && f.hour >= 1 && f.hour <= 12 && f.year >= 1000) {
        date = QDate(f.year, f.month, f.day);
        time = QTime(f.hour % 12 + (f.pm ? 12 : 0), f.minute, f.second);
        return date.isValid() && time.isValid();
    }
    const QDateTime when = QLocale::c().toDateTime(trimmed, kTextFormat);
    date = when.date();
    time = when.time();
    return when.isValid();
}

namespace {
QString newDateTimeText(const QDateTime &when)
{
    // Every reading's record carries this text, and the general formatter costs more than the
    // rest of writing it; the four-digit years are written by hand, anything else by the C
    // locale (which keeps "AM"/"PM" in English whatever the desktop language is).
    const QDate date = when.date();
    if (!when.isValid() || date.year() < 1000 || date.year() > 9999)
        return QLocale::c().toString(when, kTextFormat);
    const QTime time = when.time();
    const int hour = time.hour() % 12 == 0 ? 12 : time.hour() % 12;
    char text[32];
    const int length =
        std::snprintf(text, sizeof text, "%d/%d/%d %d:%02d:%02d %s", date.month(), date.day(), date.year(),
                      hour, time.minute(), time.second(), time.hour() < 12 ? "AM" : "PM");
    return QString::fromLatin1(text, length);
}
} // namespace

QString DateTimeText(const QDateTime &when)
{
    // All readings of a device are written with the time they were taken at: the text made last
    // is handed out again for the same local or UTC time.
    thread_local QDateTime lastWhen;
    thread_local QString lastText;
    const Qt::TimeSpec spec = when.timeSpec();
    const bool plain = spec == Qt::LocalTime || spec == Qt::UTC;
    if (plain && lastWhen.isValid() && lastWhen.timeSpec() == spec && lastWhen == when)
        return lastText;
    QString text = newDateTimeText(when);
    if (plain && when.isValid()) {
        lastWhen = when;
        lastText = text;
    }
    return text;
}

QString DateTimeText(const QDate &date, const QTime &time)
{
    return QLocale::c().toString(date, QStringLiteral("M/d/yyyy")) + QLatin1Char(' ') +
           QLocale::c().toString(time, QStringLiteral("h:mm:ss AP"));
}

QDateTime ParseDateTimeText(const QString &text)
{
    const QString trimmed = text.trimmed();
    QDateTime when;
    if (readCanonicalText(trimmed, when))
        return when;
    return QLocale::c().toDateTime(trimmed, kTextFormat);
}

QString DateText(const QDate &day)
{
    return QLocale::c().toString(day, QStringLiteral("M/d/yyyy"));
}

QString SortableDateTime(const QDateTime &when)
{
    return when.toString(kSortableFormat);
}

QDateTime ParseSortableDateTime(const QString &text)
{
    return QDateTime::fromString(text.trimmed(), kSortableFormat);
}

QString IsoTime(const QDateTime &when)
{
    if (!when.isValid())
        return QString();
    return FixedOffsetTime(when).toString(Qt::ISODate);
}

QDateTime FixedOffsetTime(const QDateTime &when)
{
    if (!when.isValid() || when.timeSpec() == Qt::OffsetFromUTC)
        return when;
    return when.toOffsetFromUtc(when.offsetFromUtc());
}
