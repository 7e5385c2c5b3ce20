#include "SettingsChecks.h"

#include "Cipher.h"
#include "ConfigRecord.h"
#include "Win1252.h"

NumberCheck ReadRecordNumber(const QString &text, qint16 &value)
{
    QString digits = text.trimmed();
    if (digits.isEmpty())
        return NumberCheck::Blank;
    for (QChar c : digits)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return NumberCheck::Blank;
    while (digits.size() > 1 && digits.front() == QLatin1Char('0'))
        digits.remove(0, 1);
    // Five digits at most, so the conversion itself cannot overflow.
    if (digits.size() > 5 || digits.toInt() > LargestRecordNumber)
        return NumberCheck::TooLarge;
    value = qint16(digits.toInt());
    return NumberCheck::Ok;
}

Refusal CheckRecordNumber(const QString &text, const QString &box, const QString &blank,
                          const QString &tooLarge, qint16 &value)
{
    switch (ReadRecordNumber(text, value)) {
    case NumberCheck::Blank:
        return Refusal{blank, box, QString()};
    case NumberCheck::TooLarge:
        return Refusal{tooLarge, box, QString()};
    case NumberCheck::Ok:
        break;
    }
    return {};
}

bool FitsProtectedField(const QString &value)
{
    return value.trimmed().toUtf8().size() <= Cipher::MaxPlainBytes;
}

QString ProtectedTooLongMessage(const QString &what)
{
    return QStringLiteral("The %1 can not be longer than %2 characters.  Please enter a shorter %1.")
        .arg(what)
        .arg(Cipher::MaxPlainBytes);
}

bool FitsTextField(const char *field, const QString &value)
{
    const ConfigLayout::Field *f = ConfigLayout::field(field);
    if (!f || value.size() > f->width)
        return false;
    return FromWin1252(ToWin1252(value)) == value;
}

QString CutToField(const char *field, const QString &value)
{
    const ConfigLayout::Field *f = ConfigLayout::field(field);
    return f ? value.left(f->width) : value;
}
