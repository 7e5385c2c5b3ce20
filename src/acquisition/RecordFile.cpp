#include "RecordFile.h"

#include <QFile>

#include <utility>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {
QString shortWrite(qint64 written, qint64 wanted)
{
    return QStringLiteral("Only %1 of %2 bytes could be written; the disk may be full")
        .arg(written)
        .arg(wanted);
}
} // namespace

RecordFile::RecordFile() = default;

RecordFile::~RecordFile()
{
    close();
}

#ifdef Q_OS_UNIX

namespace {
QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}
} // namespace

RecordFile::RecordFile(RecordFile &&other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}

RecordFile &RecordFile::operator=(RecordFile &&other) noexcept
{
    if (this != &other) {
        close();
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

bool RecordFile::open(const QString &path, QString &cause)
{
    return open(QFile::encodeName(path), cause);
}

bool RecordFile::open(const QByteArray &encodedPath, QString &cause)
{
    return openAt(AT_FDCWD, encodedPath, cause);
}

bool RecordFile::openAt(int directoryFd, const QByteArray &encodedName, QString &cause)
{
    close();
    do
        m_fd = ::openat(directoryFd, encodedName.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    while (m_fd < 0 && errno == EINTR);
    if (m_fd < 0)
        cause = systemError();
    return m_fd >= 0;
}

bool RecordFile::isOpen() const
{
    return m_fd >= 0;
}

long RecordFile::descriptorNumber() const
{
    return m_fd;
}

void RecordFile::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool RecordFile::status(qint64 &length, FileIdentity &identity, QString &cause) const
{
    struct stat info = {};
    if (::fstat(m_fd, &info) != 0) {
        cause = systemError();
        return false;
    }
    length = qint64(info.st_size);
    identity = {quint64(info.st_dev), quint64(info.st_ino)};
    return true;
}

bool RecordFile::readAt(qint64 offset, int length, QByteArray &bytes, QString &cause) const
{
    bytes.resize(length);
    ssize_t got;
    do
        got = ::pread(m_fd, bytes.data(), size_t(length), off_t(offset));
    while (got < 0 && errno == EINTR);
    if (got == length)
        return true;
    cause =
        got < 0 ? systemError() : QStringLiteral("Only %1 of %2 bytes could be read").arg(got).arg(length);
    return false;
}

bool RecordFile::writeAt(qint64 offset, const QByteArray &bytes, QString &cause)
{
    ssize_t written;
    do
        written = ::pwrite(m_fd, bytes.constData(), size_t(bytes.size()), off_t(offset));
    while (written < 0 && errno == EINTR);
    if (written == bytes.size())
        return true;
    // A write cut short (a full disk, a size limit) reports no error of its own.
    cause = written > 0   ? shortWrite(written, bytes.size())
            : written < 0 ? systemError()
                          : QStringLiteral("The file could not be written");
    return false;
}

bool RecordFile::resize(qint64 length, QString &cause)
{
    int done;
    do
        done = ::ftruncate(m_fd, off_t(length));
    while (done != 0 && errno == EINTR);
    if (done != 0)
        cause = systemError();
    return done == 0;
}

#else // Elsewhere through QFile: a seek and a write for each record.

RecordFile::RecordFile(RecordFile &&other) noexcept : m_file(std::move(other.m_file)) {}

RecordFile &RecordFile::operator=(RecordFile &&other) noexcept
{
    m_file = std::move(other.m_file);
    return *this;
}

namespace {
QString qtFileCause(const QFile &file)
{
    return file.error() != QFileDevice::NoError ? file.errorString()
                                                : QStringLiteral("The file could not be written");
}
} // namespace

bool RecordFile::open(const QString &path, QString &cause)
{
    m_file = std::make_unique<QFile>(path);
    if (m_file->open(QIODevice::ReadWrite | QIODevice::Unbuffered))
        return true;
    cause = qtFileCause(*m_file);
    m_file.reset();
    return false;
}

bool RecordFile::open(const QByteArray &encodedPath, QString &cause)
{
    return open(QFile::decodeName(encodedPath), cause);
}

bool RecordFile::openAt(int, const QByteArray &, QString &cause)
{
    cause = QStringLiteral("Files cannot be opened in a directory held open here");
    return false;
}

bool RecordFile::isOpen() const
{
    return m_file != nullptr;
}

long RecordFile::descriptorNumber() const
{
    return 0;
}

void RecordFile::close()
{
    m_file.reset();
}

bool RecordFile::status(qint64 &length, FileIdentity &identity, QString &) const
{
    length = m_file->size();
    identity = {};
    return true;
}

bool RecordFile::readAt(qint64 offset, int length, QByteArray &bytes, QString &cause) const
{
    if (m_file->seek(offset))
        bytes = m_file->read(length);
    if (bytes.size() == length)
        return true;
    cause = qtFileCause(*m_file);
    return false;
}

bool RecordFile::writeAt(qint64 offset, const QByteArray &bytes, QString &cause)
{
    if (!m_file->seek(offset)) {
        cause = qtFileCause(*m_file);
        return false;
    }
    const qint64 written = m_file->write(bytes);
    if (written == bytes.size())
        return true;
    cause = written > 0 ? shortWrite(written, bytes.size()) : qtFileCause(*m_file);
    return false;
}

bool RecordFile::resize(qint64 length, QString &cause)
{
    if (m_file->resize(length))
        return true;
    cause = qtFileCause(*m_file);
    return false;
}

#endif
