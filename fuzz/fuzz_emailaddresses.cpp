// A device's alarm address list as stored or typed, over any text: converting it to the comma
// form keeps every line and leaves no line break, and the addresses taken from a list, or any
// single address accepted, are plain "local@domain" with nothing that could end an SMTP line or
// start another address.
#include "FuzzHarness.h"

#include <alarms/EmailAddresses.h>

#include <QRegularExpression>

namespace {
// What an accepted address may hold: printable ASCII without blanks, exactly one "@", and
// none of the characters that separate or quote addresses.
bool plainAddress(const QString &address)
{
    for (QChar c : address) {
        if (c.unicode() < 0x21 || c.unicode() > 0x7E)
            return false;
        if (QStringLiteral(",;<>\"()").contains(c))
            return false;
    }
    return address.count(QLatin1Char('@')) == 1 && !address.startsWith(QLatin1Char('@')) &&
           !address.endsWith(QLatin1Char('@'));
}

void checkList(const QString &list)
{
    QString commaList = QStringLiteral("stale");
    FUZZ_CHECK(ParseEmailAddresses(list, commaList));
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r|\n"));
    FUZZ_CHECK(commaList == list.split(lineBreak).join(QLatin1Char(',')));
    FUZZ_CHECK(!commaList.contains(QLatin1Char('\r')) && !commaList.contains(QLatin1Char('\n')));

    QStringList addresses;
    QString errorText;
    if (SplitAddressList(commaList, addresses, errorText)) {
        FUZZ_CHECK(!addresses.isEmpty());
        for (const QString &address : addresses)
            FUZZ_CHECK(plainAddress(address) && IsValidEmailAddress(address));
    } else {
        FUZZ_CHECK(!errorText.isEmpty());
    }
    if (IsValidEmailAddress(list))
        FUZZ_CHECK(plainAddress(list));
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = InputBytes(data, size);
    checkList(QString::fromUtf8(bytes));
    checkList(QString::fromLatin1(bytes));
    return 0;
}
