#pragma once

#include <QDir>
#include <QString>
#include <QWidget>

// Saves a picture of the window as <name>.png when TALLYPORT_SCREENSHOTS names a directory (for
// the pictures in docs/); does nothing otherwise. Window tests only: it needs Qt Widgets.
inline void SaveScreenshot(QWidget &window, const QString &name)
{
    const QString dir = qEnvironmentVariable("TALLYPORT_SCREENSHOTS");
    if (dir.isEmpty())
        return;
    QDir().mkpath(dir);
    window.grab().save(QDir(dir).filePath(name + QStringLiteral(".png")));
}
