#pragma once

#include <QString>
#include <QtGlobal>

// A value a settings window refuses: the message to show and the box to mark yellow and give
// the focus (named by its objectName; empty: the message alone). The replacement, when set, is
// the text the window puts into the box instead of what was typed.
struct Refusal {
    QString message;
    QString box;
    QString replacement;

    bool refused() const { return !message.isEmpty(); }
};

// A whole number typed into a box that takes only digits, as a 16-bit field of the settings
// record can hold it. Text that is empty or not a number is Blank.
enum class NumberCheck { Ok, Blank, TooLarge };
NumberCheck ReadRecordNumber(const QString &text, qint16 &value);
constexpr int LargestRecordNumber = 32767;
// The same as a refusal of the box: `blank` for a blank box or one that holds no number,
// `tooLarge` for a number past 32767.
Refusal CheckRecordNumber(const QString &text, const QString &box, const QString &blank,
                          const QString &tooLarge, qint16 &value);

// Whether a user name or password fits its protected field once encrypted (trimmed, at most
// 63 bytes as UTF-8). A longer value is refused, never stored cut.
bool FitsProtectedField(const QString &value);
// "The <what> can not be longer than 63 characters.  Please enter a shorter <what>."
QString ProtectedTooLongMessage(const QString &what);

// Whether the text can be stored in the named text field of the settings record as it is:
// no longer than the field and made only of characters Windows-1252 has.
bool FitsTextField(const char *field, const QString &value);
// The text cut to the width of the named text field, as the record stores it.
QString CutToField(const char *field, const QString &value);
