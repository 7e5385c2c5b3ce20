#include "FuzzHarness.h"

#include <QDir>
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

void CountingErrorLog::AddError(const QString &where, const QString &cause)
{
    ++count;
    last = where + QLatin1Char('|') + cause;
}

Prompts::Answer SilentPrompts::ask(const QString &, const QString &, Buttons buttons, Icon)
{
    switch (buttons) {
    case Buttons::Ok:
        return Answer::Ok;
    case Buttons::OkCancel:
        return Answer::Cancel;
    case Buttons::YesNo:
        return Answer::No;
    }
    return Answer::Cancel;
}

namespace {
void discardMessage(QtMsgType, const QMessageLogContext &, const QString &) {}

bool silenceQt()
{
    qInstallMessageHandler(discardMessage);
    return true;
}
} // namespace

QDateTime FuzzState::startTime()
{
    return QDateTime(QDate(2026, 3, 14), QTime(10, 30, 0));
}

FuzzState::FuzzState()
    : dir((silenceQt(), QDir::tempPath() + QStringLiteral("/tallyport-fuzz-XXXXXX"))), clock(startTime()),
      state(dir.path(), clock, prompts, errors, status)
{
    if (!dir.isValid())
        FuzzFail("the temporary program directory could be made", __FILE__, __LINE__);
    state.setMonitoringActive(true);
}

void FuzzState::reset()
{
    clock.set(startTime());
    errors.count = 0;
    errors.last.clear();
    status.clear();
}

FuzzState &SharedFuzzState()
{
    static FuzzState state;
    return state;
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
