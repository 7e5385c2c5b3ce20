#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QMap>
#include <QTcpServer>

// A small HTTP receiver on loopback for the notification tests: it records every request and
// answers with the statuses it is given in turn (200 once they are used up), or never answers.
class TestReceiver final : public QObject {
    Q_OBJECT
public:
    struct Request {
        QByteArray method;
        QByteArray path;
        QMap<QByteArray, QByteArray> headers; // names in lower case
        QByteArray body;
    };

    explicit TestReceiver(const QHostAddress &address, quint16 port = 0);

    QString url(const QString &path = QStringLiteral("/hook")) const;
    void close() { m_server.close(); }
    bool listen();

    QList<Request> requests;
    QList<int> statuses; // answers in turn (0: none); 200 after them
    bool silent = false; // takes requests and never answers

signals:
    void received();

private:
    void onConnection();
    void onData(QTcpSocket *socket);

    QTcpServer m_server;
    QHostAddress m_address;
    quint16 m_port;
    QMap<QTcpSocket *, QByteArray> m_buffers;
};
