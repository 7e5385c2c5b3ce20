#include "ListenPlan.h"

#include <core/PublicUrl.h>

#include <QDir>
#include <QFile>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>
#include <QSysInfo>
#include <QUrl>

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <memory>

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

// Whether the private key is the one the certificate was made for: with another key every TLS
// handshake fails, and the server would seem to run while nobody can connect.
bool keyBelongsToCertificate(const QByteArray &certificatePem, const QByteArray &keyPem)
{
    const auto bio = [](const QByteArray &pem) {
        return std::unique_ptr<BIO, decltype(&BIO_free)>(BIO_new_mem_buf(pem.constData(), int(pem.size())),
                                                         &BIO_free);
    };
    const auto certificateBio = bio(certificatePem);
    const auto keyBio = bio(keyPem);
    if (!certificateBio || !keyBio)
        return false;
    const std::unique_ptr<X509, decltype(&X509_free)> certificate(
        PEM_read_bio_X509(certificateBio.get(), nullptr, nullptr, nullptr), &X509_free);
    const std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(
        PEM_read_bio_PrivateKey(keyBio.get(), nullptr, nullptr, nullptr), &EVP_PKEY_free);
    return certificate && key && X509_check_private_key(certificate.get(), key.get()) == 1;
}

bool readKey(const QString &path, QByteArray &pem, QSslKey &key, QString &reason)
{
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
    const QString keyPath = dir.absoluteFilePath(settings.key.trimmed());
    QByteArray keyPem;
    QSslKey key;
    if (!readKey(keyPath, keyPem, key, reason))
        return false;
    if (!keyBelongsToCertificate(pem, keyPem)) {
        reason = QStringLiteral("the key in %1 does not belong to the certificate in %2")
                     .arg(QDir::toNativeSeparators(keyPath), QDir::toNativeSeparators(certificatePath));
        return false;
    }
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

QString ListenPlan::linkUrl() const
{
    if (!publicUrl.isEmpty())
        return publicUrl;
    if (address != QHostAddress::AnyIPv4 && address != QHostAddress::AnyIPv6)
        return url();
    const QString name = QSysInfo::machineHostName();
    if (name.isEmpty())
        return QString();
    QUrl url(this->url());
    url.setHost(name);
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
    for (const QString &host : settings.hosts.split(QLatin1Char(','), Qt::SkipEmptyParts))
        if (!host.trimmed().isEmpty())
            plan.hosts.append(host.trimmed().toLower());
    if (!plan.token.isEmpty() && !tokenUsable(plan.token, reason))
        return false;
    const QString publicUrl = settings.publicUrl.trimmed();
    if (!publicUrl.isEmpty() && !PublicUrlUsable(publicUrl, plan.publicUrl, reason))
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
