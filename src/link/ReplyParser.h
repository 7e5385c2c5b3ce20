#pragma once

#include <QByteArray>

#include <optional>

class ProgramState;

// A signed 16-bit reading, high byte first, at a 0-based index of a message.
std::optional<float> DecodeReading(const QByteArray &message, int index);

// How many ports, from port 0 up, report tenths when the readings reply flags it: 4 for a
// family-3 model 6 or above, 2 for an older family-3 model with firmware 5 or above, 8 for a
// family-5 device with firmware 23 or above, otherwise none.
int TenthsPortCount(int modelFamily, int modelNumber, int firmwareRevision);

// Reads the identify reply into ModelFamily, ModelNumber and FirmwareRevision, or the readings
// reply into Readings and TemperatureScale (scaled by the last identify values). Any other
// command changes nothing. On a short reply or an out-of-range identify value it logs one
// "ParseMessage" error and returns false; values set before the fault keep their new contents.
bool ParseMessage(ProgramState &state, const QByteArray &command, const QByteArray &reply);
