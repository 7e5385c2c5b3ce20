#pragma once

#include <QByteArray>

#include <optional>

// Values inside 60-byte device messages (user pages, replies). Indexes are 0-based into the
// QByteArray: the device's byte n (counted from 1) is index n - 1. Reading past the end gives
// no value; writing past the end changes nothing and returns false.

// One byte, 0 to 255.
std::optional<int> PageByte(const QByteArray &page, int index);
// Two bytes, high byte first, two's complement: -32768 to 32767.
std::optional<int> PageInt16(const QByteArray &page, int index);
// Two bytes, high byte first, unsigned: 0 to 65535.
std::optional<int> PageUInt16(const QByteArray &page, int index);

// The bytes a value is stored as: high = (value AND FF00h) / 256 AND FFh, low = value AND FFh.
unsigned char HighByte(int value);
unsigned char LowByte(int value);

bool SetPageByte(QByteArray &page, int index, int value);
// Stores the high byte at index and the low byte at index + 1.
bool SetPageInt16(QByteArray &page, int index, int value);
