#include "Cipher.h"

#include <openssl/evp.h>

#include <memory>

namespace {
const char kPassPhrase[] = "bluecandlesandsaltwater";
const char kSalt[] = "Tallyport settings";
constexpr int kIterations = 10000;
constexpr int kKeyBytes = 16;
constexpr int kIvBytes = 16;

using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)>;

// Runs AES-128-CBC in either direction over the whole input.
bool runCipher(bool encrypt, const QByteArray &key, const QByteArray &iv, const QByteArray &in,
               QByteArray &out)
{
    CipherContext ctx(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
    if (!ctx)
        return false;
    const auto *k = reinterpret_cast<const unsigned char *>(key.constData());
    const auto *v = reinterpret_cast<const unsigned char *>(iv.constData());
    if (EVP_CipherInit_ex(ctx.get(), EVP_aes_128_cbc(), nullptr, k, v, encrypt ? 1 : 0) != 1)
        return false;
    out.resize(in.size() + EVP_MAX_BLOCK_LENGTH);
    int written = 0;
    int last = 0;
    auto *o = reinterpret_cast<unsigned char *>(out.data());
    if (EVP_CipherUpdate(ctx.get(), o, &written, reinterpret_cast<const unsigned char *>(in.constData()),
                         int(in.size())) != 1)
        return false;
    if (EVP_CipherFinal_ex(ctx.get(), o + written, &last) != 1)
        return false;
    out.resize(written + last);
    return true;
}
} // namespace

bool Cipher::InitCipher()
{
    unsigned char material[kKeyBytes + kIvBytes];
    const int ok = PKCS5_PBKDF2_HMAC(kPassPhrase, int(sizeof(kPassPhrase) - 1),
                                     reinterpret_cast<const unsigned char *>(kSalt), int(sizeof(kSalt) - 1),
                                     kIterations, EVP_sha256(), int(sizeof(material)), material);
    m_ready = ok == 1;
    if (m_ready) {
        m_key = QByteArray(reinterpret_cast<const char *>(material), kKeyBytes);
        m_iv = QByteArray(reinterpret_cast<const char *>(material) + kKeyBytes, kIvBytes);
    }
    return m_ready;
}

bool Cipher::EncryptField(const QString &plain, QString &cipherText, QString &error) const
{
    if (plain.toUtf8().size() > MaxPlainBytes) {
        error = QStringLiteral("The value is too long to be stored encrypted (at most %1 characters)")
                    .arg(MaxPlainBytes);
        return false;
    }
    return EncryptText(plain, cipherText, error);
}

bool Cipher::EncryptText(const QString &plain, QString &cipherText, QString &error) const
{
    if (!m_ready) {
        error = QStringLiteral("The password cipher is not available");
        return false;
    }
    QByteArray encrypted;
    if (!runCipher(true, m_key, m_iv, plain.toUtf8(), encrypted)) {
        error = QStringLiteral("Encryption failed");
        return false;
    }
    cipherText = QString::fromLatin1(encrypted.toBase64());
    return true;
}

bool Cipher::DecryptField(const QString &cipherText, QString &plain, QString &error) const
{
    if (!m_ready) {
        error = QStringLiteral("The password cipher is not available");
        return false;
    }
    QString text = cipherText;
    while (!text.isEmpty() && (text.back() == QLatin1Char(' ') || text.back() == QChar(0)))
        text.chop(1);
    if (text.isEmpty()) {
        plain.clear();
        return true;
    }
    const auto decoded =
        QByteArray::fromBase64Encoding(text.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    QByteArray decrypted;
    if (!decoded || decoded.decoded.isEmpty() || decoded.decoded.size() % kIvBytes != 0 ||
        !runCipher(false, m_key, m_iv, decoded.decoded, decrypted)) {
        error = QStringLiteral("The stored value could not be decrypted");
        return false;
    }
    plain = QString::fromUtf8(decrypted);
    return true;
}
