#include "DbErrorLog.h"

#include "Database.h"

void DbErrorLog::AddError(const QString &where, const QString &cause)
{
    m_database.AddError(where, cause);
}
