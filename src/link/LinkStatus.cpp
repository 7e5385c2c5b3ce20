#include "LinkStatus.h"

#include <core/ProgramState.h>

namespace LinkStatus {

void Connection(ProgramState &state, const QString &what)
{
    state.UpdateStatus(ConnectionKey, what);
}

void SocketError(ProgramState &state, int number, const QString &description)
{
    state.UpdateStatus(ErrorKey,
                       QStringLiteral("Error Number: %1.  Description %2").arg(number).arg(description));
}

void ClearSocketError(ProgramState &state)
{
    state.UpdateStatus(ErrorKey, QStringLiteral("delete"));
}

} // namespace LinkStatus

void RepairTcpTimeOut(qint16 &seconds)
{
    if (seconds < 2 || seconds > 9)
        seconds = 3;
}
