#pragma once

#include <QByteArray>
#include <QDateTime>

// The device clock as a 7-byte register image: seconds, minutes, hours (12-hour mode: 64, plus
// 32 for PM, plus the BCD hour 1-12), day of week (1 = Sunday), day, month, year - 2000, all BCD.
QByteArray simEncodeClockImage(const QDateTime &time);
// Reads an image starting at `offset` (0-based) of `bytes`. Hour 0 in 12-hour mode is taken as
// 12. False when a field is not valid BCD, the hour is not in 12-hour mode, or the date is
// impossible; `time` is then unchanged.
bool simDecodeClockImage(const QByteArray &bytes, int offset, QDateTime *time);
quint8 simToBcd(int value);
