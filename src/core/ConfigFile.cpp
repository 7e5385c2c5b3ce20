#include "ConfigFile.h"

#include "Cipher.h"
#include "ConfigRecord.h"
#include "ProgramState.h"
#include "Prompts.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStringList>

#include <cstring>

const QString ConfigFile::FileName = QStringLiteral("TallyportConfig.dat");
const QString ConfigFile::DamagedLoginKey =
    QStringLiteral("The administrator user name or password in the configuration file could not be read.");

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
} // namespace

QString ConfigFile::path() const
{
    return m_state.programFile(FileName);
}

bool ConfigFile::ReadConfiguration()
{
    if (!QFile::exists(path()))
        return false;
    QString error;
    const bool read = readFile(error);
    showDamagedLogin();
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
    // The file is read again after every device: the same failure is reported once.
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
        failed << QLatin1String(name) + QStringLiteral(": ") + fieldError;
    }
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
    QString error;
    ConfigRecord copy = m_state.Config;
    QHash<int, QByteArray> keep;
    bool ok = true;
    for (const char *name : kProtected) {
        QString &value = copy.*member(name);
        const int offset = ConfigLayout::field(name)->offset;
        // An administrator field that could not be decrypted keeps its stored bytes until it is
        // given a value: saved empty, it would unlock Setup at the next read.
        if (isAdministratorField(name) && value.trimmed().isEmpty() && m_undecrypted.contains(offset)) {
            keep.insert(offset, m_undecrypted.value(offset));
            continue;
        }
        QString cipherText;
        if (!m_cipher.EncryptField(value.trimmed(), cipherText, error)) {
            ok = false;
            break;
        }
        value = cipherText;
    }
    if (ok)
        ok = keepUnreadableCopy(error);
    if (ok) {
        QByteArray record = EncodeConfigRecord(copy);
        for (auto it = keep.cbegin(); it != keep.cend(); ++it)
            record.replace(it.key(), int(it->size()), *it);
        ok = writeFile(record, error);
    }
    if (!ok) {
        m_lastError = error;
        m_state.AddError(QStringLiteral("Error saving configuration parameters to ") +
                             QDir::toNativeSeparators(m_state.programDirectory()),
                         error);
    }
    return ok;
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
