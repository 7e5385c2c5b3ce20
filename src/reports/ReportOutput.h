#pragma once

#include <QByteArray>
#include <QString>

// Writes bytes to path, replacing the file only once all of them are written (an earlier file
// stays whole otherwise). The directory must exist. False with the cause in words.
bool SaveReportFile(const QString &path, const QByteArray &bytes, QString &error);
