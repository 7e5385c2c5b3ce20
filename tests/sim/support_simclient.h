#pragma once

#include <QByteArray>
#include <QString>

// What a plain TCP client saw in one exchange with a simulated device.
struct SimExchange {
    bool connected = false;
    bool refused = false;
    bool closedByDevice = false;
    QByteArray reply;
};

// Connects to address:10001, sends the command padded with NULs to 60 bytes and collects
// bytes until `expected` arrived, the device closed the connection, or `timeoutMs` passed.
SimExchange simExchange(const QString &address, const QByteArray &command, int expected = 60,
                        int timeoutMs = 2000);
// The command code padded with NULs to 60 bytes (longer input is left as it is).
QByteArray simFrame(const QByteArray &code);
