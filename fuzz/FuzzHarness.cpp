#include "FuzzHarness.h"

#include <QFile>

#include <cstdio>
#include <cstdlib>

void FuzzFail(const char *condition, const char *file, int line)
{
    std::fprintf(stderr, "Fuzz check failed: %s at %s:%d\n", condition, file, line);
    std::fflush(stderr);
    std::abort();
}

quint8 InputReader::byte()
{
    return m_used < m_size ? m_data[m_used++] : 0;
}

quint16 InputReader::uint16()
{
    const quint16 high = byte();
    return quint16(high << 8 | byte());
}

qint32 InputReader::int32()
{
    const quint32 high = uint16();
    return qint32(high << 16 | uint16());
}

void WriteFuzzFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    const bool written =
        file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
    if (!written)
        FuzzFail("the fuzz input could be written to a temporary file", __FILE__, __LINE__);
}

QByteArray ReadFuzzFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
