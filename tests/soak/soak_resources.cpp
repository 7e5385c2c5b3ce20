#include "soak_resources.h"

#include <QDir>
#include <QFile>

#include <malloc.h>
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
    // Freed memory the allocator still holds goes back to the system first, so that the resident
    // size printed follows what is alive as far as the allocator can give pages back.
    ::malloc_trim(0);
    ResourceSample sample;
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString &name : fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        ++sample.descriptors;
        char target[256] = {};
        const QByteArray path = QFile::encodeName(fds.filePath(name));
        if (::readlink(path.constData(), target, sizeof target - 1) <= 0)
            continue;
        const QByteArray link(target);
        if (link.startsWith("socket:"))
            ++sample.sockets;
        else if (link.contains("/Sensor-") && link.endsWith(".dat"))
            ++sample.dataFiles;
    }
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        const QByteArray text = status.readAll();
        sample.residentKb = statusValueKb(text, "VmRSS");
        sample.peakKb = statusValueKb(text, "VmHWM");
    }
    sample.sqliteKb = qint64(sqlite3_memory_used() / 1024);
    const struct mallinfo2 heap = ::mallinfo2();
    sample.heapKb = qint64((heap.uordblks + heap.hblkhd) / 1024);
    return sample;
}

QString ResourceSample::describe() const
{
    return QStringLiteral(
               "%1 descriptors (%2 sockets, %8 of them devices listening, %3 data files), resident "
               "%4 KiB (heap in use %9 KiB, database engine %5 KiB, the run's own %6 KiB), peak %7 KiB")
        .arg(descriptors)
        .arg(sockets)
        .arg(dataFiles)
        .arg(residentKb)
        .arg(sqliteKb)
        .arg(ownKb)
        .arg(peakKb)
        .arg(listeningDevices)
        .arg(heapKb);
}
