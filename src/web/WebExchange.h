#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QUrl>

using HttpHeaders = QList<QPair<QByteArray, QByteArray>>;

// A request as the web server answers it: method, target, headers, the body (on the routes that
// take one) and the address it came from.
struct WebRequest {
    QByteArray method;
    QUrl url;
    HttpHeaders headers;
    QByteArray body;
    QHostAddress peer;
};

// What a request gets: status code, content type, body and extra headers.
struct WebReply {
    int status = 200;
    QByteArray contentType;
    QByteArray body;
    HttpHeaders headers;
};

// The value of a header (trimmed), empty when the request has none.
QByteArray HeaderValue(const HttpHeaders &headers, const QByteArray &name);
// Every value of a header, in order.
QList<QByteArray> HeaderValues(const HttpHeaders &headers, const QByteArray &name);
