#pragma once

#include <config/UserPages.h>
#include <link/DeviceLink.h>

#include <SimDevice.h>
#include <support/QuickTimings.h>
#include <support/TestState.h>

// A program state, one simulated device listening on address:10001, the link and the page
// transfer over it. Reply waits are 500 ms.
struct DeviceRig {
    DeviceRig(const QString &address, int family = 5, int model = 5, int firmware = 23);

    QString address;
    TestState t;
    SimDevice device;
    DeviceLink link;
    UserPages pages;
    bool started;
};

// A reply of 60 bytes starting with the busy code.
QByteArray busyReply();
