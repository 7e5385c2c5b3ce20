#include "SensorDataFiles.h"

#include "RecordFile.h"

#include <core/Clock.h>
#include <core/DateTimeText.h>
#include <core/NumberText.h>
#include <core/ProgramState.h>
#include <core/Win1252.h>

#include <QDir>
#include <QFile>
#include <QHash>

#include <cmath>
#include <cstdio>
#include <limits>

namespace {

const QString kSaveErrorWhere = QStringLiteral("Error saving data to ");
const QString kHeaderErrorWhere = QStringLiteral("Function: SaveSensorDatToFile() ");

QString sensorFileName(int sensorId, const QString &suffix)
{
    return QStringLiteral("Sensor-") + QString::number(sensorId) + suffix;
}

// The statistics and instantaneous files' names, written straight as bytes: they are plain ASCII
// and made for every reading whose file is not kept open.
QByteArray statisticsFileName(int sensorId)
{
    char name[40];
    const int length = std::snprintf(name, sizeof name, "Sensor-%d Average.dat", sensorId);
    return QByteArray(name, length);
}

QByteArray instantaneousFileName(int sensorId, const QDate &month)
{
    if (month.year() < 0 || month.year() > 9999)
        return sensorFileName(sensorId, QStringLiteral(" Instantaneous Data Created %1-%2.dat")
                                            .arg(month.month())
                                            .arg(month.year(), 4, 10, QLatin1Char('0')))
            .toLatin1();
    char name[80];
    const int length = std::snprintf(name, sizeof name, "Sensor-%d Instantaneous Data Created %d-%04d.dat",
                                     sensorId, month.month(), month.year());
    return QByteArray(name, length);
}

QString shownPath(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// Logs the failure, hands the cause to the caller and returns false.
bool fail(ProgramState &state, const QString &where, const QString &cause, QString *error)
{
    state.AddError(where, cause);
    if (error)
        *error = cause;
    return false;
}

// The cause of the file's last failure, in words even when the device gave none.
QString causeOf(const QFile &file)
{
    return file.error() != QFileDevice::NoError ? file.errorString()
                                                : QStringLiteral("The file could not be written");
}

// Writes bytes at offset straight to the operating system (files are opened unbuffered, so no
// bytes linger in a buffer after a failure). On failure cause says why.
bool writeAt(QFile &file, qint64 offset, const QByteArray &bytes, QString &cause)
{
    if (!file.seek(offset)) {
        cause = causeOf(file);
        return false;
    }
    const qint64 written = file.write(bytes);
    if (written == bytes.size())
        return true;
    // A write cut short (a full disk) reports no error of its own.
    cause = written > 0 ? QStringLiteral("Only %1 of %2 bytes could be written; the disk may be full")
                              .arg(written)
                              .arg(bytes.size())
                        : causeOf(file);
    return false;
}

// Opens a data file by its path (making it when missing) and learns its length and identity.
bool openRecordFile(RecordFile &file, const QString &path, qint64 &length, FileIdentity &identity,
                    QString &cause)
{
    return file.open(path, cause) && file.status(length, identity, cause);
}

// Writes a record after the last whole one (over a torn one, if a crash left it). A failed
// append is taken back to the whole records.
bool appendRecord(RecordFile &file, qint64 wholeLength, const QByteArray &record, QString &cause)
{
    if (file.writeAt(wholeLength, record, cause))
        return true;
    QString ignored;
    file.resize(wholeLength, ignored);
    return false;
}

// The local clock hour a time falls in, as a number.
qint64 hourOf(const QDateTime &time)
{
    return time.date().toJulianDay() * 24 + time.time().hour();
}

// Whether the header file is taken to hold this record without a look: it was found or
// written with it in this clock hour.
bool trustedHeader(const SensorFileMemory::Header *memory, const QByteArray &record, qint64 hour)
{
    return memory && memory->record == record && memory->hour == hour;
}

// The directory's path as the system takes it, followed by a separator, as QDir::filePath joins
// it to a file name: made once per directory instead of for every file opened (the readings go to
// one or two directories).
const QByteArray &encodedDirectoryPrefix(const QString &directory)
{
    thread_local QHash<QString, QByteArray> prefixes;
    const auto found = prefixes.constFind(directory);
    if (found != prefixes.cend())
        return *found;
    if (prefixes.size() >= 16)
        prefixes.clear(); // directories changed in the settings
    QByteArray prefix = QFile::encodeName(QDir(directory).filePath(QStringLiteral("x")));
    prefix.chop(1);
    return *prefixes.insert(directory, prefix);
}

// A statistics or instantaneous file of a sensor: its path and the place its failures are logged
// under are made only when needed, because a kept file is written without either.
struct DataFilePlace {
    const QString &directory;
    int sensorId;
    std::optional<QDate> month; // of an instantaneous file; none for the statistics file
    int directoryFd = -1;       // the directory held open, where its watch holds it

    QString path() const
    {
        return month ? SensorInstantaneousPath(directory, sensorId, *month)
                     : SensorStatisticsPath(directory, sensorId);
    }
    QString where() const { return kSaveErrorWhere + shownPath(path()); }
    QByteArray encodedName() const
    {
        return month ? instantaneousFileName(sensorId, *month) : statisticsFileName(sensorId);
    }
    // Opens the file by its name in the directory held open, else by its path (made when missing).
    bool open(RecordFile &file, QString &cause) const
    {
        return directoryFd >= 0 ? file.openAt(directoryFd, encodedName(), cause)
                                : file.open(encodedDirectoryPrefix(directory) + encodedName(), cause);
    }
};

// Opens a sensor's data file (making it when missing) and learns its length and identity.
bool openDataFile(RecordFile &file, const DataFilePlace &place, qint64 &length, FileIdentity &identity,
                  QString &cause)
{
    return place.open(file, cause) && file.status(length, identity, cause);
}

// The clock hour the last record started in, when a reading taken now may be added to it
// (the very hour of now, counted either way: a clock set back still starts a new record
// instead of adding to an hour that has not come yet). A record no run of the program could
// have written (a start that does not read as a date, a count below 1 or too large to take one
// more reading) is logged and closed, so the statistics go on in a new one instead of failing,
// or counting wrongly, at every reading from then on. knownStartHour, when not -1, is the start
// already read from the record, which saves parsing its text at every reading.
bool belongsToRecord(ProgramState &state, const DataFilePlace &place, qint64 recordNumber,
                     const HourlyStatisticsRecord &record, const QDateTime &now, qint64 &knownStartHour)
{
    if (record.count < 1 || record.count == std::numeric_limits<qint32>::max()) {
        state.AddError(place.where(),
                       QStringLiteral("Record %1 holds a count of %2 readings, which cannot be added to; "
                                      "a new record was started")
                           .arg(recordNumber)
                           .arg(record.count));
        return false;
    }
    if (knownStartHour < 0) {
        const QDateTime start = ParseDateTimeText(record.startText);
        if (!start.isValid()) {
            state.AddError(place.where(),
                           QStringLiteral("Record %1 starts with \"%2\", which is not a date and time; "
                                          "a new record was started")
                               .arg(recordNumber)
                               .arg(record.startText));
            return false;
        }
        knownStartHour = hourOf(start);
    }
    return knownStartHour == hourOf(now);
}

bool readWholeFile(const QString &path, QByteArray &contents, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    contents = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

QString quoted(const QString &text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

} // namespace

QString SensorHeaderPath(const QString &directory, int sensorId)
{
    return QDir(directory).filePath(sensorFileName(sensorId, QStringLiteral(".dat")));
}

QString SensorStatisticsPath(const QString &directory, int sensorId)
{
    return QDir(directory).filePath(QString::fromLatin1(statisticsFileName(sensorId)));
}

QString SensorInstantaneousPath(const QString &directory, int sensorId, const QDate &month)
{
    return QDir(directory).filePath(QString::fromLatin1(instantaneousFileName(sensorId, month)));
}

QString SensorCsvPath(const QString &directory, int sensorId)
{
    return QDir(directory).filePath(sensorFileName(sensorId, QStringLiteral(".csv")));
}

namespace {
bool saveHeaderRecord(ProgramState &state, const QString &directory, int sensorId, const QByteArray &record,
                      QString *error, SensorFileMemory::Header *memory)
{
    const qint64 hour = hourOf(state.readingsTime());
    if (trustedHeader(memory, record, hour))
        return true;
    const QString path = SensorHeaderPath(directory, sensorId);
    const QString where = kHeaderErrorWhere + shownPath(path);

    RecordFile file;
    qint64 length = 0;
    FileIdentity identity;
    QString cause;
    if (!openRecordFile(file, path, length, identity, cause))
        return fail(state, where, cause, error);
    QByteArray present;
    const bool same = length == SensorHeaderRecord::Size &&
                      file.readAt(0, SensorHeaderRecord::Size, present, cause) && present == record;
    if (!same && (!file.writeAt(0, record, cause) ||
                  (length != SensorHeaderRecord::Size && !file.resize(SensorHeaderRecord::Size, cause))))
        return fail(state, where, cause, error);
    if (memory)
        *memory = {record, hour};
    return true;
}
} // namespace

bool SaveSensorDatToFile(ProgramState &state, const QString &directory, int sensorId,
                         const QString &sensorName, const QString &serverName, const QString &unitText,
                         QString *error, SensorFileMemory::Header *memory)
{
    return saveHeaderRecord(state, directory, sensorId,
                            SensorHeaderRecord{serverName, sensorName, unitText}.encode(), error, memory);
}

namespace {
// The last hourly record of an open statistics file of this length: the one remembered when the
// file is the one written last time, else read from the file (a torn record at its end cut off
// first). Empty, with no failure, for a file of no records.
bool lastHourlyRecord(RecordFile &file, qint64 length, const FileIdentity &identity,
                      const std::optional<SensorFileMemory::Statistics> *memory,
                      std::optional<HourlyStatisticsRecord> &last, qint64 &startHour, QString &cause)
{
    constexpr int size = HourlyStatisticsRecord::Size;
    startHour = -1;
    if (memory && *memory && identity != FileIdentity{} && (*memory)->device == identity.device &&
        (*memory)->inode == identity.inode && (*memory)->length == length) {
        last = (*memory)->last;
        startHour = (*memory)->startHour;
        return true;
    }
    const qint64 n = WholeRecords(length, size);
    if (length != n * size && !file.resize(n * size, cause))
        return false;
    if (n == 0)
        return true;
    QByteArray bytes;
    if (file.readAt((n - 1) * size, size, bytes, cause))
        last = HourlyStatisticsRecord::decode(bytes);
    if (!last) {
        cause = QStringLiteral("Record %1 could not be read: ").arg(n) +
                (cause.isEmpty() ? QStringLiteral("it does not decode") : cause);
        return false;
    }
    return true;
}
} // namespace

bool SaveHourlyStatistics(ProgramState &state, const QString &directory, int sensorId, float reading,
                          QString *error, std::optional<SensorFileMemory::Statistics> *memory,
                          const SensorFileMemory::Keeping *keep)
{
    constexpr int size = HourlyStatisticsRecord::Size;
    const QDateTime now = state.readingsTime();
    const DataFilePlace place{directory, sensorId, std::nullopt, keep ? keep->directoryFd : -1};
    // Known again only once this write has succeeded.
    std::optional<SensorFileMemory::Statistics> known;
    if (memory)
        std::swap(known, *memory);

    // A kept file is the very file written last time, at the length it was left with.
    RecordFile file = known ? known->file.take() : RecordFile();
    qint64 length = 0;
    FileIdentity identity;
    QString cause;
    if (file.isOpen()) {
        length = known->length;
        identity = {known->device, known->inode};
    }
    std::optional<HourlyStatisticsRecord> last;
    qint64 startHour = -1;
    if ((!file.isOpen() && !openDataFile(file, place, length, identity, cause)) ||
        !lastHourlyRecord(file, length, identity, &known, last, startHour, cause))
        return fail(state, place.where(), cause, error);
    const qint64 n = WholeRecords(length, size);
    const qint64 wholeLength = n * size;

    HourlyStatisticsRecord written;
    qint64 writtenLength = wholeLength;
    if (last && belongsToRecord(state, place, n, *last, now, startHour)) {
        // Only the numbers change while the hour lasts; the start text is never rewritten.
        last->add(reading);
        if (!file.writeAt(wholeLength - size + HourlyStatisticsRecord::NumbersOffset, last->encodeNumbers(),
                          cause))
            return fail(state, place.where(), cause, error);
        written = *last;
    } else {
        written = HourlyStatisticsRecord::first(DateTimeText(now), reading);
        startHour = hourOf(now);
        if (!appendRecord(file, wholeLength, written.encode(), cause))
            return fail(state, place.where(), cause, error);
        writtenLength += size;
    }
    if (memory) {
        *memory = SensorFileMemory::Statistics{identity.device, identity.inode, writtenLength,
                                               written,         startHour,      {}};
        if (keep)
            (*memory)->file.keep(std::move(file), *keep->budget);
    }
    return true;
}

namespace {
qint64 monthOf(const QDate &date)
{
    return qint64(date.year()) * 12 + date.month();
}
} // namespace

bool SaveInstantaneousReading(ProgramState &state, const QString &directory, int sensorId, float reading,
                              QString *error, SensorFileMemory::Instantaneous *memory,
                              const SensorFileMemory::Keeping *keep)
{
    constexpr int size = InstantaneousRecord::Size;
    const QDateTime now = state.readingsTime();
    const DataFilePlace place{directory, sensorId, now.date(), keep ? keep->directoryFd : -1};

    // A kept file is this month's, all whole records up to the length it was left with.
    RecordFile file;
    qint64 wholeLength = 0;
    if (memory && memory->month == monthOf(now.date())) {
        file = memory->file.take();
        wholeLength = memory->length;
    } else if (memory) {
        memory->file.release();
    }
    QString cause;
    if (!file.isOpen()) {
        qint64 length = 0;
        FileIdentity identity;
        if (!openDataFile(file, place, length, identity, cause))
            return fail(state, place.where(), cause, error);
        wholeLength = WholeRecords(length, size) * size;
    }
    const QByteArray record = InstantaneousRecord{DateTimeText(now), reading}.encode();
    if (!appendRecord(file, wholeLength, record, cause))
        return fail(state, place.where(), cause, error);
    if (memory && keep && memory->file.keep(std::move(file), *keep->budget)) {
        memory->month = monthOf(now.date());
        memory->length = wholeLength + size;
    }
    return true;
}

bool SaveSensorReadingFiles(ProgramState &state, const QString &directory, int sensorId,
                            const QString &sensorName, const QString &serverName, const QString &unitText,
                            float reading, QString *error, SensorFileMemory *memory)
{
    SensorFileMemory::Files *known = memory ? &memory->of(directory, sensorId) : nullptr;
    const std::array<QString, 3> headerTexts{serverName, sensorName, unitText};
    const QByteArray headerRecord = known && !known->header.record.isEmpty() && known->header.texts == headerTexts
                                        ? known->header.record
                                        : SensorHeaderRecord{serverName, sensorName, unitText}.encode();
    const qint64 hour = hourOf(state.readingsTime());
    const SensorFileMemory::Keeping *keep =
        memory ? memory->prepare(directory, sensorId, headerRecord, hour) : nullptr;
    const bool headerTrusted = known && trustedHeader(&known->header, headerRecord, hour);
    QString header, statistics, instantaneous;
    bool headerOk =
        saveHeaderRecord(state, directory, sensorId, headerRecord, &header, known ? &known->header : nullptr);
    const bool statisticsOk = SaveHourlyStatistics(state, directory, sensorId, reading, &statistics,
                                                   known ? &known->statistics : nullptr, keep);
    const bool instantaneousOk = SaveInstantaneousReading(state, directory, sensorId, reading, &instantaneous,
                                                          known ? &known->instantaneous : nullptr, keep);
    // Where a file refuses a write, the header is looked at too, so that every file of the
    // directory that cannot be written is logged.
    if (headerTrusted && !(statisticsOk && instantaneousOk)) {
        known->header = {};
        headerOk = saveHeaderRecord(state, directory, sensorId, headerRecord, &header, &known->header);
    }
    if (known && headerOk && known->header.texts != headerTexts)
        known->header.texts = headerTexts; // the record remembered is made from them
    if (error)
        *error = !headerOk          ? header
                 : !statisticsOk    ? statistics
                 : !instantaneousOk ? instantaneous
                                    : QString();
    return headerOk && statisticsOk && instantaneousOk;
}

bool ReadSensorHeader(const QString &path, SensorHeaderRecord &header, QString *error)
{
    QByteArray contents;
    if (!readWholeFile(path, contents, error))
        return false;
    const std::optional<SensorHeaderRecord> record =
        SensorHeaderRecord::decode(contents.left(SensorHeaderRecord::Size));
    if (!record) {
        if (error)
            *error =
                QStringLiteral("The file holds %1 bytes, less than one header record").arg(contents.size());
        return false;
    }
    header = *record;
    return true;
}

bool ReadHourlyStatistics(const QString &path, QList<HourlyStatisticsRecord> &records, QString *error)
{
    QByteArray contents;
    if (!readWholeFile(path, contents, error))
        return false;
    records = DecodeHourlyStatistics(contents);
    return true;
}

bool ReadInstantaneousReadings(const QString &path, QList<InstantaneousRecord> &records, QString *error)
{
    QByteArray contents;
    if (!readWholeFile(path, contents, error))
        return false;
    records = DecodeInstantaneousReadings(contents);
    return true;
}

QString HourlyStatisticsCsvHeading()
{
    return QStringLiteral(
        R"("Date/Time    ","Avg over 1 hr  ","Max    ","Min   ","Num Samples  ","Total of readings")");
}

QString HourlyStatisticsCsvLine(const HourlyStatisticsRecord &record)
{
    const QString start =
        record.startText.leftJustified(HourlyStatisticsRecord::StartWidth, QLatin1Char(' '), true);
    double average = std::round(double(record.average()));
    if (average == 0)
        average = 0; // no "-0"
    const QStringList fields{quoted(start),
                             quoted(QString::number(average, 'f', 0)),
                             FloatText(record.maximum),
                             FloatText(record.minimum),
                             QString::number(record.count),
                             FloatText(record.total)};
    return fields.join(QLatin1Char(','));
}

bool ExportHourlyStatistics(ProgramState &state, const QString &csvPath, const HourlyStatisticsRecord &record,
                            QString *error)
{
    const QString key = kSaveErrorWhere;
    QFile file(csvPath);
    QString cause;
    bool saved = false;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        cause = causeOf(file);
    } else {
        QString text = HourlyStatisticsCsvLine(record) + QStringLiteral("\r\n");
        if (file.size() == 0)
            text.prepend(HourlyStatisticsCsvHeading() + QStringLiteral("\r\n"));
        saved = writeAt(file, file.size(), ToWin1252(text), cause);
    }
    if (!saved) {
        state.UpdateStatus(key, shownPath(csvPath) + QStringLiteral(".  Error is ") + cause);
        return fail(state, key + shownPath(csvPath), cause, error);
    }
    state.UpdateStatus(key, QStringLiteral("delete"));
    return true;
}
