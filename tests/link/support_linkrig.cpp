#include "support_linkrig.h"

Heartbeat::Heartbeat()
{
    QObject::connect(&timer, &QTimer::timeout, [this] { ++ticks; });
    timer.start(10);
}

StatusHistory::StatusHistory(StatusList &list)
{
    const auto record = [this, &list] { seen.append(list.lines()); };
    QObject::connect(&list, &QAbstractItemModel::rowsInserted, record);
    QObject::connect(&list, &QAbstractItemModel::dataChanged, record);
}

Rig::Rig(const QString &address, int family, int model, int firmware)
    : address(address), device(family, model, firmware), link(t.state, quickTimings()),
      started(device.start(address, Port))
{
    t.state.Config.TCPTimeOut = 2;
}

bool Rig::transact(const QByteArray &code, QByteArray &reply, int expected, const QString &caller)
{
    return link.ReadFromQM(address, Port, BuildCommand(code), reply, expected, caller);
}
