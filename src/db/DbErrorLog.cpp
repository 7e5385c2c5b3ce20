#include "DbErrorLog.h"

#include "Database.h"

void DbErrorLog::AddError(const QString &where, const QString &cause)
{
    m_pending.append(Line{m_database.storedNow(), where, cause});
    if (m_pending.size() > MaxPending) {
        m_pending.removeFirst();
        ++m_dropped;
    }
    flushPending();
}

void DbErrorLog::flushPending()
{
    if (m_dropped > 0) {
        const QString cause = QStringLiteral("%1 earlier error lines could not be written to the database "
                                             "and were lost.")
                                  .arg(m_dropped);
        if (!m_database.AddError(m_database.storedNow(), QStringLiteral("Error log"), cause))
            return;
        m_dropped = 0;
    }
    while (!m_pending.isEmpty()) {
        const Line &line = m_pending.first();
        if (!m_database.AddError(line.storedTime, line.where, line.cause))
            return;
        m_pending.removeFirst();
    }
}
