#pragma once

#include <QByteArray>
#include <QString>

// Telephone numbers in a device page: 20 bytes, one per dialled symbol (the digit's value for
// "0" to "9", 1B hex for "*"), followed by 1C hex when the number is shorter than 20 symbols.
// Indexes are 0-based into the page.
inline constexpr int PhoneNumberWidth = 20;

// The number a field holds: digits and "*" up to the terminator; other bytes are passed over.
QString DecodePhoneNumber(const QByteArray &page, int index);

// True when the text can be dialled: digits and "*" only, at most 20 of them.
bool IsDiallable(const QString &text);

// Writes the number and, when it is shorter than 20 symbols, the terminator; the bytes after
// the terminator keep their values. False, with the page unchanged, when the text cannot be
// dialled or the field does not fit in the page.
bool EncodePhoneNumber(QByteArray &page, int index, const QString &text);
