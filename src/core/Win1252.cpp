#include "Win1252.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>

namespace {
// Characters 0-127 and 160-255 are the same in Windows-1252 and Latin-1; 128-159 differ. Text
// made only of the shared ones (nearly all text the program writes) is converted directly,
// without setting up the general codec for every field.
bool sameAsLatin1(char16_t c)
{
    return c < 0x80 || (c >= 0xA0 && c <= 0xFF);
}
bool sameAsLatin1(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x80 || byte >= 0xA0;
}
} // namespace

QByteArray ToWin1252(const QString &text)
{
    if (std::all_of(text.cbegin(), text.cend(), [](QChar c) { return sameAsLatin1(c.unicode()); }))
        return text.toLatin1();
    QStringEncoder encoder("windows-1252", QStringConverter::Flag::Default);
    if (!encoder.isValid())
        return text.toLatin1();
    QByteArray bytes = encoder.encode(text);
    return bytes;
}

QString FromWin1252(const QByteArray &bytes)
{
    if (std::all_of(bytes.cbegin(), bytes.cend(), [](char c) { return sameAsLatin1(c); }))
        return QString::fromLatin1(bytes);
    QStringDecoder decoder("windows-1252", QStringConverter::Flag::Default);
    if (!decoder.isValid())
        return QString::fromLatin1(bytes);
    return decoder.decode(bytes);
}

QByteArray FixedField(const QString &text, int width)
{
    QByteArray bytes = ToWin1252(text).left(width);
    if (bytes.size() < width)
        bytes.append(width - bytes.size(), ' ');
    return bytes;
}

QString TemperatureUnitText(QChar scale)
{
    return QString(QChar(0x00B0)) + scale;
}
