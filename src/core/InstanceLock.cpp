#include "InstanceLock.h"

#include <QDir>

const QString InstanceLock::FileName = QStringLiteral("Tallyport.lock");

bool InstanceLock::acquire(const QString &directory, QString &error)
{
    m_lock = std::make_unique<QLockFile>(QDir(directory).filePath(FileName));
    // A running Tallyport holds its lock for months: age alone never makes it stale. A lock
    // whose process is gone (a crash, kill -9) is still recognised and taken over.
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0))
        return true;
    const QString where = QDir::toNativeSeparators(directory);
    if (m_lock->error() != QLockFile::LockFailedError) {
        error = QStringLiteral("The lock file %1 cannot be made in %2.").arg(FileName, where);
        return false;
    }
    qint64 pid = 0;
    QString host;
    QString application;
    const QString holder = m_lock->getLockInfo(&pid, &host, &application)
                               ? QStringLiteral(" (process %1 on %2)").arg(pid).arg(host)
                               : QString();
    error = QStringLiteral("Another Tallyport%1 is already running on %2. One program directory serves "
                           "one Tallyport at a time.")
                .arg(holder, where);
    return false;
}
