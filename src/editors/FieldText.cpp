#include "FieldText.h"

#include <QLocale>

#include <cmath>

QString OneDecimalText(double value)
{
    if (!std::isfinite(value))
        return QString::number(value);
    const long long tenths = std::llround(value * 10.0);
    const long long magnitude = tenths < 0 ? -tenths : tenths;
    const long long whole = magnitude / 10;
    QString text = tenths < 0 ? QStringLiteral("-") : QString();
    if (whole != 0)
        text += QString::number(whole);
    return text + QLatin1Char('.') + QString::number(magnitude % 10);
}

std::optional<double> NumberFromText(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    bool ok = false;
    const double value = QLocale::c().toDouble(trimmed, &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

bool IsNumericText(const QString &text)
{
    return NumberFromText(text).has_value();
}

long long RoundHalfEven(double value)
{
    // The default floating-point rounding mode rounds halves to the even neighbour.
    return std::llrint(value);
}

std::optional<long long> StoredWholeNumber(const QString &text, bool tenths)
{
    const auto number = NumberFromText(text);
    if (!number)
        return std::nullopt;
    // Single precision, as the device values were always computed: 72.3 times 10 is 723.
    float value = float(*number);
    if (tenths)
        value *= 10.0f;
    if (!std::isfinite(value))
        return std::nullopt;
    return RoundHalfEven(double(value));
}
