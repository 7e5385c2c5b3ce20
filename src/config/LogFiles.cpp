#include "LogFiles.h"

#include "DataLog.h"

#include <core/Win1252.h>
#include <link/DeviceCommands.h>
#include <link/DeviceLink.h>

#include <QFile>
#include <QSaveFile>

namespace {

QString quotedName(const QString &text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QByteArray csvLine(const QString &first, const QStringList &texts)
{
    QString line = first;
    for (const QString &text : texts)
        line += QLatin1Char(',') + quotedName(text);
    return ToWin1252(line) + "\r\n";
}

} // namespace

bool DownloadLog(DeviceLink &link, const QString &address, bool resetPointer, qint64 recordCount,
                 int recordSize, const QString &callerName, QByteArray &buffer)
{
    QByteArray request = BuildCommand(DeviceCommands().LogDownloadCommand);
    request[4] = resetPointer ? 1 : 0;
    // A device that clears its log after sending must be heard out: a record it sends after a
    // pause would otherwise be lost to the reset.
    return link.ReadLogFromQM(address, DeviceLink::DevicePort, request, buffer, recordCount * recordSize,
                              recordSize, callerName,
                              resetPointer ? DeviceLink::LogEnd::DeviceClose : DeviceLink::LogEnd::Settle);
}

bool WriteRawLogFile(const QString &path, const QByteArray &bytes, QString &errorText)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        errorText = file.errorString();
        return false;
    }
    return true;
}

bool ExportLog(const DataLog &log, const QString &path, QString &errorText)
{
    QFile file(path);
    if (!file.open(QIODevice::Append)) {
        errorText = file.errorString();
        return false;
    }
    QByteArray text;
    const QStringList headings = log.exportHeadings();
    if (file.size() == 0 && !headings.isEmpty())
        text += csvLine(quotedName(headings.first()), headings.mid(1));
    const int lastText = log.sortKeyColumn() - 1;
    QStringList texts;
    int row = 0;
    for (const DataLog::Record &record : log.records()) {
        texts.clear();
        for (int column = 1; column <= lastText; ++column)
            texts.append(log.cellText(record, column));
        text += csvLine(QString::number(++row), texts);
    }
    if (file.write(text) != text.size() || !file.flush()) {
        errorText = file.errorString();
        return false;
    }
    file.close();
    return true;
}
