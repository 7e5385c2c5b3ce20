#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

class Cipher;
class ProgramState;

// Reading, saving and checking "TallyportConfig.dat", the settings record of the program
// directory. The record in memory is state.Config.
class ConfigFile {
public:
    static const QString FileName;
    // The status line shown while the administrator name or password cannot be decrypted.
    static const QString DamagedLoginKey;

    ConfigFile(ProgramState &state, const Cipher &cipher) : m_state(state), m_cipher(cipher) {}

    // Reads the record and decrypts its four protected fields, each on its own. False when the
    // file is missing (the record is then unchanged) or unreadable, or when a protected field
    // could not be decrypted: that field is left empty and the others keep what they read. A
    // failure is logged once, not again at every read while it lasts.
    bool ReadConfiguration();
    // Writes the whole record, protected fields encrypted, replacing the file atomically; false
    // (logged) unless all of it was written, and the previous file then stays. An administrator
    // name or password that could not be decrypted and was not given a new value keeps its
    // stored bytes. A file that the last read could not use is kept beside it first.
    bool SaveConfiguration();
    // The administrator user name or password in the file could not be decrypted: the
    // configuration menus stay locked (the empty values must not read as "no login set").
    bool administratorLoginDamaged() const;
    // Replaces out-of-range values by their defaults; when any was replaced, saves and returns
    // false.
    bool ValidateConfiguration();

    QString path() const;
    // Why the last read or save failed.
    const QString &lastError() const { return m_lastError; }

private:
    bool readFile(QString &error);
    bool decryptProtectedFields(const QByteArray &bytes, QString &error);
    bool keepUnreadableCopy(QString &error);
    bool writeFile(const QByteArray &record, QString &error);
    void logReadFailure(const QString &error);
    void showDamagedLogin();

    ProgramState &m_state;
    const Cipher &m_cipher;
    bool m_lastReadFailed = false;
    QString m_lastError;
    QString m_lastReadError;
    // The stored bytes of the protected fields the last read could not decrypt, by file offset.
    QHash<int, QByteArray> m_undecrypted;
};
