#include "ErrorLog.h"

#include <QDebug>

void MemoryErrorLog::AddError(const QString &where, const QString &cause)
{
    m_lines.append(where + QLatin1Char('|') + cause);
    qWarning().noquote() << "Error:" << where << cause;
}
