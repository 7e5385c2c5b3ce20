#include "PhoneNumber.h"

namespace {
constexpr char Star = 0x1B;
constexpr char Terminator = 0x1C;
} // namespace

QString DecodePhoneNumber(const QByteArray &page, int index)
{
    QString number;
    for (int k = 0; k < PhoneNumberWidth && index + k < page.size(); ++k) {
        const int byte = static_cast<unsigned char>(page.at(index + k));
        if (byte == Terminator)
            break;
        if (byte <= 9)
            number += QChar(u'0' + byte);
        else if (byte == Star)
            number += QLatin1Char('*');
    }
    return number;
}

bool IsDiallable(const QString &text)
{
    if (text.size() > PhoneNumberWidth)
        return false;
    for (QChar c : text) {
        if (!(c >= u'0' && c <= u'9') && c != u'*')
            return false;
    }
    return true;
}

bool EncodePhoneNumber(QByteArray &page, int index, const QString &text)
{
    if (!IsDiallable(text) || index < 0 || qsizetype(index) + PhoneNumberWidth > page.size())
        return false;
    for (int k = 0; k < text.size(); ++k)
        page[index + k] = text.at(k) == u'*' ? Star : char(text.at(k).unicode() - u'0');
    if (text.size() < PhoneNumberWidth)
        page[index + int(text.size())] = Terminator;
    return true;
}
