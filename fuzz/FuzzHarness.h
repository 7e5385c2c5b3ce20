#pragma once

#include <core/Clock.h>
#include <core/ErrorLog.h>
#include <core/ProgramState.h>
#include <core/Prompts.h>
#include <core/StatusList.h>

#include <QByteArray>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

// What every fuzz program shares: quiet Qt output, a program state over a temporary program
// directory, and a way to stop on a broken property.

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

// Prints what failed and aborts, which the fuzzer (or the replay program) reports as a crash
// together with the input that caused it.
[[noreturn]] void FuzzFail(const char *condition, const char *file, int line);
#define FUZZ_CHECK(condition) ((condition) ? void() : FuzzFail(#condition, __FILE__, __LINE__))

// The input as a QByteArray without a copy, so reading past its end reaches the fuzzer's own
// buffer boundary and the address sanitizer sees it.
inline QByteArray InputBytes(const uint8_t *data, size_t size)
{
    return QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
}

// Takes leading bytes of an input to choose options; a short input gives zeros.
class InputReader {
public:
    InputReader(const uint8_t *data, size_t size) : m_data(data), m_size(size) {}
    quint8 byte();
    quint16 uint16();
    qint32 int32();
    // What is left, without a copy.
    QByteArray rest() const { return InputBytes(m_data + m_used, m_size - m_used); }

private:
    const uint8_t *m_data;
    size_t m_size;
    size_t m_used = 0;
};

// Error log that keeps only the count and the last line, so a long run holds no growing list.
class CountingErrorLog final : public ErrorLog {
public:
    void AddError(const QString &where, const QString &cause) override;
    int count = 0;
    QString last;
};

// Prompts that answer Cancel / No and an empty file name without showing anything.
class SilentPrompts final : public Prompts {
public:
    Answer ask(const QString &, const QString &, Buttons buttons, Icon) override;
    QString saveFileName(const QString &, const QString &, const QString &) override { return {}; }
};

// A program state over a fresh temporary program directory, a manual clock standing on
// 3/14/2026 10:30:00 AM and silent prompts. Qt's message output is silenced when it is made.
struct FuzzState {
    FuzzState();

    QTemporaryDir dir;
    ManualClock clock;
    SilentPrompts prompts;
    CountingErrorLog errors;
    StatusList status;
    ProgramState state;

    static QDateTime startTime();
    QString path(const QString &name) const { return dir.filePath(name); }
    // Puts the clock back, clears the log and the status list.
    void reset();
};

// One state for the whole run of a fuzz program.
FuzzState &SharedFuzzState();

// Replaces a file's contents; aborts when the temporary directory cannot be written.
void WriteFuzzFile(const QString &path, const QByteArray &bytes);
QByteArray ReadFuzzFile(const QString &path);
