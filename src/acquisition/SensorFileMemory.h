#pragma once

#include "DirectoryWatch.h"
#include "KeptFile.h"
#include "SensorRecords.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <memory>
#include <optional>
#include <unordered_map>

// What the writers learnt of the files they wrote, so that a reading costs few file-system calls:
// per directory and sensor, the header record last found in the header file (checked again
// when it changes and at the first reading of every clock hour, so a header deleted or replaced
// by someone else is written again within the hour), and the last hourly record with the
// identity and length the statistics file had after it was written (any other file or length
// found there is read again).
//
// Where the directory is on a local disk and the descriptor budget has room, the statistics file
// and this month's instantaneous file also stay open between readings, so that a reading costs
// a write to each and one look at the directory's watch. A kept file is closed, and opened by its
// path again at the next reading, as soon as the watch reports it deleted, moved, replaced,
// written by someone else or given other permissions. All of a directory's files are closed when
// the watch missed changes or ended, and when the backup directory changes; a sensor's files at
// its first reading of every clock hour (so at the month's change too: spread over the cycle
// rather than all at once, which at tens of thousands of files would hold the window), when its
// name or its device's name changes, and when it had no reading in a whole cycle (a deleted
// sensor), and when the directory's path names another directory at the end of a cycle. So a
// reading is never written into a file that no longer stands at its path.
class SensorFileMemory {
public:
    struct Header {
        QByteArray record;
        qint64 hour = -1; // the clock hour it was last checked in
        // The device's, the sensor's and the unit's texts the record was made from: while they
        // stay the same the record is not made again for every reading.
        std::array<QString, 3> texts;
    };
    struct Statistics {
        quint64 device = 0, inode = 0;
        qint64 length = -1;
        HourlyStatisticsRecord last;
        qint64 startHour = -1; // the clock hour last started in
        KeptFile file;
    };
    struct Instantaneous {
        KeptFile file;
        qint64 month = -1; // of the kept file
        qint64 length = 0; // of the kept file, all whole records
    };
    struct Files {
        Header header;
        std::optional<Statistics> statistics;
        Instantaneous instantaneous;
        bool written = false; // since the last end of a cycle
        qint64 hour = -1;     // the clock hour of its last reading
    };

    SensorFileMemory() = default;
    explicit SensorFileMemory(int keptFileCapacity) : m_budget(keptFileCapacity) {}
    SensorFileMemory(const SensorFileMemory &) = delete;
    SensorFileMemory &operator=(const SensorFileMemory &) = delete;

    // What is known of a sensor's files in a directory (made empty when nothing is).
    Files &of(const QString &directory, int sensorId) { return directoryAt(directory).sensors[sensorId]; }
    // Where a sensor's files may be kept open.
    struct Keeping {
        KeptFileBudget *budget = nullptr;
        // The directory as its watch holds it open: the files are opened by their names in it,
        // without a walk of the whole path.
        int directoryFd = -1;
    };
    // Before a reading of the sensor is written to the directory: closes the kept files that may
    // no longer stand at their paths (see above). Where files may be kept, or null where they
    // must not be.
    const Keeping *prepare(const QString &directory, int sensorId, const QByteArray &headerRecord,
                           qint64 hour);
    // While one is alive, each directory's watch is looked at once, before the first reading
    // written there, instead of before every reading: the readings of one device are written one
    // after another, and a change from outside in between is noticed at the next device's.
    class Batch {
    public:
        explicit Batch(SensorFileMemory &memory) : m_memory(memory)
        {
            if (m_memory.m_batchDepth++ == 0)
                ++m_memory.m_batch;
        }
        ~Batch() { --m_memory.m_batchDepth; }
        Batch(const Batch &) = delete;
        Batch &operator=(const Batch &) = delete;

    private:
        SensorFileMemory &m_memory;
    };
    // At the end of a cycle: closes the files of sensors that had no reading in it, and all files
    // of a directory whose path names another directory now (a parent renamed, a drive mounted
    // over it), which its watch does not report.
    void releaseIdle();
    // Forgets a directory (the backup directory changed) or everything, closing their files.
    void forget(const QString &directory)
    {
        m_lastDirectory = nullptr;
        m_directories.erase(directory);
    }
    void clear()
    {
        m_lastDirectory = nullptr;
        m_directories.clear();
    }
    int keptFiles() const { return m_budget.kept(); }

private:
    struct Directory {
        std::unique_ptr<DirectoryWatch> watch;
        Keeping keeping;
        qint64 hour = -1;
        quint64 lookedInBatch = 0; // the batch whose first reading here looked at the watch
        std::unordered_map<int, Files> sensors;
    };
    // The directory at the path, made empty when unknown. The one asked for last is found again
    // without hashing its path: a device's readings go to the same directory one after another.
    Directory &directoryAt(const QString &path);
    // Takes the watch's reports and closes the files they name; null when nothing may be kept.
    const Keeping *look(Directory &directory);
    static bool release(Files &files);
    static bool releaseAll(Directory &directory);
    static bool releaseNamed(Directory &directory, const QString &fileName);

    // Declared first, so that it outlives the files counted against it.
    KeptFileBudget m_budget;
    std::unordered_map<QString, Directory> m_directories;
    QString m_lastPath;
    Directory *m_lastDirectory = nullptr; // at m_lastPath, while not null
    int m_batchDepth = 0;
    quint64 m_batch = 0; // counts the batches begun
};
