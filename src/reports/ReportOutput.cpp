#include "ReportOutput.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

bool SaveReportFile(const QString &path, const QByteArray &bytes, QString &error)
{
    const QString shown = QDir::toNativeSeparators(path);
    const QFileInfo info(path);
    if (!info.absoluteDir().exists()) {
        error = QStringLiteral("The folder of %1 does not exist.").arg(shown);
        return false;
    }
    if (info.isDir()) {
        error = QStringLiteral("%1 is a folder, not a file.").arg(shown);
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        error = QStringLiteral("%1 could not be written: %2").arg(shown, file.errorString());
        return false;
    }
    return true;
}
