#include "Records.h"

#include <core/DateTimeText.h>

QString StoredDateTime(const QDateTime &when)
{
    return SortableDateTime(when);
}

QDateTime ParseStoredDateTime(const QVariant &stored)
{
    if (stored.isNull())
        return {};
    const QString text = stored.toString();
    const QDateTime sortable = ParseSortableDateTime(text);
    return sortable.isValid() ? sortable : ParseDateTimeText(text);
}

QVariant StoredDateTimeOrNull(const QDateTime &when)
{
    return when.isValid() ? QVariant(StoredDateTime(when)) : QVariant();
}

QString StoredDateTimeText(const QVariant &stored)
{
    if (stored.isNull())
        return {};
    const QDateTime sortable = ParseSortableDateTime(stored.toString());
    return sortable.isValid() ? DateTimeText(sortable) : stored.toString();
}
