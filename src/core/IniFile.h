#pragma once

#include "IniSettings.h"

#include <QString>

class ProgramState;

// "Tallyport.ini" beside the settings record: Qt's INI format, one section per feature. The only
// code that touches QSettings. The values in memory are state.Ini.
//
// To add a section: a struct in IniSettings.h, a member of IniSettings, and one describe...()
// function in IniFile.cpp that names each key with its range (see describeMail).
class IniFile {
public:
    static const QString FileName;

    explicit IniFile(ProgramState &state) : m_state(state) {}

    // Reads every section into state.Ini. The file is created when missing and keys that are
    // missing are added with their defaults; what the operator wrote is never rewritten. A value
    // that is not usable (not a number, out of range) gives its default in memory and one
    // error-log line. False when the file could not be read or written (logged); state.Ini then
    // holds what could be read and defaults for the rest.
    bool Read();
    // Writes every value of state.Ini, or only those of the section named (or only its one key),
    // leaving what the file holds elsewhere as it is. False when the file could not be written
    // (logged).
    bool Save(const QString &onlySection = QString(), const QString &onlyKey = QString());

    QString path() const;
    // Why the last read or save failed; the problems with single values are in the error log.
    const QString &lastError() const { return m_lastError; }

private:
    ProgramState &m_state;
    QString m_lastError;
};
