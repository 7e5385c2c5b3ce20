#include "ListenPlan.h"

#include <QDir>
#include <QFile>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>
#include <QUrl>

namespace {
bool tokenUsable(const QString &token, QString &reason)
{
    if (token.size() < MinimumTokenLength) {
        reason = QStringLiteral("the token must have at least %1 characters").arg(MinimumTokenLength);
        return false;
    }
    for (const QChar c : token) {
        if (c.unicode() <= 0x20 || c.unicode() >= 0x7f) {
            reason = QStringLiteral("the token may hold only letters, digits and punctuation (no blanks)");
            return false;
        }
    }
    return true;
}

bool readFile(const QString &path, QByteArray &bytes, QString &reason)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        reason =
            QStringLiteral("%1 cannot be read (%2)").arg(QDir::toNativeSeparators(path), file.errorString());
        return false;
    }
    bytes = file.read(1024 * 1024);
    return true;
}

bool readKey(const QString &path, QSslKey &key, QString &reason)
{
    QByteArray pem;
    if (!readFile(path, pem, reason))
        return false;
    for (const QSsl::KeyAlgorithm algorithm : {QSsl::Rsa, QSsl::Ec, QSsl::Dsa}) {
        key = QSslKey(pem, algorithm, QSsl::Pem, QSsl::PrivateKey);
        if (!key.isNull())
            return true;
    }
    reason = QStringLiteral("%1 holds no private key in PEM form (a key with a pass phrase cannot be used)")
                 .arg(QDir::toNativeSeparators(path));
    return false;
}

bool readTls(const WebIniSettings &settings, const QString &directory, QSslConfiguration &tls,
             QString &reason)
{
    if (!QSslSocket::supportsSsl()) {
        reason = QStringLiteral("HTTPS is not available on this computer (no TLS library)");
        return false;
    }
    const QDir dir(directory);
    const QString certificatePath = dir.absoluteFilePath(settings.certificate.trimmed());
    QByteArray pem;
    if (!readFile(certificatePath, pem, reason))
        return false;
    const QList<QSslCertificate> chain = QSslCertificate::fromData(pem, QSsl::Pem);
    if (chain.isEmpty() || chain.first().isNull()) {
        reason = QStringLiteral("%1 holds no certificate in PEM form")
                     .arg(QDir::toNativeSeparators(certificatePath));
        return false;
    }
    if (chain.first().expiryDate() < QDateTime::currentDateTimeUtc()) {
        reason = QStringLiteral("the certificate in %1 expired on %2")
                     .arg(QDir::toNativeSeparators(certificatePath),
                          chain.first().expiryDate().toString(Qt::ISODate));
        return false;
    }
    QSslKey key;
    if (!readKey(dir.absoluteFilePath(settings.key.trimmed()), key, reason))
        return false;
    tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificateChain(chain);
    tls.setPrivateKey(key);
    tls.setProtocol(QSsl::TlsV1_2OrLater);
    tls.setPeerVerifyMode(QSslSocket::VerifyNone);
    return true;
}
} // namespace

QString ListenPlan::url() const
{
    QUrl url;
    url.setScheme(tls ? QStringLiteral("https") : QStringLiteral("http"));
    url.setHost(address.toString());
    url.setPort(port);
    url.setPath(QStringLiteral("/"));
    return url.toString();
}

bool MakeListenPlan(const WebIniSettings &settings, const QString &programDirectory, ListenPlan &plan,
                    QString &reason)
{
    plan = ListenPlan();
    const QString address = settings.address.trimmed();
    if (!plan.address.setAddress(address)) {
        reason = QStringLiteral("\"%1\" is not an IP address").arg(address);
        return false;
    }
    plan.port = quint16(settings.port);
    plan.token = settings.token.trimmed();
    if (!plan.token.isEmpty() && !tokenUsable(plan.token, reason))
        return false;
    if (!plan.address.isLoopback() && plan.token.isEmpty()) {
        reason =
            QStringLiteral("address %1 is reachable from other computers and needs a token").arg(address);
        return false;
    }
    const bool certificate = !settings.certificate.trimmed().isEmpty();
    const bool key = !settings.key.trimmed().isEmpty();
    if (certificate != key) {
        reason = QStringLiteral("HTTPS needs both a certificate and a key");
        return false;
    }
    if (certificate) {
        QSslConfiguration tls;
        if (!readTls(settings, programDirectory, tls, reason))
            return false;
        plan.tls = tls;
    }
    return true;
}
