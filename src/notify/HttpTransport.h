#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <atomic>

// One HTTP POST of a notification.
struct HttpRequest {
    QByteArray url;
    QList<QByteArray> headers; // "Name: value"
    QByteArray body;
    bool insecure = false; // HTTPS without certificate checks
    int timeoutMs = 15000;
};

// What the receiver answered. status is 0 when no answer came (no connection, time-out, stopped).
struct HttpOutcome {
    int status = 0;
    QByteArray answer; // the start of the answer's body
    QString errorText; // empty when a 2xx answer came

    bool delivered() const { return status >= 200 && status < 300; }
    // A refusal that waiting cannot mend (a bad request, a token refused, a wrong address): the
    // message is given up at once. Time-outs (408), throttling (429) and server errors are not.
    bool refusedForGood() const { return status >= 400 && status < 500 && status != 408 && status != 429; }
    // The status and the start of the answer, for logs and the Test button.
    QString summary() const;
};

// A libcurl handle kept between requests, so that a receiver's connection is used again rather
// than opened for every message. Used by one request at a time.
class HttpConnection {
public:
    HttpConnection();
    ~HttpConnection();
    HttpConnection(const HttpConnection &) = delete;
    HttpConnection &operator=(const HttpConnection &) = delete;
    void *handle() const { return m_curl; }

private:
    void *m_curl;
};

// Sends the request with libcurl over the connection and waits for the answer; runs on a worker
// thread. Setting abort stops it within about a second.
HttpOutcome RunHttpRequest(const HttpRequest &request, const std::atomic_bool *abort,
                           HttpConnection &connection);
// The same on a connection of its own (a single test message).
HttpOutcome RunHttpRequest(const HttpRequest &request, const std::atomic_bool *abort);
