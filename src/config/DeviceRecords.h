#pragma once

#include "ConfigPage.h"

#include <QString>
#include <QStringList>

// The device list as the device tree shows it, and what a Save of a device record writes.

// "SERVER" followed by the device's IDNum.
QString ServerNodeKey(qint64 id);
// The IDNum in a node key (the key without its first six characters); -1 when it holds none.
qint64 ServerIdFromKey(const QString &key);
// The name cut or padded to 20 characters, " @ IP " and the address.
QString ServerNodeText(const QString &name, const QString &address);

// The values Comm takes in the device table.
constexpr int CommOn = -1;
constexpr int CommOff = 0;

// What the device tree shows and stores after uploading a device's name, unit and address.
// name is the name as typed.
struct SaveOutcome {
    QString label; // the status line
    bool labelRed = false;
    QString message; // a message box; empty for none
    int enabled = 0; // 1 or 0
    int comm = CommOff;
};
// The outcome of an upload that got past the identify (any result but IdentifyFailed).
SaveOutcome SaveOutcomeFor(ConfigUpload upload, const QString &name, bool enableTicked);

// The alarm address list: every address followed by ",".
QStringList ParseAddrToList(const QString &emailAddr);
QString JoinAddrList(const QStringList &addresses);
// An address the list accepts: it holds "." and "@" and the mailer can send to it (so one bad
// entry never stops a device's alarm e-mails). Blanks around it are not part of it.
bool AcceptableListAddress(const QString &address);
