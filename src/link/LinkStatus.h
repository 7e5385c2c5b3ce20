#pragma once

#include <QString>

class ProgramState;

// The status lines every device transaction writes, whichever connection it runs on.
namespace LinkStatus {
// The keys of the two lines.
inline const QString ConnectionKey = QStringLiteral("Connection ");
inline const QString ErrorKey = QStringLiteral("Communication Error");

// "Connection " followed by what the connection did: "opened", "could not be established",
// "closing connection", "closed", "failed to close connection".
void Connection(ProgramState &state, const QString &what);
// "Communication Error" line of a socket error.
void SocketError(ProgramState &state, int number, const QString &description);
// Removes the "Communication Error" line once a transaction has ended.
void ClearSocketError(ProgramState &state);
} // namespace LinkStatus

// A reply time-out setting (TCPTimeOut, seconds) outside 2 to 9 is set to 3 in memory, so a bad
// setting never makes a wait of 0 or of more than 9 seconds.
void RepairTcpTimeOut(qint16 &seconds);
