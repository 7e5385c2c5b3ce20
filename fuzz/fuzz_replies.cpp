// Device replies as the program reads them, over any bytes. The first input bytes choose the
// command answered (identify, readings, or a page read) and the model family, model number and
// firmware revision left by the last identify; the rest is the reply.
// ParseMessage fails exactly on a short reply or an out-of-range identify value, logging one
// line; the values it sets are those of the reply's bytes; it never writes outside them.
#include "FuzzHarness.h"
#include "FuzzState.h"

#include <link/DeviceCommands.h>
#include <link/PageValues.h>
#include <link/ReplyParser.h>

#include <cmath>

namespace {
constexpr float kUntouched = -12345.0f;

int at(const QByteArray &reply, int index)
{
    return static_cast<unsigned char>(reply.at(index));
}

void setIdentity(ProgramState &state, InputReader &input)
{
    // Mostly the two families that scale readings, sometimes any value.
    const quint8 family = input.byte();
    state.ModelFamily = family < 100 ? 3 : family < 200 ? 5 : family;
    state.ModelNumber = input.byte() % 16;
    state.FirmwareRevision = input.byte();
}

void checkIdentify(ProgramState &state, const QByteArray &reply, bool parsed)
{
    const bool longEnough = reply.size() >= 10;
    const bool inRange = longEnough && at(reply, 4) < 128 && at(reply, 6) < 128 && at(reply, 8) < 128;
    FUZZ_CHECK(parsed == inRange);
    if (parsed) {
        FUZZ_CHECK(state.ModelFamily == at(reply, 4) * 256 + at(reply, 5));
        FUZZ_CHECK(state.ModelNumber == at(reply, 6) * 256 + at(reply, 7));
        FUZZ_CHECK(state.FirmwareRevision == at(reply, 8) * 256 + at(reply, 9));
    }
}

void checkReadings(ProgramState &state, const QByteArray &reply, bool parsed, int tenthsPorts)
{
    FUZZ_CHECK(parsed == (reply.size() >= 60));
    for (int i = 30; i < ProgramState::ReadingCount; ++i)
        FUZZ_CHECK(state.Readings[i] == kUntouched);
    if (!parsed)
        return;
    const bool tenths = at(reply, 58) == 10;
    for (int port = 0; port < 10; ++port) {
        const int block = 4 + 5 * port;
        const int raw = qint16(quint16(at(reply, block) << 8 | at(reply, block + 1)));
        const float expected = tenths && port < tenthsPorts ? float(raw) / 10.0f : float(raw);
        FUZZ_CHECK(state.Readings[3 * port] == expected);
        FUZZ_CHECK(state.Readings[3 * port + 1] == float(at(reply, block + 2) * 256 + at(reply, block + 3)));
        FUZZ_CHECK(state.Readings[3 * port + 2] == float(at(reply, block + 4)));
    }
    FUZZ_CHECK(state.TemperatureScale == at(reply, 59));
}

void checkJudging(const QByteArray &command, const QByteArray &reply, int expectedLength)
{
    const bool accepted = JudgeReply(command, reply, expectedLength);
    if (accepted) {
        FUZZ_CHECK(!reply.isEmpty() && reply.size() >= expectedLength);
        if (!SameCode(command, DeviceCommands().LogDownloadCommand))
            FUZZ_CHECK(SameCode(command, reply) && !reply.toLower().contains("error"));
    }
    FUZZ_CHECK(IsBusyReply(reply) == (reply.size() >= 4 && reply.first(4) == DeviceCommands().BusyReply));
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzState &fuzz = SharedFuzzState();
    fuzz.reset();
    ProgramState &state = fuzz.state;
    const CommandCodes &codes = InitCommands();

    InputReader input(data, size);
    const int which = input.byte() % 4;
    setIdentity(state, input);
    const int expectedLength = input.byte();
    const QByteArray reply = input.rest();
    const QByteArray command = which == 0   ? codes.IdentifyCommand
                               : which == 1 ? codes.DataCommand
                               : which == 2 ? CommandCodes::ReadUserPageCommand(which)
                                            : codes.LogDownloadCommand;
    state.Readings.fill(kUntouched);
    state.TemperatureScale = -1;
    const auto before = state.Readings;
    const int family = state.ModelFamily, model = state.ModelNumber, firmware = state.FirmwareRevision;
    const int tenthsPorts = TenthsPortCount(family, model, firmware);

    const bool parsed = ParseMessage(state, BuildCommand(command), reply);
    FUZZ_CHECK(fuzz.errors.count == (parsed ? 0 : 1));
    if (which == 0) {
        checkIdentify(state, reply, parsed);
    } else if (which == 1) {
        checkReadings(state, reply, parsed, tenthsPorts);
    } else {
        FUZZ_CHECK(parsed);
        FUZZ_CHECK(state.Readings == before && state.TemperatureScale == -1);
        FUZZ_CHECK(state.ModelFamily == family && state.ModelNumber == model &&
                   state.FirmwareRevision == firmware);
    }
    checkJudging(BuildCommand(command), reply, expectedLength);

    // Every reading position, including those past either end.
    for (int index = -2; index <= reply.size(); ++index) {
        const auto value = DecodeReading(reply, index);
        FUZZ_CHECK(value.has_value() == (index >= 0 && index + 2 <= reply.size()));
        if (value)
            FUZZ_CHECK(std::abs(*value) <= 32768.0f);
    }
    return 0;
}
