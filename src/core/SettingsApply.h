#pragma once

#include "SettingsChecks.h"

#include <QString>

struct ConfigRecord;

// What the settings window holds when Apply is pressed, as typed.
struct SettingsInput {
    QString orgName;
    QString orgAddress;
    QString orgPhoneNumber;
    QString updateRate;
    QString communicationRetry;
    QString tcpTimeOut;
    QString host;
    QString fromAddress;
    QString adminEmailAddress;
    bool systemOKEmail = false;
    bool enableTrending = false;
    bool popUps = false;
    QString autoPrintReport;
    QString timeToPrint;
    QString ampm;
    QString printerName;
    int printerIndex = 0;
    QString userName;
    QString password;
    QString confirmPassword;
    QString logDirectory;
};

constexpr int MinAttempts = 1;
constexpr int MaxAttempts = 5;
constexpr int MinDeviceTimeOut = 2;
constexpr int MaxDeviceTimeOut = 9;

// The steps of Apply before the administrator address is judged:
//  1. with a user name, the two passwords must match;
//  2. log directory, user name and password go into the record (the user name and password
//     only when they fit their encrypted fields);
//  3. the update rate must be a number of at least 5 (below 5 the box is raised to "5");
//  4. the attempts per device must be 1 to 5 and the device time-out 2 to 9 seconds (the values
//     the poll cycle and the device link use as typed); then every other setting is copied, text
//     cut to its field.
// A refusal stops at its step; what earlier steps put into the record stays there, unsaved.
Refusal CheckAndCopySettings(ConfigRecord &record, const SettingsInput &input);

// Step 5: an administrator address that is not empty and lacks "@" or "." is stored only when
// the user confirms it with this question.
bool AddressNeedsQuestion(const QString &address);
QString AddressQuestion(const QString &address);
