#include "DateTimeText.h"

#include <QLocale>

namespace {
const QString kTextFormat = QStringLiteral("M/d/yyyy h:mm:ss AP");
const QString kSortableFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");
} // namespace

QString DateTimeText(const QDateTime &when)
{
    // The C locale keeps "AM"/"PM" in English whatever the desktop language is.
    return QLocale::c().toString(when, kTextFormat);
}

QDateTime ParseDateTimeText(const QString &text)
{
    return QLocale::c().toDateTime(text.trimmed(), kTextFormat);
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
