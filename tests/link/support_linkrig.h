#pragma once

#include <link/DeviceCommands.h>
#include <link/DeviceLink.h>

#include <SimDevice.h>
#include <support/QuickTimings.h>
#include <support/TestState.h>

#include <QStringList>
#include <QTimer>

Q_DECLARE_METATYPE(SimFault)

// Counts the ticks of a 10 ms timer: proof that events kept running during a wait.
struct Heartbeat {
    Heartbeat();
    QTimer timer;
    int ticks = 0;
};

// Every line the status list has shown, in order.
struct StatusHistory {
    explicit StatusHistory(StatusList &list);
    QStringList seen;
};

// A program state, one simulated device listening on address:10001 and the link.
struct Rig {
    static constexpr int Port = 10001;

    Rig(const QString &address, int family = 5, int model = 8, int firmware = 23);

    // One transaction with the framed code.
    bool transact(const QByteArray &code, QByteArray &reply, int expected = 60, const QString &caller = {});

    QString address;
    TestState t;
    SimDevice device;
    DeviceLink link;
    bool started;
};
