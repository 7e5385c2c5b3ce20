#pragma once

#include <QByteArray>
#include <QString>

// The password cipher: AES-128-CBC under a key derived from a fixed pass phrase, cipher text as
// base64. Protects the four user names and passwords in the settings file.
class Cipher {
public:
    // The longest plain value (in UTF-8 bytes) whose base64 cipher text fits a 100-character
    // field: 63 bytes pad to four blocks, which encode to 88 characters.
    static constexpr int MaxPlainBytes = 63;

    // Derives the key and initialisation vector from the pass phrase. False when the cipher is
    // not available.
    bool InitCipher();
    bool isReady() const { return m_ready; }

    // Encrypts plain (as UTF-8) to base64 text. Refuses (false, with error) a value whose cipher
    // text would not fit the 100-character field.
    bool EncryptField(const QString &plain, QString &cipherText, QString &error) const;
    // The same cipher for a value of any length (kept outside the settings record).
    bool EncryptText(const QString &plain, QString &cipherText, QString &error) const;
    // Decodes base64 and decrypts; trailing blanks and NULs of the stored field are ignored. A
    // blank field decrypts to an empty value.
    bool DecryptField(const QString &cipherText, QString &plain, QString &error) const;

private:
    QByteArray m_key;
    QByteArray m_iv;
    bool m_ready = false;
};
