#pragma once

#include <QString>

#include <optional>

// How the editors show numbers and read them back from what the operator typed.

// One digit after the point and none before it when the whole part is 0: 0.5 is ".5", 0 is
// ".0", -0.5 is "-.5", 72 is "72.0". Halves of the last digit round away from zero.
QString OneDecimalText(double value);

// The number a text box holds: blanks around it are ignored; an empty text, or one that is not
// a finite number, gives no value. ".5", "-.5" and "5." are numbers.
std::optional<double> NumberFromText(const QString &text);
bool IsNumericText(const QString &text);

// The nearest whole number, halves going to the even neighbour (72.5 gives 72, -12.5 gives -12,
// 73.5 gives 74).
long long RoundHalfEven(double value);

// The whole number a page field stores for a typed text: the text as a single-precision
// number, times 10 when tenths, rounded half to even. No value when the text is not a number.
std::optional<long long> StoredWholeNumber(const QString &text, bool tenths);
