#pragma once

#include <QByteArray>
#include <QString>

// Text in files and fixed-length records is Windows-1252, one byte per character. A character
// the code page cannot hold is written as "?".
QByteArray ToWin1252(const QString &text);
QString FromWin1252(const QByteArray &bytes);

// A fixed-width field: the text in Windows-1252, cut at the width and padded with blanks.
QByteArray FixedField(const QString &text, int width);

// The degree sign (character 176 of Windows-1252) followed by the scale letter.
QString TemperatureUnitText(QChar scale);
