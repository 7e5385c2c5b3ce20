#pragma once

#include "SensorRecords.h"

#include <QDate>
#include <QHash>
#include <QList>
#include <QString>

class ProgramState;

// The three data files every valid reading of a named sensor goes to, in one directory:
//   "Sensor-<id>.dat"                                          header (who the sensor is)
//   "Sensor-<id> Average.dat"                                  one record per clock hour
//   "Sensor-<id> Instantaneous Data Created <M>-<yyyy>.dat"    every reading, one file a month
// Records are written at their own position, unbuffered, straight to the operating system, so a
// program crash loses at most the record being written; a torn record at the end of a file is
// overwritten by the next write.
// "Now" always comes from the program state's clock.

// What the writers learnt of the files they wrote, so that a reading costs few file-system calls:
// per directory and sensor, the header record last found in the header file (checked again
// when it changes and at the first reading of every clock hour, so a header deleted or replaced
// by someone else is written again within the hour), and the last hourly record with the
// identity and length the statistics file had after it was written (any other file or length
// found there is read again). Both are only a memory of what the files hold: a file is always
// opened by its path, so a file replaced by someone else is written, never an unlinked one.
class SensorFileMemory {
public:
    struct Header {
        QByteArray record;
        qint64 hour = -1; // the clock hour it was last checked in
    };
    struct Statistics {
        quint64 device = 0, inode = 0;
        qint64 length = -1;
        HourlyStatisticsRecord last;
    };
    struct Files {
        Header header;
        std::optional<Statistics> statistics;
    };
    // What is known of a sensor's files in a directory (made empty when nothing is).
    Files &of(const QString &directory, int sensorId) { return m_directories[directory][sensorId]; }
    // Forgets a directory (the backup directory changed) or everything.
    void forget(const QString &directory) { m_directories.remove(directory); }
    void clear() { m_directories.clear(); }

private:
    QHash<QString, QHash<int, Files>> m_directories;
};

QString SensorHeaderPath(const QString &directory, int sensorId);
QString SensorStatisticsPath(const QString &directory, int sensorId);
QString SensorInstantaneousPath(const QString &directory, int sensorId, const QDate &month);
QString SensorCsvPath(const QString &directory, int sensorId);

// Writers. Each catches its own failure, logs one line (AddError) and returns false with the
// cause in *error. A missing directory is a failure: it is never created, so an unmounted backup
// drive shows up as a failed copy rather than as files on the local disk.

// Writes the header record; the file is rewritten only when its contents differ.
bool SaveSensorDatToFile(ProgramState &state, const QString &directory, int sensorId,
                         const QString &sensorName, const QString &serverName, const QString &unitText,
                         QString *error = nullptr, SensorFileMemory::Header *memory = nullptr);

// Adds the reading to the current hour's record, or starts a new record when a clock-hour
// boundary lies between the last record's start and now (10:59 and 11:00 are two records).
bool SaveHourlyStatistics(ProgramState &state, const QString &directory, int sensorId, float reading,
                          QString *error = nullptr,
                          std::optional<SensorFileMemory::Statistics> *memory = nullptr);

// Appends the reading with the current time to this month's file.
bool SaveInstantaneousReading(ProgramState &state, const QString &directory, int sensorId, float reading,
                              QString *error = nullptr);

// The three writers above in their order (header, statistics, instantaneous). Every writer is
// tried even after an earlier one failed; true only when all three succeeded, *error holds the
// first failure. With a memory, most readings cost an open, a status, a write and a close of the
// statistics and of the instantaneous file, and nothing on the header.
bool SaveSensorReadingFiles(ProgramState &state, const QString &directory, int sensorId,
                            const QString &sensorName, const QString &serverName, const QString &unitText,
                            float reading, QString *error = nullptr, SensorFileMemory *memory = nullptr);

// Readers. They log nothing; false with the cause when the file cannot be read. Statistics and
// instantaneous readers return the whole records, ignoring a torn one at the end.
bool ReadSensorHeader(const QString &path, SensorHeaderRecord &header, QString *error = nullptr);
bool ReadHourlyStatistics(const QString &path, QList<HourlyStatisticsRecord> &records,
                          QString *error = nullptr);
bool ReadInstantaneousReadings(const QString &path, QList<InstantaneousRecord> &records,
                               QString *error = nullptr);

// Appends one statistics record as a CSV line to csvPath, first writing the heading line when
// the file is empty. Keeps the status line "Error saving data to " in step with the outcome.
bool ExportHourlyStatistics(ProgramState &state, const QString &csvPath, const HourlyStatisticsRecord &record,
                            QString *error = nullptr);

// The CSV line for a record (without line end), as ExportHourlyStatistics writes it.
QString HourlyStatisticsCsvLine(const HourlyStatisticsRecord &record);
QString HourlyStatisticsCsvHeading();
