#include "support_devicerig.h"

#include <link/DeviceCommands.h>

DeviceRig::DeviceRig(const QString &address, int family, int model, int firmware)
    : address(address), device(family, model, firmware), link(t.state, quickTimings()), pages(t.state, link),
      started(device.start(address))
{
    t.state.Config.TCPTimeOut = 2;
}

QByteArray busyReply()
{
    return BuildCommand(DeviceCommands().BusyReply);
}
