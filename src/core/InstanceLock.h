#pragma once

#include <QLockFile>
#include <QString>

#include <memory>

// One program directory, one Tallyport: a lock file in the directory, held for the whole run. A
// lock left by a program that crashed is taken over.
class InstanceLock {
public:
    static const QString FileName;

    // False with a message for the operator when another Tallyport runs on the directory or the
    // lock cannot be made.
    bool acquire(const QString &directory, QString &error);

private:
    std::unique_ptr<QLockFile> m_lock;
};
