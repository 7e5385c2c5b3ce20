#include "SmtpTestServer.h"

#include <core/LocalWait.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <functional>

namespace {
const char *ScriptPath = TALLYPORT_SOURCE_DIR "/tests/support/smtp_test_server.py";
// aiosmtpd is installed for the system interpreter, not for others that may come first on PATH.
const char *Python = "/usr/bin/python3";

qsizetype HeaderEnd(const QByteArray &data)
{
    const qsizetype end = data.indexOf("\r\n\r\n");
    return end < 0 ? data.size() : end + 2;
}

bool AddExtension(X509 *certificate, int nid, const char *value)
{
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
    X509_EXTENSION *extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
    if (!extension)
        return false;
    const bool added = X509_add_ext(certificate, extension, -1) == 1;
    X509_EXTENSION_free(extension);
    return added;
}

bool WritePem(const QString &path, const std::function<int(FILE *)> &write)
{
    FILE *file = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!file)
        return false;
    const bool ok = write(file) == 1;
    return std::fclose(file) == 0 && ok;
}
} // namespace

QByteArray SmtpTestServer::Received::headers() const
{
    return data.left(HeaderEnd(data));
}

QByteArray SmtpTestServer::Received::body() const
{
    const qsizetype end = HeaderEnd(data);
    return end >= data.size() ? QByteArray() : data.mid(end + 2);
}

QByteArray SmtpTestServer::Received::header(const QByteArray &name) const
{
    const QList<QByteArray> lines = headers().split('\n');
    QByteArray value;
    bool inHeader = false;
    for (QByteArray line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (inHeader && (line.startsWith(' ') || line.startsWith('\t'))) {
            value += line;
            continue;
        }
        if (inHeader)
            break;
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).compare(name, Qt::CaseInsensitive) == 0) {
            inHeader = true;
            value = line.mid(colon + 1).trimmed();
        }
    }
    return value;
}

SmtpTestServer::SmtpTestServer() = default;
SmtpTestServer::SmtpTestServer(Options options) : m_options(std::move(options)) {}

SmtpTestServer::~SmtpTestServer()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QString SmtpTestServer::certificateFile() const
{
    return m_dir.filePath(QStringLiteral("server.pem"));
}

bool SmtpTestServer::start()
{
    QStringList arguments{QString::fromUtf8(ScriptPath)};
    switch (m_options.mode) {
    case Mode::Smtp:
        arguments << QStringLiteral("--mode") << QStringLiteral("smtp");
        break;
    case Mode::Silent:
        arguments << QStringLiteral("--mode") << QStringLiteral("silent");
        break;
    case Mode::Refuse:
        arguments << QStringLiteral("--mode") << QStringLiteral("refuse");
        break;
    case Mode::Drop:
        arguments << QStringLiteral("--mode") << QStringLiteral("drop");
        break;
    }
    if (!m_options.user.isEmpty())
        arguments << QStringLiteral("--user") << m_options.user << QStringLiteral("--password")
                  << m_options.password;
    arguments << QStringLiteral("--host") << m_options.host << QStringLiteral("--port")
              << QString::number(m_options.port);
    if (m_options.requireAuth)
        arguments << QStringLiteral("--require-auth");
    if (!m_options.rejectPrefix.isEmpty())
        arguments << QStringLiteral("--reject-prefix") << m_options.rejectPrefix;
    if (!m_options.deferPrefix.isEmpty())
        arguments << QStringLiteral("--defer-prefix") << m_options.deferPrefix;
    if (m_options.holdReplySeconds > 0)
        arguments << QStringLiteral("--hold-reply") << QString::number(m_options.holdReplySeconds)
                  << QStringLiteral("--hold-text") << QString::fromUtf8(m_options.holdText);
    if (m_options.tls != Tls::None) {
        const QString key = m_dir.filePath(QStringLiteral("server.key"));
        if (!WriteSelfSignedCertificate(certificateFile(), key))
            return false;
        arguments << QStringLiteral("--cert") << certificateFile() << QStringLiteral("--key") << key
                  << (m_options.tls == Tls::StartTls ? QStringLiteral("--starttls")
                                                     : QStringLiteral("--implicit-tls"));
    }

    m_process.start(QString::fromUtf8(Python), arguments);
    if (!m_process.waitForStarted(5000))
        return false;
    LocalWait wait;
    QObject context;
    QObject::connect(&m_process, &QProcess::readyReadStandardOutput, &context, [&] {
        readOutput();
        if (m_port)
            wait.finish();
    });
    QObject::connect(&m_process, &QProcess::finished, &context, [&] { wait.finish(); });
    wait.run(10000);
    return m_port != 0;
}

void SmtpTestServer::readOutput()
{
    m_buffer += m_process.readAllStandardOutput();
    qsizetype end;
    while ((end = m_buffer.indexOf('\n')) >= 0) {
        const QByteArray line = m_buffer.left(end).trimmed();
        m_buffer.remove(0, end + 1);
        if (line.startsWith("READY ")) {
            m_port = quint16(line.mid(6).toUInt());
            continue;
        }
        const QJsonObject object = QJsonDocument::fromJson(line).object();
        if (object.isEmpty())
            continue;
        if (object.value(QLatin1String("holding")).toBool()) {
            ++m_holding;
            continue;
        }
        Received message;
        message.mailFrom = object.value(QLatin1String("mail_from")).toString();
        for (const QJsonValue &r : object.value(QLatin1String("rcpt_tos")).toArray())
            message.recipients.append(r.toString());
        message.data = QByteArray::fromBase64(object.value(QLatin1String("data")).toString().toLatin1());
        message.authMechanism = object.value(QLatin1String("auth_mechanism")).toString();
        message.login = object.value(QLatin1String("login")).toString();
        message.tls = object.value(QLatin1String("tls")).toBool();
        if (object.value(QLatin1String("held")).toBool())
            ++m_heldAnswered;
        m_messages.append(message);
    }
}

bool SmtpTestServer::waitForMessages(int count, int timeoutMs)
{
    return waitUntil([&] { return m_messages.size() >= count; }, timeoutMs);
}

bool SmtpTestServer::waitForHeldAnswer(int timeoutMs)
{
    return waitUntil([&] { return m_holding > m_heldAnswered; }, timeoutMs);
}

bool SmtpTestServer::waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    readOutput();
    if (done())
        return true;
    LocalWait wait;
    QObject context;
    QObject::connect(&m_process, &QProcess::readyReadStandardOutput, &context, [&] {
        readOutput();
        if (done())
            wait.finish();
    });
    wait.run(timeoutMs);
    return done();
}

QList<SmtpTestServer::Received> SmtpTestServer::messages()
{
    readOutput();
    return m_messages;
}

void SmtpTestServer::clearMessages()
{
    readOutput();
    m_messages.clear();
}

QString SmtpTestServer::errorOutput()
{
    return QString::fromUtf8(m_process.readAllStandardError());
}

bool WriteSelfSignedCertificate(const QString &certificatePath, const QString &keyPath)
{
    EVP_PKEY *key = EVP_EC_gen("P-256");
    X509 *certificate = X509_new();
    bool ok = key && certificate;
    if (ok) {
        X509_set_version(certificate, 2);
        ASN1_INTEGER_set(X509_get_serialNumber(certificate), 1);
        X509_gmtime_adj(X509_getm_notBefore(certificate), -3600);
        X509_gmtime_adj(X509_getm_notAfter(certificate), 7 * 24 * 3600);
        X509_set_pubkey(certificate, key);
        X509_NAME *name = X509_get_subject_name(certificate);
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char *>("localhost"), -1, -1, 0);
        X509_set_issuer_name(certificate, name);
        ok = AddExtension(certificate, NID_basic_constraints, "critical,CA:TRUE") &&
             AddExtension(certificate, NID_subject_alt_name, "DNS:localhost,IP:127.0.0.1") &&
             X509_sign(certificate, key, EVP_sha256()) > 0;
    }
    ok = ok && WritePem(certificatePath, [&](FILE *f) { return PEM_write_X509(f, certificate); }) &&
         WritePem(keyPath, [&](FILE *f) {
             return PEM_write_PrivateKey(f, key, nullptr, nullptr, 0, nullptr, nullptr);
         });
    X509_free(certificate);
    EVP_PKEY_free(key);
    return ok;
}
