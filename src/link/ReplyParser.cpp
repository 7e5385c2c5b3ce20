#include "ReplyParser.h"

#include "DeviceCommands.h"
#include "PageValues.h"

#include <core/ProgramState.h>

#include <stdexcept>

namespace {

// Reply layouts, as 0-based indexes.
constexpr int IdentifyFamily = 4;
constexpr int IdentifyModel = 6;
constexpr int IdentifyFirmware = 8;
constexpr int FirstPortBlock = 4;
constexpr int PortBlockLength = 5;
constexpr int PortCount = 10;
constexpr int ResolutionFlag = 58;
constexpr int ScaleLetter = 59;
constexpr int TenthsFlag = 10;

class ParseError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

[[noreturn]] void tooShort(const QByteArray &reply, int lastIndex)
{
    throw ParseError("reply of " + std::to_string(reply.size()) + " bytes is too short to read byte " +
                     std::to_string(lastIndex + 1));
}

int byteAt(const QByteArray &reply, int index)
{
    const auto value = PageByte(reply, index);
    if (!value)
        tooShort(reply, index);
    return *value;
}

int unsignedAt(const QByteArray &reply, int index)
{
    const auto value = PageUInt16(reply, index);
    if (!value)
        tooShort(reply, index + 1);
    return *value;
}

// Identify values are positive 16-bit numbers; a high byte of 128 or more is out of range.
int identifyValue(const QByteArray &reply, int index, const char *name)
{
    const int value = unsignedAt(reply, index);
    if (value >= 32768)
        throw ParseError(std::string(name) + " " + std::to_string(value) + " is out of range");
    return value;
}

void parseIdentify(ProgramState &state, const QByteArray &reply)
{
    state.ModelFamily = identifyValue(reply, IdentifyFamily, "model family");
    state.ModelNumber = identifyValue(reply, IdentifyModel, "model number");
    state.FirmwareRevision = identifyValue(reply, IdentifyFirmware, "firmware revision");
}

void parseReadings(ProgramState &state, const QByteArray &reply)
{
    const int tenthsPorts = TenthsPortCount(state.ModelFamily, state.ModelNumber, state.FirmwareRevision);
    for (int port = 0; port < PortCount; ++port) {
        const int block = FirstPortBlock + PortBlockLength * port;
        const auto decoded = DecodeReading(reply, block);
        if (!decoded)
            tooShort(reply, block + 1);
        float reading = *decoded;
        if (byteAt(reply, ResolutionFlag) == TenthsFlag && port < tenthsPorts)
            reading /= 10.0f;
        state.Readings[3 * port] = reading;
        state.Readings[3 * port + 1] = float(unsignedAt(reply, block + 2));
        state.Readings[3 * port + 2] = float(byteAt(reply, block + 4));
    }
    state.TemperatureScale = byteAt(reply, ScaleLetter);
}

} // namespace

std::optional<float> DecodeReading(const QByteArray &message, int index)
{
    const auto value = PageInt16(message, index);
    if (!value)
        return std::nullopt;
    return float(*value);
}

int TenthsPortCount(int modelFamily, int modelNumber, int firmwareRevision)
{
    if (modelFamily == 3 && modelNumber >= 6)
        return 4;
    if (modelFamily == 3 && firmwareRevision >= 5)
        return 2;
    if (modelFamily == 5 && firmwareRevision >= 23)
        return 8;
    return 0;
}

bool ParseMessage(ProgramState &state, const QByteArray &command, const QByteArray &reply)
{
    const CommandCodes &codes = DeviceCommands();
    try {
        if (SameCode(command, codes.DataCommand))
            parseReadings(state, reply);
        else if (SameCode(command, codes.IdentifyCommand))
            parseIdentify(state, reply);
        return true;
    } catch (const std::exception &error) {
        state.AddError(QStringLiteral("ParseMessage"), QString::fromStdString(error.what()));
        return false;
    }
}
