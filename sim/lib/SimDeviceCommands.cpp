// The device's answers to the commands it knows.
#include "SimClockImage.h"
#include "SimDevice.h"

namespace {

bool hasCode(const QByteArray &command, std::initializer_list<int> code)
{
    int i = 0;
    for (int byte : code) {
        if (quint8(command[i++]) != byte)
            return false;
    }
    return true;
}

QByteArray padded(QByteArray bytes)
{
    if (bytes.size() < SimDevice::CommandSize)
        bytes.append(QByteArray(SimDevice::CommandSize - bytes.size(), '\0'));
    return bytes;
}

} // namespace

QByteArray SimDevice::execute(const QByteArray &command)
{
    const QByteArray frame = padded(command.left(CommandSize));
    if (hasCode(frame, {0x2A, 0xCD, 0xDC, 0xBA}))
        return identifyReply(frame);
    if (hasCode(frame, {0x3F, 0xCD, 0xDC, 0x00}))
        return readingsReply();
    if (hasCode(frame, {0xAA, 0xBB, 0xCC}))
        return readPageReply(frame);
    if (hasCode(frame, {0xDD, 0xCC, 0xBB}))
        return storePageReply(frame);
    if (hasCode(frame, {0xDE, 0xAD, 0xDE, 0xAD}))
        return factoryDefaultsReply(frame);
    if (hasCode(frame, {0xDE, 0xCA, 0xDE, 0x00}))
        return storeClockReply(frame);
    if (hasCode(frame, {0xDE, 0xCA, 0xDE, 0x02}))
        return readClockReply(frame);
    if (hasCode(frame, {0xDE, 0xCA, 0xDE, 0x04}))
        return logReply(frame);
    return errorReply(frame);
}

QByteArray SimDevice::identifyReply(const QByteArray &command) const
{
    QByteArray reply = command.left(4);
    for (int value : {m_family, m_model, m_firmware}) {
        reply.append(char((value >> 8) & 0xFF));
        reply.append(char(value & 0xFF));
    }
    return padded(reply);
}

QByteArray SimDevice::readPageReply(const QByteArray &command) const
{
    const int n = quint8(command[3]);
    if (n >= PageCount)
        return errorReply(command);
    return page(n);
}

// A store keeps bytes 5 to 60 and echoes the request unchanged.
QByteArray SimDevice::storePageReply(const QByteArray &command)
{
    const int n = quint8(command[3]);
    if (n >= PageCount)
        return errorReply(command);
    setPage(n, command);
    return command;
}

QByteArray SimDevice::factoryDefaultsReply(const QByteArray &command)
{
    restoreFactoryDefaults();
    return command;
}

// Clock image in bytes 5 to 11, the update rate in 12 and the number of stored log records
// (unsigned 16-bit) in 13 and 14.
QByteArray SimDevice::clockImageReply(const QByteArray &command) const
{
    QByteArray reply = command.left(4);
    reply.append(simEncodeClockImage(m_now));
    reply.append(char(qBound(0, m_updateRate, 255)));
    const quint16 count = quint16(qMin(logRecordCount(), MaxLogRecords));
    reply.append(char(count >> 8));
    reply.append(char(count & 0xFF));
    return padded(reply);
}

QByteArray SimDevice::readClockReply(const QByteArray &command) const
{
    return clockImageReply(command);
}

// Takes the clock from bytes 5 to 11 when it is a valid 12-hour image and the update rate from
// byte 12 when it is not 0; answers with the clock as now kept.
QByteArray SimDevice::storeClockReply(const QByteArray &command)
{
    QDateTime time;
    if (simDecodeClockImage(command, 4, &time))
        setClock(time);
    const int rate = quint8(command[11]);
    if (rate > 0)
        setUpdateRateMinutes(rate);
    return clockImageReply(command);
}

// The stored records, oldest first, no header. Byte 5 = 1 empties the log after sending. The
// device closes the connection once the records are sent.
QByteArray SimDevice::logReply(const QByteArray &command)
{
    const QByteArray records = m_log;
    if (quint8(command[4]) == 1)
        m_log.clear();
    return records;
}

// A command the device does not know: its code followed by "ERROR".
QByteArray SimDevice::errorReply(const QByteArray &command)
{
    return padded(command.left(4) + QByteArrayLiteral("ERROR"));
}
