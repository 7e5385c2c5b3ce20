#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>

// The program's icon and splash picture, drawn at run time so no image files are needed.
QIcon TallyportIcon();
QPixmap SplashPicture(const QString &caption);
// A colour given as the system's colour number (red in the low byte, blue in the high byte).
QColor ColorFromNumber(int number);
