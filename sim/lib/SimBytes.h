#pragma once

#include <QByteArray>

#include <cmath>

// A number rounded to the nearest integer and held within 16 signed bits.
inline qint16 simClampWord(double value)
{
    const double rounded = std::nearbyint(value);
    if (rounded > 32767)
        return 32767;
    if (rounded < -32768)
        return -32768;
    return qint16(rounded);
}

// A text field without its padding (blanks, or NULs in a page never written).
inline QByteArray simTrimField(const QByteArray &field)
{
    QByteArray text = field;
    text.replace('\0', ' ');
    return text.trimmed();
}
