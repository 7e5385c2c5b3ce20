#include "support_simclient.h"

#include <QEventLoop>
#include <QTcpSocket>
#include <QTimer>

QByteArray simFrame(const QByteArray &code)
{
    QByteArray frame = code;
    if (frame.size() < 60)
        frame.append(QByteArray(60 - frame.size(), '\0'));
    return frame;
}

SimExchange simExchange(const QString &address, const QByteArray &command, int expected, int timeoutMs)
{
    SimExchange result;
    QTcpSocket socket;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(&socket, &QTcpSocket::connected, &loop, [&] {
        result.connected = true;
        socket.write(simFrame(command));
    });
    QObject::connect(&socket, &QTcpSocket::readyRead, &loop, [&] {
        result.reply += socket.readAll();
        if (result.reply.size() >= expected)
            loop.quit();
    });
    QObject::connect(&socket, &QTcpSocket::errorOccurred, &loop, [&](QAbstractSocket::SocketError error) {
        if (error == QAbstractSocket::ConnectionRefusedError)
            result.refused = true;
        else
            result.closedByDevice = true;
        loop.quit();
    });
    socket.connectToHost(address, 10001);
    timer.start(timeoutMs);
    loop.exec();
    result.reply += socket.readAll();
    socket.abort();
    return result;
}
