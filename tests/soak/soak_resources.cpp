#include "soak_resources.h"

#include <QDir>
#include <QFile>

#include <sqlite3.h>
#include <unistd.h>

namespace {
qint64 statusValueKb(const QByteArray &status, const QByteArray &key)
{
    for (const QByteArray &line : status.split('\n'))
        if (line.startsWith(key + ':'))
            return line.mid(key.size() + 1).trimmed().split(' ').value(0).toLongLong();
    return -1;
}
} // namespace

ResourceSample ResourceSample::take()
{
    ResourceSample sample;
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString &name : fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        ++sample.descriptors;
        char target[256] = {};
        const QByteArray path = QFile::encodeName(fds.filePath(name));
        if (::readlink(path.constData(), target, sizeof target - 1) > 0 &&
            QByteArray(target).startsWith("socket:"))
            ++sample.sockets;
    }
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        const QByteArray text = status.readAll();
        sample.residentKb = statusValueKb(text, "VmRSS");
        sample.peakKb = statusValueKb(text, "VmHWM");
    }
    sample.sqliteKb = qint64(sqlite3_memory_used() / 1024);
    return sample;
}

QString ResourceSample::describe() const
{
    return QStringLiteral(
               "%1 descriptors (%2 sockets), resident %3 KiB (database engine %4 KiB), peak %5 KiB")
        .arg(descriptors)
        .arg(sockets)
        .arg(residentKb)
        .arg(sqliteKb)
        .arg(peakKb);
}
