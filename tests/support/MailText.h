#pragma once

#include <QByteArray>
#include <QString>

// Mail texts as they travel, for tests that compare what a server received with what was sent.

// The text with every single carriage return as CR LF, as it travels on the wire.
inline QByteArray OnTheWire(const QString &text)
{
    QByteArray bytes = text.toUtf8();
    bytes.replace("\r", "\r\n");
    return bytes;
}

// Quoted-printable back to bytes (soft breaks removed, =XX decoded).
inline QByteArray DecodeQuotedPrintable(const QByteArray &encoded)
{
    QByteArray text = encoded;
    text.replace("=\r\n", "");
    QByteArray out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == '=' && i + 2 < text.size()) {
            out += char(text.mid(i + 1, 2).toInt(nullptr, 16));
            i += 2;
        } else {
            out += text.at(i);
        }
    }
    return out;
}
