#include "ConfigFile.h"

#include "Cipher.h"
#include "ConfigRecord.h"
#include "DateTimeText.h"
#include "IniFile.h"
#include "OwnerOnlyFile.h"
#include "ProgramState.h"
#include "Prompts.h"
#include "SettingsChecks.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStringList>

#include <cstring>
#include <utility>

const QString ConfigFile::FileName = QStringLiteral("TallyportConfig.dat");
const QString ConfigFile::DamagedLoginKey =
    QStringLiteral("The administrator user name or password in the configuration file could not be read.");
const QString ConfigFile::DamagedMailLoginKey =
    QStringLiteral("The mail server user name or password in the configuration file could not be read.");

namespace {
// The protected fields in the order they are decrypted and encrypted.
const char *const kProtected[] = {"SMTPPassword", "SMTPUserName", "AdminUserName", "AdminPassword"};

QString ConfigRecord::*member(const char *name)
{
    return ConfigLayout::field(name)->text;
}

bool isAdministratorField(const char *name)
{
    return std::strcmp(name, "AdminUserName") == 0 || std::strcmp(name, "AdminPassword") == 0;
}

// What the operator calls the field.
QString shownName(const QString &field)
{
    if (field == QLatin1String("SMTPUserName"))
        return QStringLiteral("mail server user name");
    if (field == QLatin1String("SMTPPassword"))
        return QStringLiteral("mail server password");
    if (field == QLatin1String("AdminUserName"))
        return QStringLiteral("administrator user name");
    return QStringLiteral("administrator password");
}
} // namespace

QString ConfigFile::path() const
{
    return m_state.programFile(FileName);
}

bool ConfigFile::ReadConfiguration()
{
    m_undecryptedNames.clear();
    if (!QFile::exists(path()))
        return false;
    // The credentials in it are decryptable with the key the program carries: a file left
    // readable by others (an older version's, a restored backup) is made its owner's alone.
    KeepOwnerOnly(path());
    QString error;
    const bool read = readFile(error);
    showDamagedLogin();
    showDamagedMailLogin();
    if (read) {
        m_lastReadFailed = false;
        m_lastReadError.clear();
        return true;
    }
    m_lastReadFailed = true;
    m_lastError = error;
    logReadFailure(error);
    return false;
}

void ConfigFile::logReadFailure(const QString &error)
{
    // The file is read again at every cycle: the same failure is reported once.
    if (error == m_lastReadError)
        return;
    m_lastReadError = error;
    m_state.prompts().beep();
    m_state.AddError(QStringLiteral("Error reading configuration parameters from ") +
                         QDir::toNativeSeparators(m_state.programDirectory()),
                     error);
}

bool ConfigFile::readFile(QString &error)
{
    QFile file(path());
    if (!file.open(QIODevice::ReadOnly)) {
        error = file.errorString();
        return false;
    }
    const QByteArray bytes = file.read(ConfigLayout::RecordSize);
    if (bytes.size() < ConfigLayout::RecordSize) {
        error = QStringLiteral("The settings file is too short (%1 of %2 bytes)")
                    .arg(bytes.size())
                    .arg(ConfigLayout::RecordSize);
        return false;
    }
    DecodeConfigRecord(bytes, m_state.Config);
    return decryptProtectedFields(bytes, error);
}

// What "Tallyport.ini" keeps for the record: an SMTP user name or password stands in for the
// record's field, and a later day of the last system-OK e-mail for the record's.
void ConfigFile::readOverflow(QStringList &failed)
{
    RecordOverflow overflow;
    if (!IniFile(m_state).ReadRecordOverflow(overflow))
        return;
    const std::pair<const char *, QString> stored[] = {{"SMTPUserName", overflow.smtpUserName},
                                                       {"SMTPPassword", overflow.smtpPassword}};
    for (const auto &[name, cipherText] : stored) {
        if (cipherText.isEmpty())
            continue;
        QString plain, fieldError;
        if (m_cipher.DecryptField(cipherText, plain, fieldError)) {
            m_state.Config.*member(name) = plain;
            continue;
        }
        m_state.Config.*member(name) = QString();
        m_undecryptedNames << QLatin1String(name);
        failed << IniFile::FileName + QStringLiteral(" ") + QLatin1String(name) + QStringLiteral(": ") +
                      fieldError;
    }
    const QDateTime kept = ParseDateTimeText(overflow.lastSystemOKEmail);
    const QDateTime inRecord = ParseDateTimeText(m_state.Config.LastSystemOKEmail.trimmed());
    if (kept.isValid() && (!inRecord.isValid() || inRecord < kept))
        m_state.Config.LastSystemOKEmail = overflow.lastSystemOKEmail;
}

bool ConfigFile::decryptProtectedFields(const QByteArray &bytes, QString &error)
{
    m_undecrypted.clear();
    QStringList failed;
    for (const char *name : kProtected) {
        QString &value = m_state.Config.*member(name);
        QString plain, fieldError;
        if (m_cipher.DecryptField(value, plain, fieldError)) {
            value = plain;
            continue;
        }
        // Each field stands on its own. Cipher text must never stand in for a plain value (a
        // later save would encrypt it again), so the field is left empty.
        const ConfigLayout::Field *field = ConfigLayout::field(name);
        m_undecrypted.insert(field->offset, bytes.mid(field->offset, field->width));
        value = QString();
        m_undecryptedNames << QLatin1String(name);
        failed << QLatin1String(name) + QStringLiteral(": ") + fieldError;
    }
    readOverflow(failed);
    error = failed.join(QStringLiteral("; "));
    return failed.isEmpty();
}

bool ConfigFile::administratorLoginDamaged() const
{
    return m_undecrypted.contains(ConfigLayout::field("AdminUserName")->offset) ||
           m_undecrypted.contains(ConfigLayout::field("AdminPassword")->offset);
}

void ConfigFile::showDamagedLogin()
{
    if (!administratorLoginDamaged()) {
        m_state.UpdateStatus(DamagedLoginKey, QStringLiteral("delete"));
        return;
    }
    m_state.UpdateStatus(DamagedLoginKey, QStringLiteral("  Setup stays locked.  To recover, restore ") +
                                              QDir::toNativeSeparators(path()) +
                                              QStringLiteral(" from a backup, or delete it and set "
                                                             "Tallyport up again, then restart Tallyport."));
}

void ConfigFile::showDamagedMailLogin()
{
    QStringList names;
    for (const QString &field : m_undecryptedNames)
        if (field.startsWith(QLatin1String("SMTP")))
            names << shownName(field);
    if (names.isEmpty()) {
        m_state.UpdateStatus(DamagedMailLoginKey, QStringLiteral("delete"));
        return;
    }
    m_state.UpdateStatus(DamagedMailLoginKey,
                         QStringLiteral("  E-mails cannot log on to the mail server.  Please enter the ") +
                             names.join(QStringLiteral(" and ")) +
                             QStringLiteral(" again (Setup, Configure Tallyport, Email, Advanced) and "
                                            "click OK."));
}

bool ConfigFile::keepUnreadableCopy(QString &error)
{
    if (!m_lastReadFailed || !QFile::exists(path()))
        return true;
    QString copy = path() + QStringLiteral(".unreadable");
    for (int n = 1; QFile::exists(copy); ++n)
        copy = path() + QStringLiteral(".unreadable.%1").arg(n);
    if (!QFile::copy(path(), copy)) {
        error = QStringLiteral("Could not keep a copy of the unreadable settings file");
        return false;
    }
    m_lastReadFailed = false;
    return true;
}

bool ConfigFile::SaveConfiguration()
{
    return SaveRecord(m_state.Config);
}

bool ConfigFile::SaveRecord(const ConfigRecord &record)
{
    QString error;
    ConfigRecord copy = record;
    RecordOverflow overflow;
    QHash<int, QByteArray> keep;
    bool ok = encryptProtectedFields(copy, overflow, keep, error) && keepUnreadableCopy(error) &&
              writeFiles(copy, overflow, keep, error);
    if (!ok) {
        m_lastError = error;
        m_state.AddError(QStringLiteral("Error saving configuration parameters to ") +
                             QDir::toNativeSeparators(m_state.programDirectory()),
                         error);
    }
    return ok;
}

bool ConfigFile::encryptProtectedFields(ConfigRecord &copy, RecordOverflow &overflow,
                                        QHash<int, QByteArray> &keep, QString &error) const
{
    for (const char *name : kProtected) {
        QString &value = copy.*member(name);
        const int offset = ConfigLayout::field(name)->offset;
        // An administrator field that could not be decrypted keeps its stored bytes until it is
        // given a value: saved empty, it would unlock Setup at the next read.
        if (isAdministratorField(name) && value.trimmed().isEmpty() && m_undecrypted.contains(offset)) {
            keep.insert(offset, m_undecrypted.value(offset));
            continue;
        }
        // A mail server key longer than the field goes to "Tallyport.ini"; the field stays empty
        // (older versions read it and find no password rather than a cut one).
        if (!isAdministratorField(name) && !FitsProtectedField(value)) {
            QString &longValue =
                std::strcmp(name, "SMTPUserName") == 0 ? overflow.smtpUserName : overflow.smtpPassword;
            if (!m_cipher.EncryptText(value.trimmed(), longValue, error))
                return false;
            value.clear();
        }
        QString cipherText;
        if (!m_cipher.EncryptField(value.trimmed(), cipherText, error))
            return false;
        value = cipherText;
    }
    return true;
}

// "Tallyport.ini" first, and only when its keys change: a record written beside keys that could
// not be written would lose the key. When the record cannot be written, the keys go back.
bool ConfigFile::writeFiles(const ConfigRecord &copy, const RecordOverflow &overflow,
                            const QHash<int, QByteArray> &keep, QString &error)
{
    IniFile ini(m_state);
    RecordOverflow before;
    ini.ReadRecordOverflow(before);
    RecordOverflow wanted = before;
    wanted.smtpUserName = overflow.smtpUserName;
    wanted.smtpPassword = overflow.smtpPassword;
    const bool secretsChange = !(wanted == before);
    if (secretsChange && !ini.SaveRecordOverflow(wanted)) {
        error = ini.lastError();
        return false;
    }
    QByteArray bytes = EncodeConfigRecord(copy);
    for (auto it = keep.cbegin(); it != keep.cend(); ++it)
        bytes.replace(it.key(), int(it->size()), *it);
    const bool written = writeFile(bytes, error);
    const RecordOverflow &inFile = written ? wanted : before;
    if (!written && secretsChange)
        ini.SaveRecordOverflow(before);
    // The day of the last system-OK e-mail, whether or not the record took it: a restart that
    // found only the record's older day would send the e-mail again. A failure is logged.
    const QString day = copy.LastSystemOKEmail.trimmed();
    if (ParseDateTimeText(day).isValid() && day != inFile.lastSystemOKEmail) {
        RecordOverflow withDay = inFile;
        withDay.lastSystemOKEmail = day;
        ini.SaveRecordOverflow(withDay);
    }
    return written;
}

bool ConfigFile::writeFile(const QByteArray &record, QString &error)
{
    // Unbuffered, so a write cut short (a full disk, a file-size limit) shows at the write, not
    // at a flush whose failure the commit would not see; the previous file then stays.
    QSaveFile file(path());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        error = file.errorString();
        return false;
    }
    const qint64 written = file.write(record);
    if (written != record.size()) {
        error = QStringLiteral("Only %1 of %2 bytes could be written (%3)")
                    .arg(qMax<qint64>(0, written))
                    .arg(record.size())
                    .arg(file.errorString());
        file.cancelWriting();
        return false;
    }
    // Decryptable with the key the program carries: readable by its owner only.
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (!file.commit()) {
        error = file.errorString();
        return false;
    }
    return true;
}

bool ConfigFile::ValidateConfiguration()
{
    ConfigRecord &c = m_state.Config;
    bool replaced = false;
    auto replace = [&replaced](qint16 &value, bool bad, qint16 fallback) {
        if (bad) {
            value = fallback;
            replaced = true;
        }
    };
    replace(c.TCPTimeOut, c.TCPTimeOut <= 0 || c.TCPTimeOut > 9, 2);
    replace(c.CommunicationRetry, c.CommunicationRetry <= 0, 1);
    replace(c.UpdateRate, c.UpdateRate < 5, 60);
    // The port is read unsigned, as the mailer reads it: a port above 32767 is not "0 or less".
    replace(c.SMTPPort, quint16(c.SMTPPort) == 0, 25);
    replace(c.SMTPTimeOut, c.SMTPTimeOut <= 0, 30);
    if (c.AuthenticationMethod.trimmed().isEmpty()) {
        c.AuthenticationMethod = QStringLiteral("NONE");
        replaced = true;
    }
    if (!replaced)
        return true;
    SaveConfiguration();
    return false;
}
