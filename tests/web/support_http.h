#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QUrl>

#include <memory>

class QTcpSocket;

// One HTTP exchange as a test sees it.
struct HttpResult {
    int status = 0; // 0: no HTTP answer (connection refused, closed or timed out)
    QByteArray body;
    QHash<QByteArray, QByteArray> headers; // lower-case names
    QString error;
};

// A GET through QNetworkAccessManager, waiting in a local loop (at most timeoutMs).
HttpResult HttpGet(const QUrl &url, const QList<QPair<QByteArray, QByteArray>> &headers = {},
                   int timeoutMs = 10000);

// Sends raw bytes on a new connection (from the address given, else the system's choice) and
// collects what comes back until the server closes it or timeoutMs pass. Status and headers
// are parsed from the first answer's head when there is one.
HttpResult RawExchange(quint16 port, const QByteArray &bytes, int timeoutMs = 10000,
                       const QHostAddress &from = QHostAddress());

// A connection to 127.0.0.1:port from the address given that has sent bytes; null when it could
// not connect.
std::unique_ptr<QTcpSocket> OpenConnection(quint16 port, const QHostAddress &from,
                                           const QByteArray &bytes = QByteArray());
