#include "EmailAddresses.h"

#include <QRegularExpression>

bool ParseEmailAddresses(const QString &addressList, QString &commaList)
{
    // Each line break (CR LF, or a lone CR or LF) ends one address.
    commaList.clear();
    qsizetype pos = 0;
    const qsizetype length = addressList.size();
    while (pos < length) {
        qsizetype lineEnd = pos;
        while (lineEnd < length && addressList.at(lineEnd) != QLatin1Char('\r') &&
               addressList.at(lineEnd) != QLatin1Char('\n'))
            ++lineEnd;
        if (lineEnd == length) {
            commaList += addressList.mid(pos);
            break;
        }
        commaList += addressList.mid(pos, lineEnd - pos) + QLatin1Char(',');
        pos = lineEnd + 1;
        if (addressList.at(lineEnd) == QLatin1Char('\r') && pos < length &&
            addressList.at(pos) == QLatin1Char('\n'))
            ++pos;
    }
    return true;
}

bool IsValidEmailAddress(const QString &address)
{
    // Anchored at the very end: a plain "$" would also match before a final line break.
    static const QRegularExpression pattern(QRegularExpression::anchoredPattern(
        QStringLiteral(R"([!#-'*+\-./0-9=?A-Z^-~]+@[A-Za-z0-9.\-_\[\]:]+)")));
    return pattern.match(address).hasMatch() && !address.startsWith(QLatin1Char('.')) &&
           !address.endsWith(QLatin1Char('.'));
}

bool SplitAddressList(const QString &commaList, QStringList &addresses, QString &errorText)
{
    addresses.clear();
    const QStringList entries = commaList.split(QLatin1Char(','));
    for (const QString &entry : entries) {
        const QString address = entry.trimmed();
        if (address.isEmpty())
            continue;
        if (!IsValidEmailAddress(address)) {
            errorText = QStringLiteral("\"%1\" is not a valid e-mail address.").arg(address);
            return false;
        }
        addresses.append(address);
    }
    if (addresses.isEmpty()) {
        errorText = QStringLiteral("No e-mail address was given.");
        return false;
    }
    return true;
}
