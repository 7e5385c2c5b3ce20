// Requested faults, exact reply overrides and the record of traffic.
#include "SimDevice.h"

void SimDevice::setFault(SimFault fault, int count)
{
    m_fault = count == 0 ? SimFault::None : fault;
    m_faultRemaining = (m_fault == SimFault::None || count < 0) ? -1 : count;
    applyListening();
}

SimFault SimDevice::takeFault()
{
    const SimFault fault = m_fault;
    if (fault == SimFault::None || fault == SimFault::Refused)
        return fault == SimFault::Refused ? SimFault::None : fault;
    if (m_faultRemaining > 0 && --m_faultRemaining == 0) {
        m_fault = SimFault::None;
        m_faultRemaining = -1;
    }
    return fault;
}

void SimDevice::setReplyOverride(const QByteArray &code, const QByteArray &reply, int count)
{
    if (count == 0)
        m_overrides.remove(code);
    else
        m_overrides.insert(code, Override{reply, count});
}

bool SimDevice::takeOverride(const QByteArray &command, QByteArray *reply)
{
    QByteArray best;
    for (auto it = m_overrides.cbegin(); it != m_overrides.cend(); ++it) {
        if (command.startsWith(it.key()) && it.key().size() > best.size())
            best = it.key();
    }
    if (best.isEmpty())
        return false;
    Override &entry = m_overrides[best];
    *reply = entry.reply;
    if (entry.remaining > 0 && --entry.remaining == 0)
        m_overrides.remove(best);
    return true;
}

void SimDevice::clearTraffic()
{
    m_commands.clear();
    m_connectionCount = 0;
}

QString SimDevice::faultName(SimFault fault)
{
    switch (fault) {
    case SimFault::None:
        return QStringLiteral("none");
    case SimFault::Busy:
        return QStringLiteral("busy");
    case SimFault::Silent:
        return QStringLiteral("silent");
    case SimFault::Refused:
        return QStringLiteral("refused");
    case SimFault::Slow:
        return QStringLiteral("slow");
    case SimFault::Dribble:
        return QStringLiteral("dribble");
    case SimFault::ShortReply:
        return QStringLiteral("short");
    case SimFault::OverlongReply:
        return QStringLiteral("overlong");
    case SimFault::Garbage:
        return QStringLiteral("garbage");
    case SimFault::ErrorText:
        return QStringLiteral("error");
    case SimFault::WrongEcho:
        return QStringLiteral("wrong-echo");
    case SimFault::ResetMidReply:
        return QStringLiteral("reset");
    }
    return QString();
}

bool SimDevice::faultFromName(const QString &name, SimFault *fault)
{
    static const SimFault all[] = {SimFault::None,       SimFault::Busy,          SimFault::Silent,
                                   SimFault::Refused,    SimFault::Slow,          SimFault::Dribble,
                                   SimFault::ShortReply, SimFault::OverlongReply, SimFault::Garbage,
                                   SimFault::ErrorText,  SimFault::WrongEcho,     SimFault::ResetMidReply};
    const QString wanted = name.trimmed().toLower();
    for (SimFault candidate : all) {
        if (faultName(candidate) == wanted) {
            *fault = candidate;
            return true;
        }
    }
    return false;
}
