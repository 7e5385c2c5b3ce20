#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

#include <optional>

// The command codes of the device protocol. Every command travels as a 60-byte frame: a 4-byte
// code (or 3 bytes and a page number) followed by content or NUL bytes.
struct CommandCodes {
    static constexpr int FrameLength = 60;

    QByteArray IdentifyCommand;        // 2A CD DC BA: model family, model number, firmware
    QByteArray DataCommand;            // 3F CD DC 00: current readings of all ports
    QByteArray RestoreDefaultsCommand; // DE AD DE AD: restore factory defaults
    QByteArray StoreClockCommand;      // DE CA DE 00: store clock and log update rate
    QByteArray ReadClockCommand;       // DE CA DE 02: read clock and log parameters
    QByteArray LogDownloadCommand;     // DE CA DE 04: stored log, replied without echo
    QByteArray BusyReply;              // B5 5E B5 5E: busy on a telephone call, nothing done

    // AA BB CC n: read user page n (0 to 15).
    static QByteArray ReadUserPageCommand(int page);
    // DD CC BB n: store user page n (0 to 15).
    static QByteArray StoreUserPageCommand(int page);
};

// Builds the codes once; later calls return the same set. The main window calls it at load.
const CommandCodes &InitCommands();
// The codes, built on first use.
const CommandCodes &DeviceCommands();

// The frame of a plain command: the code padded with NUL bytes to 60. A code of 60 bytes or more
// is returned unchanged.
QByteArray BuildCommand(const QByteArray &code);

// True when the first 4 bytes of the reply are the busy reply.
bool IsBusyReply(const QByteArray &reply);

// True when the first 4 bytes of both messages are equal (and both have them).
bool SameCode(const QByteArray &a, const QByteArray &b);

// Whether a transaction's reply is accepted. A log download needs only the expected count of
// bytes. Any other reply must echo the command's code, hold at least the expected count and
// not contain "error" in any letter case.
bool JudgeReply(const QByteArray &command, const QByteArray &reply, int expectedLength);

// True when the bytes hold the word that makes a reply refused: "error" in any letter case.
bool HoldsErrorWord(const QByteArray &bytes);

// The fields (0-based start and width each) that the word "error" overlaps wherever it stands in
// the bytes, as indexes into `fields` in the order met: one field alone, or two side by side that
// spell it between them. No value when it also stands where no field is.
std::optional<QList<int>> FieldsSpellingErrorWord(const QByteArray &bytes,
                                                  const QList<QPair<int, int>> &fields);

// True when a complete reply that echoes the command is refused only because the word "error"
// stands in the given fields, alone or across two of them: the device stored texts that spell it,
// and every reply that carries them is refused.
bool ErrorWordOnlyInFields(const QByteArray &command, const QByteArray &reply, int expectedLength,
                           const QList<QPair<int, int>> &fields);
