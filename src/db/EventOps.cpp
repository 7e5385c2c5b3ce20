// The size of the event lists the main window pages through.
#include "Database.h"

#include <QSqlError>
#include <QSqlQuery>

bool Database::readExtent(const QString &sql, EventExtent &extent)
{
    extent = EventExtent();
    Statement query = run(sql);
    if (!query)
        return false;
    if (!query->next())
        return fail(query->lastError().text());
    extent.count = query->value(0).toInt();
    extent.maxId = query->value(1).toLongLong(); // Null (no rows) reads as 0
    return true;
}

bool Database::AlarmsExtent(EventExtent &extent)
{
    return readExtent(QStringLiteral("SELECT COUNT(*), MAX(IDNum) FROM tblAlarms"), extent);
}

bool Database::ErrorsExtent(EventExtent &extent)
{
    return readExtent(QStringLiteral("SELECT COUNT(*), MAX(ErrorID) FROM tblErrors"), extent);
}

bool Database::ServerFailuresExtent(bool notifiedOnly, EventExtent &extent)
{
    return readExtent(notifiedOnly ? QStringLiteral("SELECT COUNT(*), MAX(IDNum) FROM tblServerFailures "
                                                    "WHERE EmailSent <> 'False'")
                                   : QStringLiteral("SELECT COUNT(*), MAX(IDNum) FROM tblServerFailures"),
                      extent);
}
