#include "Win1252.h"

#include <QStringDecoder>

#include <algorithm>

namespace {
// Characters 0-127 and 160-255 are the same in Windows-1252 and Latin-1; 128-159 differ. Text
// made only of the shared ones (nearly all text the program writes) is converted directly,
// without setting up the general codec for every field.
bool sameAsLatin1(char16_t c)
{
    return c < 0x80 || (c >= 0xA0 && c <= 0xFF);
}

// The characters of bytes 128-159. The five bytes the code page leaves undefined stand for the
// control characters of the same number, as the platforms' converters read them.
constexpr char16_t kHighHalf[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

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
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (sameAsLatin1(c)) {
            bytes.append(char(c));
            continue;
        }
        const auto *found = std::find(std::begin(kHighHalf), std::end(kHighHalf), c);
        if (found != std::end(kHighHalf)) {
            bytes.append(char(0x80 + (found - std::begin(kHighHalf))));
            continue;
        }
        // A character the code page cannot hold is written as "?" (one for a surrogate pair),
        // never as a control byte that readers of the file would stumble over.
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        bytes.append('?');
    }
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
