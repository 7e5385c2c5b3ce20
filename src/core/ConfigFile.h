#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

class Cipher;
struct ConfigRecord;
struct RecordOverflow;
class ProgramState;

// Reading, saving and checking "TallyportConfig.dat", the settings record of the program
// directory. The record in memory is state.Config.
class ConfigFile {
public:
    static const QString FileName;
    // The status line shown while the administrator name or password cannot be decrypted.
    static const QString DamagedLoginKey;
    // The status line shown while the mail server's user name or password cannot be decrypted.
    static const QString DamagedMailLoginKey;

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
    // An SMTP user name or password too long for its field is kept encrypted in "Tallyport.ini"
    // [mail] instead (the field is left empty), and read from there in preference to the field.
    // The day of the last system-OK e-mail is kept there as well (best effort), and the later of
    // the two is read. The file is readable by its owner only.
    bool SaveConfiguration();
    // The same for the record given; the record in memory is left as it is.
    bool SaveRecord(const ConfigRecord &record);
    // The administrator user name or password in the file could not be decrypted: the
    // configuration menus stay locked (the empty values must not read as "no login set").
    bool administratorLoginDamaged() const;
    // The last read failed only because protected fields could not be decrypted: the names of
    // those fields. Empty otherwise.
    const QStringList &undecryptedFields() const { return m_undecryptedNames; }
    // Replaces out-of-range values by their defaults; when any was replaced, saves and returns
    // false.
    bool ValidateConfiguration();

    QString path() const;
    // Why the last read or save failed.
    const QString &lastError() const { return m_lastError; }

private:
    bool readFile(QString &error);
    bool decryptProtectedFields(const QByteArray &bytes, QString &error);
    void readOverflow(QStringList &failed);
    bool encryptProtectedFields(ConfigRecord &copy, RecordOverflow &overflow, QHash<int, QByteArray> &keep,
                                QString &error) const;
    bool writeFiles(const ConfigRecord &copy, const RecordOverflow &overflow,
                    const QHash<int, QByteArray> &keep, QString &error);
    bool keepUnreadableCopy(QString &error);
    bool writeFile(const QByteArray &record, QString &error);
    void logReadFailure(const QString &error);
    void showDamagedLogin();
    void showDamagedMailLogin();

    ProgramState &m_state;
    const Cipher &m_cipher;
    bool m_lastReadFailed = false;
    QString m_lastError;
    QString m_lastReadError;
    // The stored bytes of the protected fields the last read could not decrypt, by file offset.
    QHash<int, QByteArray> m_undecrypted;
    QStringList m_undecryptedNames;
};
