#pragma once

#include <core/SettingsChecks.h>

#include <QString>
#include <QStringList>

struct ConfigRecord;

// The mail server connection settings as the advanced e-mail window shows them.
struct AdvancedEmailInput {
    QString port;
    QString timeOut;
    bool useSsl = false;
    bool authentication = false;
    QString method;
    QString userName;
    QString password;
    QString loginDomain;
};

// The authentication methods offered, in the order the window lists them.
const QStringList &AuthenticationMethods();

// The settings of the record as the window shows them. A method field that was never written
// (it starts with a NUL) or holds no listed method shows the first method, "LOGIN". (The window
// then shows "NONE" while authentication is off.)
AdvancedEmailInput AdvancedEmailFromRecord(const ConfigRecord &record);

// Checks the window's values and, when every one can be stored, copies them into the record.
// Refused: a blank or too large port or time-out. Nothing is copied when a value is refused. A
// user name or password of any length is taken (the settings file keeps a long one elsewhere).
Refusal CheckAndCopyAdvancedEmail(ConfigRecord &record, const AdvancedEmailInput &input);
