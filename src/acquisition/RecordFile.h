#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

class QFile;

// Which file a path named when it was opened (device and inode where the system has them): the
// same path naming another file means the file was replaced.
struct FileIdentity {
    quint64 device = 0;
    quint64 inode = 0;
    friend bool operator==(const FileIdentity &, const FileIdentity &) = default;
};

// A data file opened by path for reading and writing (made when missing), read and written at
// given positions with one system call each: no position of its own and no buffer, so nothing
// lingers after a failure and a record is never split across two writes. Failures give the
// system's text in `cause`.
class RecordFile {
public:
    RecordFile();
    ~RecordFile();
    RecordFile(RecordFile &&other) noexcept;
    RecordFile &operator=(RecordFile &&other) noexcept;
    RecordFile(const RecordFile &) = delete;
    RecordFile &operator=(const RecordFile &) = delete;

    // Opens the file, making it when it is missing.
    bool open(const QString &path, QString &cause);
    // The same, with the path as the system takes it (QFile::encodeName).
    bool open(const QByteArray &encodedPath, QString &cause);
    // The same, by its name in a directory held open (a descriptor, where the system has them).
    bool openAt(int directoryFd, const QByteArray &encodedName, QString &cause);
    bool isOpen() const;
    void close();
    // The system's number for the open file (0 where files have none).
    long descriptorNumber() const;

    bool status(qint64 &length, FileIdentity &identity, QString &cause) const;
    // Reads exactly length bytes at offset.
    bool readAt(qint64 offset, int length, QByteArray &bytes, QString &cause) const;
    // Writes all of bytes at offset; a write cut short (a full disk) is a failure.
    bool writeAt(qint64 offset, const QByteArray &bytes, QString &cause);
    bool resize(qint64 length, QString &cause);

private:
#ifdef Q_OS_UNIX
    int m_fd = -1;
#else
    std::unique_ptr<QFile> m_file;
#endif
};
