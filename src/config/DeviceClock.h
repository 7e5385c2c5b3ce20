#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

class DeviceLink;

// The device clock: a 7-byte register image (seconds, minutes, hours, day of week, day, month,
// year within the century), every field two BCD digits. Hours are in 12-hour mode: 64, plus 32
// for PM, plus the BCD hour 1 to 12. Day of week 1 is Sunday.

// Two decimal digits as one BCD byte: (v mod 10) + 16 * (v div 10), for 0 to 99.
unsigned char ToBCD(int value);

// A decoded clock image.
// The date and time are the clock's own, in no time zone: the device keeps no daylight saving.
struct ClockReading {
    bool valid = false;
    QDate date;
    QTime time;
    QString text; // the program's date-time text, or "Reset Time" when not valid
};

// Decodes the clock in a message whose minutes byte is at the 1-based position start; hours,
// day of week, day, month and year follow it. The seconds are the byte before the minutes (the
// clock replies, start 6); a log record (start 1) has no seconds and shows ":00". Not valid:
// a digit above 9, an hour byte below 64 (a clock in 24-hour mode), an hour above 12, or a date
// that does not exist.
ClockReading DecodeClock(const QByteArray &message, int start);

// Writes the clock image of `now` into bytes 5 to 11 of a request: seconds 0, the hour on the
// 12-hour clock (the hour after midnight is 12 AM). False when the request is shorter than 11.
bool EncodeClock(QByteArray &request, const QDateTime &now);

// Read clock and log parameters (DE CA DE 02). On success text is the clock's text ("Reset Time"
// when the device's clock is not valid), updateRate byte 12 and logCount bytes 13-14 (a count
// of records, unsigned). On failure text is "Failed to read date and time from " and the
// address, and the numbers are unchanged. Always true: callers tell failure by the text.
bool ReadClock(DeviceLink &link, const QString &address, QString &text, int &updateRate, int &logCount);

// Store clock and update rate (DE CA DE 00): now as the clock, the low byte of updateRate as the
// rate. True when the transaction was accepted; replyText is then the clock of the reply
// ("Reset Time" when not valid), otherwise "Upload failed".
bool StoreClock(DeviceLink &link, const QString &address, int updateRate, const QDateTime &now,
                QString &replyText);
