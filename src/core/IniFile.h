#pragma once

#include "IniSettings.h"

#include <QString>

#include <functional>

class IniFileText;
class QSettings;

class ProgramState;

// Values of the settings record that "Tallyport.ini" [mail] keeps as well; "TallyportConfig.dat"
// reads and writes them, and they are not settings an operator edits.
struct RecordOverflow {
    // smtpUserName, smtpPassword: an SMTP user name or password too long for its field of the
    // record, as cipher text of the record's cipher. Empty: the record's field holds it.
    QString smtpUserName;
    QString smtpPassword;
    // lastSystemOKEmail: the day of the last daily system-OK e-mail, kept here too so that a
    // day on which the record could not be saved is not forgotten at a restart.
    QString lastSystemOKEmail;

    bool operator==(const RecordOverflow &) const = default;
};

// "Tallyport.ini" beside the settings record: Qt's INI format, one section per feature. The only
// code that touches the file: it reads it through QSettings and writes only the lines of the keys
// that change (IniFileText), so an operator's comments and order stay. The values in memory are
// state.Ini.
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
    // Writes the values of state.Ini that differ from what the file holds, of every section or
    // only of the section named (or only its one key), leaving every other line as it is. False
    // when the file could not be written (logged).
    bool Save(const QString &onlySection = QString(), const QString &onlyKey = QString());

    // Writes one [notify.NAME] section whole, replacing what it held; a channel that cannot be
    // used is refused (lastError says why) and nothing is written.
    bool SaveChannel(const NotifyChannelSettings &channel);
    bool RemoveChannel(const QString &name);
    // Writes the channel `from` under its new name, as `to` describes it, in one write.
    bool RenameChannel(const QString &from, const NotifyChannelSettings &to);
    // Writes the keys of these [escalate.N] sections that changed (a channel they name renamed).
    bool SaveEscalationSteps(const QList<EscalationStepSettings> &steps);
    // Writes [escalation] and the steps as `escalation` has them; the sections of the steps in
    // `dropped` go. Sections the reading left out (not usable) stay as the operator wrote them.
    bool SaveEscalation(const EscalationIniSettings &escalation, const QList<int> &dropped);

    // The record's values kept here; false (not logged) when the file cannot be read.
    bool ReadRecordOverflow(RecordOverflow &values);
    // Writes them (an empty one is removed); false (logged) when the file could not be written.
    bool SaveRecordOverflow(const RecordOverflow &values);

    QString path() const;
    // Why the last read or save failed; the problems with single values are in the error log.
    const QString &lastError() const { return m_lastError; }

private:
    bool write(const std::function<void(const QSettings &, IniFileText &)> &change);

    ProgramState &m_state;
    QString m_lastError;
};
