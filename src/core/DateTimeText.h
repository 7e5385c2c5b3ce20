#pragma once

#include <QDateTime>
#include <QString>

// The program's text for a date and time, "M/d/yyyy h:mm:ss AM" (at most 22 characters, so it
// fits every 25-character field), and the one reader of it.
QString DateTimeText(const QDateTime &when);
QDateTime ParseDateTimeText(const QString &text);

// The date alone, "M/d/yyyy", as the daily e-mail decision compares it.
QString DateText(const QDate &day);

// A form that sorts chronologically as plain text ("yyyy-MM-dd HH:mm:ss"), used where stored
// date-times are ordered; read back by ParseSortableDateTime.
QString SortableDateTime(const QDateTime &when);
QDateTime ParseSortableDateTime(const QString &text);
