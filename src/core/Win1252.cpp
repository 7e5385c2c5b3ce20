#include "Win1252.h"

#include <QStringDecoder>
#include <QStringEncoder>

QByteArray ToWin1252(const QString &text)
{
    QStringEncoder encoder("windows-1252", QStringConverter::Flag::Default);
    if (!encoder.isValid())
        return text.toLatin1();
    QByteArray bytes = encoder.encode(text);
    return bytes;
}

QString FromWin1252(const QByteArray &bytes)
{
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
