#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QPair>
#include <QUrl>

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

// Sends raw bytes on a new connection and collects what comes back until the server closes it
// or timeoutMs pass. Status is parsed from the first line when there is one.
HttpResult RawExchange(quint16 port, const QByteArray &bytes, int timeoutMs = 10000);
