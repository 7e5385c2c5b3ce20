#pragma once

#include <QByteArray>
#include <QString>

class DataLog;
class DeviceLink;

// The raw bytes of the last download, kept in the program directory.
inline constexpr char RawLogFileName[] = "LastDownloadedDataLogFile.bin";

// Downloads the device's log: DE CA DE 04, byte 5 = 1 when the device is to set its record
// pointer back to 0 after sending. recordCount is the count the clock reply gave; the download
// takes every record the device sends, also those it logged since it counted them, and ends
// when the device closes the connection (DeviceLink::ReadLogFromQM); without the reset also
// after a short silence once the counted records are in. A busy device leaves the busy reply in
// buffer and the result false. Progress goes to the window named by callerName.
bool DownloadLog(DeviceLink &link, const QString &address, bool resetPointer, qint64 recordCount,
                 int recordSize, const QString &callerName, QByteArray &buffer);

// Replaces the file with exactly these bytes. False with the error text when it cannot.
bool WriteRawLogFile(const QString &path, const QByteArray &bytes, QString &errorText);

// Appends the log to a comma-separated file: the heading line when the file is empty, then one
// line per record in time order, numbered 1, 2, 3, texts in double quotes, each line ending in CR
// LF. False with the error text when the file cannot be written.
bool ExportLog(const DataLog &log, const QString &path, QString &errorText);
