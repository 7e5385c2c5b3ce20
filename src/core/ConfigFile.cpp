#include "ConfigFile.h"

#include "Cipher.h"
#include "ConfigRecord.h"
#include "ProgramState.h"
#include "Prompts.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

const QString ConfigFile::FileName = QStringLiteral("TallyportConfig.dat");

namespace {
// The protected fields in the order they are decrypted and encrypted.
QString ConfigRecord::*const kProtected[] = {&ConfigRecord::SMTPPassword, &ConfigRecord::SMTPUserName,
                                             &ConfigRecord::AdminUserName, &ConfigRecord::AdminPassword};
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
    if (readFile(error)) {
        m_lastReadFailed = false;
        return true;
    }
    m_lastReadFailed = true;
    m_lastError = error;
    m_state.prompts().beep();
    m_state.AddError(QStringLiteral("Error reading configuration parameters from ") +
                         QDir::toNativeSeparators(m_state.programDirectory()),
                     error);
    return false;
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
    ConfigRecord &record = m_state.Config;
    DecodeConfigRecord(bytes, record);
    bool decrypted = true;
    for (QString ConfigRecord::*field : kProtected) {
        QString plain;
        if (decrypted && !m_cipher.DecryptField(record.*field, plain, error))
            decrypted = false;
        // Cipher text must never stand in for a plain value (a later save would encrypt it
        // again), so a field that could not be decrypted is left empty.
        record.*field = decrypted ? plain : QString();
    }
    return decrypted;
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
    bool ok = true;
    for (QString ConfigRecord::*field : kProtected) {
        QString cipherText;
        if (!m_cipher.EncryptField((copy.*field).trimmed(), cipherText, error)) {
            ok = false;
            break;
        }
        copy.*field = cipherText;
    }
    if (ok)
        ok = keepUnreadableCopy(error);
    if (ok) {
        QSaveFile file(path());
        ok = file.open(QIODevice::WriteOnly) &&
             file.write(EncodeConfigRecord(copy)) == ConfigLayout::RecordSize && file.commit();
        if (!ok)
            error = file.errorString();
    }
    if (!ok) {
        m_lastError = error;
        m_state.AddError(QStringLiteral("Error saving configuration parameters to ") +
                             QDir::toNativeSeparators(m_state.programDirectory()),
                         error);
    }
    return ok;
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
    replace(c.SMTPPort, c.SMTPPort <= 0, 25);
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
