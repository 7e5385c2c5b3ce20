#include "DeviceCommands.h"

namespace {

QByteArray code(unsigned char a, unsigned char b, unsigned char c, unsigned char d)
{
    const char bytes[4] = {char(a), char(b), char(c), char(d)};
    return QByteArray(bytes, 4);
}

CommandCodes makeCodes()
{
    CommandCodes codes;
    codes.IdentifyCommand = code(0x2A, 0xCD, 0xDC, 0xBA);
    codes.DataCommand = code(0x3F, 0xCD, 0xDC, 0x00);
    codes.RestoreDefaultsCommand = code(0xDE, 0xAD, 0xDE, 0xAD);
    codes.StoreClockCommand = code(0xDE, 0xCA, 0xDE, 0x00);
    codes.ReadClockCommand = code(0xDE, 0xCA, 0xDE, 0x02);
    codes.LogDownloadCommand = code(0xDE, 0xCA, 0xDE, 0x04);
    codes.BusyReply = code(0xB5, 0x5E, 0xB5, 0x5E);
    return codes;
}

} // namespace

QByteArray CommandCodes::ReadUserPageCommand(int page)
{
    return code(0xAA, 0xBB, 0xCC, static_cast<unsigned char>(page));
}

QByteArray CommandCodes::StoreUserPageCommand(int page)
{
    return code(0xDD, 0xCC, 0xBB, static_cast<unsigned char>(page));
}

const CommandCodes &DeviceCommands()
{
    static const CommandCodes codes = makeCodes();
    return codes;
}

const CommandCodes &InitCommands()
{
    return DeviceCommands();
}

QByteArray BuildCommand(const QByteArray &code)
{
    if (code.size() >= CommandCodes::FrameLength)
        return code;
    QByteArray frame = code;
    frame.append(CommandCodes::FrameLength - code.size(), '\0');
    return frame;
}

bool SameCode(const QByteArray &a, const QByteArray &b)
{
    return a.size() >= 4 && b.size() >= 4 && a.first(4) == b.first(4);
}

bool IsBusyReply(const QByteArray &reply)
{
    return SameCode(reply, DeviceCommands().BusyReply);
}

bool JudgeReply(const QByteArray &command, const QByteArray &reply, int expectedLength)
{
    // An empty reply is never complete, whatever length the caller expects.
    const bool complete = !reply.isEmpty() && reply.size() >= expectedLength;
    if (SameCode(command, DeviceCommands().LogDownloadCommand))
        return complete;
    return complete && SameCode(reply, command) && !HoldsErrorWord(reply);
}

bool HoldsErrorWord(const QByteArray &bytes)
{
    return bytes.toLower().contains("error");
}

std::optional<QList<int>> FieldsSpellingErrorWord(const QByteArray &bytes,
                                                  const QList<QPair<int, int>> &fields)
{
    static const QByteArray word("error");
    const QByteArray lower = bytes.toLower();
    QList<int> found;
    for (qsizetype at = lower.indexOf(word); at >= 0; at = lower.indexOf(word, at + 1)) {
        bool inAField = false;
        for (int i = 0; i < fields.size(); ++i) {
            const auto &[start, width] = fields.at(i);
            if (start >= at + word.size() || start + width <= at)
                continue;
            inAField = true;
            if (!found.contains(i))
                found.append(i);
        }
        if (!inAField)
            return std::nullopt;
    }
    return found;
}

bool ErrorWordOnlyInFields(const QByteArray &command, const QByteArray &reply, int expectedLength,
                           const QList<QPair<int, int>> &fields)
{
    if (reply.size() < expectedLength || !SameCode(reply, command) || !HoldsErrorWord(reply))
        return false;
    return FieldsSpellingErrorWord(reply, fields).has_value();
}
