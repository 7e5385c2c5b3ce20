#pragma once

#include <QString>

class Cipher;
class ProgramState;

// Reading, saving and checking "TallyportConfig.dat", the settings record of the program
// directory. The record in memory is state.Config.
class ConfigFile {
public:
    static const QString FileName;

    ConfigFile(ProgramState &state, const Cipher &cipher) : m_state(state), m_cipher(cipher) {}

    // Reads the record and decrypts its four protected fields. False when the file is missing
    // (the record is then unchanged) or unreadable (logged; fields read before the error keep
    // their new values, a protected field that fails to decrypt is left empty).
    bool ReadConfiguration();
    // Writes the record, protected fields encrypted, replacing the file atomically. A file that
    // the last read could not use is kept beside it first.
    bool SaveConfiguration();
    // Replaces out-of-range values by their defaults; when any was replaced, saves and returns
    // false.
    bool ValidateConfiguration();

    QString path() const;
    // Why the last read or save failed.
    const QString &lastError() const { return m_lastError; }

private:
    bool readFile(QString &error);
    bool keepUnreadableCopy(QString &error);

    ProgramState &m_state;
    const Cipher &m_cipher;
    bool m_lastReadFailed = false;
    QString m_lastError;
};
