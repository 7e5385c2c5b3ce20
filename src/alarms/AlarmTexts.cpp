#include "AlarmTexts.h"

#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {
const QChar CR(13);

constexpr float NotConnectedCode = 1000.0f;
constexpr float NotConnectedCode2 = 9999.0f;
constexpr float OpenCircuitCode = 999.0f;
constexpr float ShortCircuitCode = -999.0f;
constexpr float NoDataCode = -999991.0f;

bool TypeHas(const QString &type, const char *word)
{
    return type.contains(QLatin1String(word), Qt::CaseInsensitive);
}

// What a sensor's type makes of its readings. The words are looked for once per type: every
// reading of every sensor asks, and a collector has only a few types, so the last ones seen are
// remembered with their answer.
enum class ReadingKind { Contact, Water, Power, Number };

ReadingKind readingKindOf(const QString &type)
{
    struct Known {
        QString type;
        ReadingKind kind = ReadingKind::Number;
    };
    thread_local std::array<Known, 8> known;
    thread_local size_t next = 0;
    for (const Known &k : known)
        if (!k.type.isNull() && k.type == type)
            return k.kind;
    const ReadingKind kind =
        TypeHas(type, "dry contact alarm input") || TypeHas(type, "dry contact input") || TypeHas(type, "door")
            ? ReadingKind::Contact
        : TypeHas(type, "water sensor") ? ReadingKind::Water
        : TypeHas(type, "power sensor") ? ReadingKind::Power
                                        : ReadingKind::Number;
    known[next++ % known.size()] = {type, kind};
    return kind;
}

// True when the text is a number equal to the code.
bool IsCodeText(const QString &text, double code)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    return ok && value == code;
}

// "Power is off." for one minute or less, "Power has been off for: 5 minutes." after that.
QString DurationSentence(qint64 minutes, const QString &shortForm, const QString &longForm)
{
    if (minutes <= 1)
        return shortForm;
    return longForm + QString::number(minutes) + QStringLiteral(" minutes.");
}

QString MeasuringSensorLines(qint64 minutes, const QString &deviceName, const QString &sensorName,
                             const QString &stateText, const QString &unitText)
{
    const QString state = stateText.toLower();
    if (state.contains(QLatin1String("open")) || IsCodeText(stateText, OpenCircuitCode))
        return QStringLiteral(" The sensor has open circuited.") + CR;
    if (state.contains(QLatin1String("short")) || IsCodeText(stateText, ShortCircuitCode))
        return QStringLiteral(" The sensor has short circuited.") + CR;
    if (state.contains(QLatin1String("not connected")) || IsCodeText(stateText, NotConnectedCode))
        return QStringLiteral(" The sensor is not connected.") + CR;
    if (state.contains(QLatin1String("no reading")) || IsCodeText(stateText, NoDataCode))
        return QStringLiteral(" Data was not returned by: ") + deviceName + QStringLiteral(".") + CR;
    return sensorName + QStringLiteral(" is out of limits and is currently reading: ") + stateText +
           QStringLiteral(" ") + unitText + QStringLiteral(" ") +
           QStringLiteral("and has been out of limits for: ") + QString::number(minutes) +
           (minutes <= 1 ? QStringLiteral(" minute.") : QStringLiteral(" minutes.")) + CR;
}
} // namespace

QString NumberText(float value)
{
    const double v = value;
    if (!std::isfinite(v))
        return QString::number(v);
    if (v == 0.0)
        return QStringLiteral("0");
    // Seven significant digits in scientific form, e.g. "-7.250000e+01", then laid out without the
    // exponent. Made in a character buffer: the text is made for every reading of every sensor.
    const QByteArray scientific = QByteArray::number(v, 'e', 6);
    const char *mantissa = scientific.constData();
    const bool negative = *mantissa == '-';
    if (negative)
        ++mantissa;
    const char *exponent = std::strchr(mantissa, 'e');
    std::array<char, 16> digits;
    int digitCount = 0;
    for (const char *c = mantissa; c < exponent && digitCount < int(digits.size()); ++c) {
        if (*c != '.')
            digits[size_t(digitCount++)] = *c;
    }
    while (digitCount > 1 && digits[size_t(digitCount - 1)] == '0')
        --digitCount;
    const int integerDigits = std::atoi(exponent + 1) + 1;

    // A float's exponent lies between -45 and 38: at most "-0.", 45 zeros and 7 digits.
    std::array<char, 64> text;
    int length = 0;
    const auto put = [&](char c, int times = 1) {
        for (; times > 0; --times)
            text[size_t(length++)] = c;
    };
    if (negative)
        put('-');
    if (integerDigits <= 0) {
        put('0');
        put('.');
        put('0', -integerDigits);
    }
    for (int i = 0; i < digitCount; ++i) {
        if (i == integerDigits && integerDigits > 0)
            put('.');
        put(digits[size_t(i)]);
    }
    if (integerDigits > digitCount)
        put('0', integerDigits - digitCount);
    return QString::fromLatin1(text.data(), length);
}

bool SensorStateText(float reading, const QString &sensorType, QString &stateText)
{
    if (reading == NotConnectedCode || reading == NotConnectedCode2) {
        stateText = QStringLiteral("Not Connected");
        return false;
    }
    if (reading == OpenCircuitCode) {
        stateText = QStringLiteral("Sensor Open");
        return false;
    }
    if (reading == ShortCircuitCode) {
        stateText = QStringLiteral("Sensor Shorted");
        return false;
    }
    if (reading == NoDataCode) {
        stateText = QStringLiteral("No Data");
        return false;
    }

    // Digital inputs report 0 or 1; anything else is shown as the number the device sent rather
    // than a word that belongs to another reading.
    const ReadingKind kind = readingKindOf(sensorType);
    if (kind == ReadingKind::Contact) {
        if (reading == 0.0f)
            stateText = QStringLiteral("Open");
        else if (reading == 1.0f)
            stateText = QStringLiteral("Closed");
        else
            stateText = NumberText(reading);
        return true;
    }
    if (kind == ReadingKind::Water) {
        if (reading == 0.0f)
            stateText = QStringLiteral("Water Not Detected");
        else if (reading == 1.0f)
            stateText = QStringLiteral("Water Detected");
        else
            stateText = NumberText(reading);
        return true;
    }
    if (kind == ReadingKind::Power) {
        stateText = reading == 1.0f ? QStringLiteral("Power On") : QStringLiteral("Power Off");
        return true;
    }
    stateText = NumberText(reading);
    return true;
}

bool AlarmMessageText(QString &message, qint64 minutes, const QString &deviceName, const QString &sensorName,
                      const QString &sensorType, const QString &stateText, const QString &unitText,
                      const QString &sensorNotes)
{
    message.clear();
    if (TypeHas(sensorType, "water sensor input")) {
        message = DurationSentence(minutes, QStringLiteral("Water has been detected."),
                                   QStringLiteral("Water has been detected for: ")) +
                  CR;
        return true;
    }
    if (TypeHas(sensorType, "power sensor")) {
        const bool off = stateText == QLatin1String("Power Off");
        message =
            DurationSentence(minutes, off ? QStringLiteral("Power is off.") : QStringLiteral("Power is on."),
                             off ? QStringLiteral("Power has been off for: ")
                                 : QStringLiteral("Power has been on for: ")) +
            CR;
        return true;
    }
    if (TypeHas(sensorType, "door sensor")) {
        const bool open = stateText == QLatin1String("Open");
        message = DurationSentence(minutes,
                                   open ? QStringLiteral("The door is open.")
                                        : QStringLiteral("The door is closed."),
                                   open ? QStringLiteral("The door has been open for: ")
                                        : QStringLiteral("The door has been closed for: ")) +
                  CR;
        return true;
    }
    if (TypeHas(sensorType, "dry contact")) {
        const QString word =
            stateText == QLatin1String("Open") ? QStringLiteral("open") : QStringLiteral("closed");
        const QString input = QStringLiteral("The ") + sensorName + QStringLiteral(" input ");
        message = DurationSentence(minutes, input + QStringLiteral("is ") + word + QLatin1Char('.'),
                                   input + QStringLiteral("has been ") + word + QStringLiteral(" for: ")) +
                  CR;
        return true;
    }

    message = MeasuringSensorLines(minutes, deviceName, sensorName, stateText, unitText) + CR;
    if (!sensorNotes.trimmed().isEmpty())
        message += QStringLiteral("Notes for ") + sensorName + QLatin1Char(':') + CR + sensorNotes;
    return true;
}
