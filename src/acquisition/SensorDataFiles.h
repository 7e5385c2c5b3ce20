#pragma once

#include "SensorFileMemory.h"
#include "SensorRecords.h"

#include <QDate>
#include <QHash>
#include <QList>
#include <QString>

#include <optional>

class ProgramState;

// The three data files every valid reading of a named sensor goes to, in one directory:
//   "Sensor-<id>.dat"                                          header (who the sensor is)
//   "Sensor-<id> Average.dat"                                  one record per clock hour
//   "Sensor-<id> Instantaneous Data Created <M>-<yyyy>.dat"    every reading, one file a month
// Records are written at their own position, unbuffered, straight to the operating system, so a
// program crash loses at most the record being written; a torn record at the end of a file is
// overwritten by the next write.
// "Now" always comes from the program state's clock.

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
                          std::optional<SensorFileMemory::Statistics> *memory = nullptr,
                          const SensorFileMemory::Keeping *keep = nullptr);

// Appends the reading with the current time to this month's file.
bool SaveInstantaneousReading(ProgramState &state, const QString &directory, int sensorId, float reading,
                              QString *error = nullptr, SensorFileMemory::Instantaneous *memory = nullptr,
                              const SensorFileMemory::Keeping *keep = nullptr);

// The three writers above in their order (header, statistics, instantaneous). Every writer is
// tried even after an earlier one failed; true only when all three succeeded, *error holds the
// first failure. With a memory, most readings cost a look at the directory's watch and a write to
// the statistics and to the instantaneous file (an open, a status, a write and a close of each
// where files are not kept open), and nothing on the header.
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
