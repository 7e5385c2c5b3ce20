#include "SettingsApply.h"

#include "ConfigRecord.h"

namespace {
const QString kBlank = QStringLiteral("Please do not leave any option blank");

Refusal refuse(const QString &message, const QString &box, const QString &replacement = QString())
{
    return Refusal{message, box, replacement};
}

Refusal checkCredentials(const SettingsInput &input)
{
    if (!input.userName.isEmpty() && input.password != input.confirmPassword)
        return refuse(QStringLiteral("The passwords do not match."), QString());
    if (!FitsProtectedField(input.userName))
        return refuse(ProtectedTooLongMessage(QStringLiteral("user name")), QStringLiteral("txtUN"));
    if (!FitsProtectedField(input.password))
        return refuse(ProtectedTooLongMessage(QStringLiteral("password")), QStringLiteral("txtPW_0"));
    return {};
}

Refusal checkUpdateRate(const QString &text, qint16 &rate)
{
    const QString box = QStringLiteral("txtUpdateRate");
    const QString tooLarge =
        QStringLiteral("The update rate can not be more than %1 seconds.  Please adjust the update rate.")
            .arg(LargestRecordNumber);
    if (Refusal r = CheckRecordNumber(text, box, kBlank, tooLarge, rate); r.refused())
        return r;
    if (rate < 5)
        return refuse(QStringLiteral("The minimum update rate is 5 seconds.  Please adjust the update rate."),
                      box, QStringLiteral("5"));
    return {};
}

// A number in the range its label gives: the device link and the poll cycle use any other
// value as something else, so it is refused rather than stored.
Refusal checkRange(const QString &text, const QString &box, const QString &what, int minimum, int maximum,
                   qint16 &value)
{
    const QString outside = QStringLiteral("The %1 must be a value from %2 to %3.  Please adjust the %1.")
                                .arg(what)
                                .arg(minimum)
                                .arg(maximum);
    if (Refusal r = CheckRecordNumber(text, box, kBlank, outside, value); r.refused())
        return r;
    if (value < minimum || value > maximum)
        return refuse(outside, box);
    return {};
}

void copyTexts(ConfigRecord &record, const SettingsInput &input)
{
    record.OrgName = CutToField("OrgName", input.orgName);
    record.OrgAddress = CutToField("OrgAddress", input.orgAddress);
    record.OrgPhoneNumber = CutToField("OrgPhoneNumber", input.orgPhoneNumber);
    record.AutoPrintReport = CutToField("AutoPrintReport", input.autoPrintReport);
    record.AMPM = CutToField("AMPM", input.ampm);
    record.TimeToPrint = CutToField("TimeToPrint", input.timeToPrint);
    record.PrinterName = CutToField("PrinterName", input.printerName);
    record.PrinterIndex = qint16(input.printerIndex);
    record.SMTPHost = CutToField("SMTPHost", input.host);
    record.FromAddress = CutToField("FromAddress", input.fromAddress);
    record.SystemOKEmail = input.systemOKEmail ? 1 : 0;
    record.EnableTrending = input.enableTrending ? 1 : 0;
    record.PopUps = input.popUps ? 1 : 0;
}
} // namespace

Refusal CheckAndCopySettings(ConfigRecord &record, const SettingsInput &input)
{
    if (Refusal r = checkCredentials(input); r.refused())
        return r;
    record.LogDirectory = CutToField("LogDirectory", input.logDirectory);
    record.AdminUserName = input.userName;
    record.AdminPassword = input.password;

    qint16 rate = 0;
    if (Refusal r = checkUpdateRate(input.updateRate, rate); r.refused())
        return r;
    qint16 retries = 0;
    if (Refusal r =
            checkRange(input.communicationRetry, QStringLiteral("txtCommunicationRetry"),
                       QStringLiteral("number of communication attempts"), MinAttempts, MaxAttempts, retries);
        r.refused())
        return r;
    qint16 timeOut = 0;
    if (Refusal r = checkRange(input.tcpTimeOut, QStringLiteral("txtTCPTimeOut"),
                               QStringLiteral("network communication time out"), MinDeviceTimeOut,
                               MaxDeviceTimeOut, timeOut);
        r.refused())
        return r;
    record.UpdateRate = rate;
    record.CommunicationRetry = retries;
    record.TCPTimeOut = timeOut;
    copyTexts(record, input);
    return {};
}

bool AddressNeedsQuestion(const QString &address)
{
    return !address.isEmpty() && !(address.contains(QLatin1Char('@')) && address.contains(QLatin1Char('.')));
}

QString AddressQuestion(const QString &address)
{
    return QStringLiteral("Is ") + address + QStringLiteral(" a valid email address?");
}
