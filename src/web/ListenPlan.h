#pragma once

#include <core/IniSettings.h>

#include <QHostAddress>
#include <QSslConfiguration>
#include <QStringList>

#include <optional>

// Where and how the web server is to listen, worked out from the [web] settings.
struct ListenPlan {
    QHostAddress address;
    quint16 port = 0;
    QString token;
    // The names requests may be addressed to besides the loopback ones (lower case).
    QStringList hosts;
    std::optional<QSslConfiguration> tls; // set for HTTPS
    QString publicUrl;                    // [web] publicUrl, checked; empty when not set

    // The address to type into a browser on this computer, e.g. "http://127.0.0.1:8080/".
    QString url() const;
    // The address for links published to others: publicUrl when set; with every address served,
    // this computer's name instead of 0.0.0.0; otherwise url(). Never with the token.
    QString linkUrl() const;
};

// The shortest token accepted.
inline constexpr int MinimumTokenLength = 16;

// Checks the settings and reads the certificate and key. False with the reason (for the status
// list) when the server must not start: an address that is not an IP address, an address other
// than loopback without a token, a token too short or with blanks or control characters, only
// one of certificate and key, a file that cannot be read or is not PEM, an expired
// certificate, no TLS support, or a publicUrl that is not an http(s) address of its own (a
// user, query or fragment in it could carry a secret into every published link). Relative file paths are in
// programDirectory.
bool MakeListenPlan(const WebIniSettings &settings, const QString &programDirectory, ListenPlan &plan,
                    QString &reason);
