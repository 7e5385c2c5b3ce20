#include "support_receiver.h"

#include <QTcpSocket>

TestReceiver::TestReceiver(const QHostAddress &address, quint16 port) : m_address(address), m_port(port)
{
    connect(&m_server, &QTcpServer::newConnection, this, &TestReceiver::onConnection);
    listen();
}

bool TestReceiver::listen()
{
    const bool ok = m_server.listen(m_address, m_port);
    if (ok)
        m_port = m_server.serverPort();
    return ok;
}

QString TestReceiver::url(const QString &path) const
{
    return QStringLiteral("http://%1:%2%3").arg(m_address.toString()).arg(m_port).arg(path);
}

void TestReceiver::onConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        socket->setParent(this);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onData(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_buffers.remove(socket);
            socket->deleteLater();
        });
    }
}

void TestReceiver::onData(QTcpSocket *socket)
{
    QByteArray &buffer = m_buffers[socket];
    buffer += socket->readAll();
    const qsizetype end = buffer.indexOf("\r\n\r\n");
    if (end < 0)
        return;
    Request r;
    const QList<QByteArray> lines = buffer.left(end).split('\n');
    const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
    r.method = first.value(0);
    r.path = first.value(1);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon > 0)
            r.headers.insert(lines[i].left(colon).trimmed().toLower(), lines[i].mid(colon + 1).trimmed());
    }
    const qsizetype length = r.headers.value("content-length").toLongLong();
    if (buffer.size() < end + 4 + length)
        return;
    r.body = buffer.mid(end + 4, length);
    buffer.clear();
    requests.append(r);
    emit received();
    const int status = silent ? 0 : statuses.isEmpty() ? 200 : statuses.takeFirst();
    if (status == 0)
        return;
    socket->write("HTTP/1.1 " + QByteArray::number(status) +
                  " Status\r\nContent-Type: text/plain\r\n"
                  "Content-Length: 2\r\nConnection: close\r\n\r\nok");
    socket->disconnectFromHost();
}

#include "moc_support_receiver.cpp"
