#include "DeviceRecords.h"

#include <alarms/EmailAddresses.h>

namespace {
const QString KeyPrefix = QStringLiteral("SERVER");
constexpr int NodeNameWidth = 20;
} // namespace

QString ServerNodeKey(qint64 id)
{
    return KeyPrefix + QString::number(id);
}

qint64 ServerIdFromKey(const QString &key)
{
    bool ok = false;
    const qint64 id = key.mid(KeyPrefix.size()).toLongLong(&ok);
    return ok ? id : -1;
}

QString ServerNodeText(const QString &name, const QString &address)
{
    return name.left(NodeNameWidth).leftJustified(NodeNameWidth, QLatin1Char(' ')) +
           QStringLiteral(" @ IP ") + address;
}

SaveOutcome SaveOutcomeFor(ConfigUpload upload, const QString &name, bool enableTicked)
{
    const QString name20 = ConfigPage::Name20(name);
    const QString onThePhone = QStringLiteral(" is currently on the phone. The server will be added to the "
                                              "monitoring system but will not be enabled.");
    const QString verify =
        QStringLiteral(".  Before proceeding please verify the IP address you are using and that ") + name +
        QStringLiteral(" is powered on and connected to the network.");
    SaveOutcome outcome;
    switch (upload) {
    case ConfigUpload::Stored:
        outcome.label = QStringLiteral("Successfully uploaded data to ") + name20;
        outcome.enabled = enableTicked ? 1 : 0;
        outcome.comm = CommOn;
        break;
    case ConfigUpload::StoreBusy:
        outcome.label = name20 + onThePhone;
        outcome.message = outcome.label;
        break;
    case ConfigUpload::StoreFailed:
        outcome.label =
            QStringLiteral("There was an error uploading the server data to ") + name + QLatin1Char('.');
        outcome.message = QStringLiteral("There was an error uploading the server data to ") + name + verify;
        break;
    case ConfigUpload::ReadBusy:
        outcome.label = name20 + onThePhone;
        outcome.message =
            name + QStringLiteral(" is currently on the phone.  The server will be added to the "
                                  "monitoring system but will not be enabled.");
        outcome.comm = CommOn;
        break;
    case ConfigUpload::ReadFailed:
    case ConfigUpload::IdentifyFailed: {
        const QString added = QLatin1Char(' ') + name + QStringLiteral(" has been added to the database.");
        outcome.label = QStringLiteral("There was an error uploading the server data to ") + name +
                        QStringLiteral(".  Before proceeding please verify the IP address, and that ") +
                        name + QStringLiteral(" is powered on and connected to the network.") + added;
        outcome.labelRed = true;
        outcome.message = QStringLiteral("There was an error uploading data to ") + name + verify + added;
        break;
    }
    }
    return outcome;
}

QStringList ParseAddrToList(const QString &emailAddr)
{
    // Entries end at each ","; the loop stops one character short of the end, so a last entry
    // without its "," is kept only when it is longer than one character.
    QStringList entries;
    const qsizetype length = emailAddr.size();
    qsizetype p = 0;
    while (p < length - 1) {
        const qsizetype comma = emailAddr.indexOf(QLatin1Char(','), p);
        if (comma >= 0) {
            entries.append(emailAddr.mid(p, comma - p));
            p = comma + 1;
        } else {
            entries.append(emailAddr.mid(p));
            p = length;
        }
    }
    return entries;
}

QString JoinAddrList(const QStringList &addresses)
{
    QString joined;
    for (const QString &address : addresses)
        joined += address + QLatin1Char(',');
    return joined;
}

bool AcceptableListAddress(const QString &address)
{
    const QString trimmed = address.trimmed();
    // A domain never starts with a dot: "name@.org" is a typing slip, not an address.
    return trimmed.contains(QLatin1Char('.')) && trimmed.contains(QLatin1Char('@')) &&
           !trimmed.contains(QLatin1String("@.")) && IsValidEmailAddress(trimmed);
}
