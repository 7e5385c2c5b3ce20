#pragma once
// The program's version, "major.minor.patch", as the build set it.
#include <QString>

inline QString ProgramVersion()
{
    return QStringLiteral("%1.%2.%3")
        .arg(TALLYPORT_VERSION_MAJOR)
        .arg(TALLYPORT_VERSION_MINOR)
        .arg(TALLYPORT_VERSION_PATCH);
}
