#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

// What every fuzz program shares: the input as bytes, and a way to stop on a broken property.
// Programs that need a program state take it from FuzzState.h.

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

// Replaces a file's contents; aborts when the temporary directory cannot be written.
void WriteFuzzFile(const QString &path, const QByteArray &bytes);
QByteArray ReadFuzzFile(const QString &path);
