#include "support_http.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTcpSocket>
#include <QTimer>

HttpResult HttpGet(const QUrl &url, const QList<QPair<QByteArray, QByteArray>> &headers, int timeoutMs)
{
    QNetworkAccessManager manager;
    QNetworkRequest request(url);
    for (const auto &[name, value] : headers)
        request.setRawHeader(name, value);
    QNetworkReply *reply = manager.get(request);
    QEventLoop loop;
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();
    HttpResult result;
    result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    result.body = reply->readAll();
    for (const auto &[name, value] : reply->rawHeaderPairs())
        result.headers.insert(name.toLower(), value);
    if (!reply->isFinished())
        result.error = QStringLiteral("timed out");
    else if (reply->error() != QNetworkReply::NoError)
        result.error = reply->errorString();
    reply->abort();
    delete reply;
    return result;
}

HttpResult RawExchange(quint16 port, const QByteArray &bytes, int timeoutMs, const QHostAddress &from)
{
    HttpResult result;
    QTcpSocket socket;
    if (!from.isNull())
        socket.bind(from);
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!socket.waitForConnected(timeoutMs)) {
        result.error = socket.errorString();
        return result;
    }
    socket.write(bytes);
    QByteArray received;
    QEventLoop loop;
    QObject::connect(&socket, &QTcpSocket::readyRead, &loop, [&] { received += socket.readAll(); });
    QObject::connect(&socket, &QTcpSocket::disconnected, &loop, &QEventLoop::quit);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    if (socket.state() == QAbstractSocket::ConnectedState)
        loop.exec();
    received += socket.readAll();
    if (socket.state() == QAbstractSocket::ConnectedState)
        result.error = QStringLiteral("still open");
    const qsizetype lineEnd = received.indexOf("\r\n");
    const QList<QByteArray> statusLine = received.left(lineEnd).split(' ');
    if (statusLine.size() >= 2 && statusLine.first().startsWith("HTTP/"))
        result.status = statusLine.at(1).toInt();
    const qsizetype headEnd = received.indexOf("\r\n\r\n");
    result.body = headEnd >= 0 ? received.mid(headEnd + 4) : received;
    for (const QByteArray &line : received.left(qMax<qsizetype>(headEnd, 0)).split('\n').mid(1)) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0)
            result.headers.insert(line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed());
    }
    return result;
}

std::unique_ptr<QTcpSocket> OpenConnection(quint16 port, const QHostAddress &from, const QByteArray &bytes)
{
    auto socket = std::make_unique<QTcpSocket>();
    if (!socket->bind(from))
        return nullptr;
    socket->connectToHost(QHostAddress::LocalHost, port);
    if (!socket->waitForConnected(5000))
        return nullptr;
    if (!bytes.isEmpty()) {
        socket->write(bytes);
        socket->flush();
    }
    return socket;
}
