#include "ProgramDirectory.h"

#include "InstanceLock.h"

#include <db/SchemaFile.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace {
const QString kDatabaseName = QStringLiteral("wexa.mdb");
const QString kBuiltInSchema = QStringLiteral(":/tallyport/schema.sql");

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

bool usable(const QString &path, QString &error)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        error = QStringLiteral("The directory %1 does not exist.").arg(shown(path));
        return false;
    }
    if (!info.isDir()) {
        error = QStringLiteral("%1 is not a directory.").arg(shown(path));
        return false;
    }
    if (!info.isWritable() || !info.isExecutable()) {
        error = QStringLiteral("The directory %1 cannot be written; Tallyport keeps its data files, "
                               "database and settings there.")
                    .arg(shown(path));
        return false;
    }
    return true;
}

QString sharedFile(const QString &executableDirectory, const QString &name)
{
    return QDir(executableDirectory).filePath(QStringLiteral("../share/tallyport/") + name);
}

// An installed copy plays the alarm sound "ding.wav" from the program directory as the portable
// one does; it is copied there once (the operator may replace it).
void copyMissingSound(const QString &executableDirectory, const QString &directory)
{
    const QString sound = QStringLiteral("ding.wav");
    if (IsInstalledLayout(executableDirectory) && !QFileInfo::exists(QDir(directory).filePath(sound)))
        QFile::copy(sharedFile(executableDirectory, sound), QDir(directory).filePath(sound));
}
} // namespace

bool IsInstalledLayout(const QString &executableDirectory)
{
    return QFileInfo::exists(sharedFile(executableDirectory, QStringLiteral("schema.sql")));
}

bool ChooseProgramDirectory(const QString &given, const QString &executableDirectory,
                            ProgramDirectory &chosen, QString &error)
{
    if (!given.isEmpty()) {
        chosen.path = QDir::cleanPath(QFileInfo(given).absoluteFilePath());
        chosen.makesDatabase = true;
        return usable(chosen.path, error);
    }
    if (IsInstalledLayout(executableDirectory)) {
        chosen.path = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
        chosen.makesDatabase = true;
        if (chosen.path.isEmpty() || !QDir().mkpath(chosen.path)) {
            error = QStringLiteral("The data folder %1 could not be made.").arg(shown(chosen.path));
            return false;
        }
        return usable(chosen.path, error);
    }
    chosen.path = executableDirectory;
    chosen.makesDatabase = false;
    return true;
}

bool MakeMissingDatabase(const ProgramDirectory &directory, QString &made, QString &error)
{
    made.clear();
    const QString database = QDir(directory.path).filePath(kDatabaseName);
    if (!directory.makesDatabase || QFileInfo::exists(database))
        return true;
    if (!CreateDatabaseFromSchema(kBuiltInSchema, database, false, error))
        return false;
    made = QStringLiteral("There was no %1 in %2: an empty one was made from the schema.")
               .arg(kDatabaseName, shown(directory.path));
    return true;
}

bool OpenProgramDirectory(const QString &given, const QString &executableDirectory, InstanceLock &lock,
                          ProgramDirectory &chosen, QString &made, QString &error)
{
    if (!ChooseProgramDirectory(given, executableDirectory, chosen, error) ||
        !lock.acquire(chosen.path, error))
        return false;
    copyMissingSound(executableDirectory, chosen.path);
    if (MakeMissingDatabase(chosen, made, error))
        return true;
    error = QStringLiteral("No database could be made in %1: %2").arg(shown(chosen.path), error);
    return false;
}
