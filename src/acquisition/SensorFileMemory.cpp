#include "SensorFileMemory.h"

#include <utility>

namespace {
// The sensor a data file's name belongs to and whether it is the statistics file ("Sensor-<id>
// Average.dat") or an instantaneous one; -1 for any other file (the header among them: its
// writes are this program's own and it is checked every hour).
struct DataFileName {
    int sensorId = -1;
    bool statistics = false;
};

DataFileName dataFileNamed(const QString &name)
{
    static const QString prefix = QStringLiteral("Sensor-");
    if (!name.startsWith(prefix))
        return {};
    qsizetype end = prefix.size();
    while (end < name.size() && name.at(end).isDigit())
        ++end;
    bool ok = false;
    const int id = QStringView(name).mid(prefix.size(), end - prefix.size()).toInt(&ok);
    const QStringView rest = QStringView(name).mid(end);
    if (!ok)
        return {};
    if (rest == QLatin1String(" Average.dat"))
        return {id, true};
    if (rest.startsWith(QLatin1String(" Instantaneous Data Created ")))
        return {id, false};
    return {};
}
} // namespace

bool SensorFileMemory::release(Files &files)
{
    const bool kept =
        (files.statistics && files.statistics->file.isKept()) || files.instantaneous.file.isKept();
    if (files.statistics)
        files.statistics->file.release();
    files.instantaneous.file.release();
    return kept;
}

bool SensorFileMemory::releaseAll(Directory &directory)
{
    bool released = false;
    for (auto &[id, files] : directory.sensors)
        released = release(files) || released;
    return released;
}

bool SensorFileMemory::releaseNamed(Directory &directory, const QString &fileName)
{
    const DataFileName named = dataFileNamed(fileName);
    const auto found = directory.sensors.find(named.sensorId);
    if (found == directory.sensors.end())
        return false;
    Files &files = found->second;
    KeptFile *file = !named.statistics  ? &files.instantaneous.file
                     : files.statistics ? &files.statistics->file
                                        : nullptr;
    if (!file || !file->isKept())
        return false;
    file->release();
    return true;
}

SensorFileMemory::Directory &SensorFileMemory::directoryAt(const QString &path)
{
    if (!m_lastDirectory || m_lastPath != path) {
        m_lastDirectory = &m_directories[path];
        m_lastPath = path;
    }
    return *m_lastDirectory;
}

const SensorFileMemory::Keeping *SensorFileMemory::prepare(const QString &path, int sensorId,
                                                          const QByteArray &headerRecord, qint64 hour)
{
    Directory &directory = directoryAt(path);
    // A watch that ended (its files were closed then) is made again once an hour.
    if (directory.hour != hour) {
        directory.hour = hour;
        if (!directory.watch || !directory.watch->isWatching()) {
            directory.watch = std::make_unique<DirectoryWatch>(path);
            directory.keeping = {&m_budget, directory.watch->directoryDescriptor()};
        }
    }
    Files &files = directory.sensors[sensorId];
    files.written = true;
    const bool renamed = !files.header.record.isEmpty() && files.header.record != headerRecord;
    const bool newHour = std::exchange(files.hour, hour) != hour;
    // The files just closed are reported by the watch before any is kept again.
    if ((renamed || newHour) && release(files))
        directory.lookedInBatch = 0;
    if (!directory.watch->isWatching())
        return nullptr; // nothing is kept there
    if (m_batchDepth > 0 && directory.lookedInBatch == m_batch)
        return &directory.keeping;
    directory.lookedInBatch = m_batchDepth > 0 ? m_batch : 0;
    return look(directory);
}

const SensorFileMemory::Keeping *SensorFileMemory::look(Directory &directory)
{
    // Closing a kept file is itself reported by the watch, so the reports are taken until a
    // round closes nothing more: none of them may close a file opened after it.
    for (;;) {
        const DirectoryWatch::Changes changes = directory.watch->take();
        bool released = changes.everything && releaseAll(directory);
        for (const QString &name : changes.names)
            released = releaseNamed(directory, name) || released;
        if (!directory.watch->isWatching())
            return nullptr; // the watch ended: every file was closed above
        if (!released)
            return &directory.keeping;
    }
}

void SensorFileMemory::releaseIdle()
{
    for (auto &[path, directory] : m_directories) {
        if (directory.watch && directory.watch->isWatching() && !directory.watch->standsAt(path)) {
            // Made again, on the directory the path names, at the next reading.
            releaseAll(directory);
            directory.watch.reset();
            directory.hour = -1;
        }
        for (auto &[id, files] : directory.sensors) {
            if (!files.written)
                release(files);
            files.written = false;
        }
    }
}
