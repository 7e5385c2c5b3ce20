#pragma once

#include <QDateTime>
#include <QString>

// The program's text for a date and time, "M/d/yyyy h:mm:ss AM" (at most 22 characters, so it
// fits every 25-character field), and the one reader of it.
QString DateTimeText(const QDateTime &when);
// The same text for a date and clock time as they stand, placed in no time zone: a device clock
// keeps no daylight saving, so its times may fall in an hour the local zone skips.
QString DateTimeText(const QDate &date, const QTime &time);
QDateTime ParseDateTimeText(const QString &text);
// The date and clock time the text names, without placing them in the local time zone (which
// costs far more when done for every record of a long file). False when the text is not a date.
bool ReadClockText(const QString &text, QDate &date, QTime &time);

// The date alone, "M/d/yyyy", as the daily e-mail decision compares it.
QString DateText(const QDate &day);

// A form that sorts chronologically as plain text ("yyyy-MM-dd HH:mm:ss"), used where stored
// date-times are ordered; read back by ParseSortableDateTime.
QString SortableDateTime(const QDateTime &when);
QDateTime ParseSortableDateTime(const QString &text);

// A local date-time in ISO 8601 with its offset from UTC; empty for an invalid one.
QString IsoTime(const QDateTime &when);
// The same instant with its offset from UTC fixed: formatting it again and again needs no
// time-zone lookup, as a local time's does. Invalid stays invalid.
QDateTime FixedOffsetTime(const QDateTime &when);
