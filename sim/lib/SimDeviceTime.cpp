// Simulated time: sensor values, minutes out of limits, alarm bytes and the growing log.
#include "SimClockImage.h"
#include "SimDevice.h"
#include "SimModel.h"

#include <QTimer>

#include <cmath>
#include <numbers>

namespace {

double toUnit(double value, char from, char to)
{
    if (from == to)
        return value;
    return to == 'C' ? (value - 32) * 5 / 9 : value * 9 / 5 + 32;
}

} // namespace

void SimDevice::setTimeScale(double simSecondsPerSecond)
{
    m_timeScale = simSecondsPerSecond > 0 ? simSecondsPerSecond : 0;
    m_carry = 0;
    if (m_timeScale > 0)
        m_timer->start();
    else
        m_timer->stop();
}

void SimDevice::onTimer()
{
    m_carry += m_timeScale;
    const double whole = std::floor(m_carry);
    m_carry -= whole;
    advance(int(whole));
}

void SimDevice::advance(int seconds)
{
    while (seconds > 0) {
        qint64 chunk = qMin(seconds, 10);
        if (hasLog() && m_nextLog > m_elapsed)
            chunk = qMin(chunk, m_nextLog - m_elapsed);
        step(int(chunk));
        seconds -= int(chunk);
    }
}

void SimDevice::step(int seconds)
{
    m_elapsed += seconds;
    m_now = m_now.addSecs(seconds);
    for (int port = 0; port < PortCount; ++port) {
        updatePort(port);
        judgePort(port);
    }
    if (hasLog() && m_elapsed >= m_nextLog) {
        appendLogRecord();
        m_nextLog = m_elapsed + qint64(m_updateRate) * 60;
    }
}

double SimDevice::sensorValue(int port)
{
    const PortState &state = m_ports[port];
    if (!state.hasSensor)
        return defaultValue(port);
    const SimSensor &sensor = state.sensor;
    const SimSensorKind kind = portKind(port);
    if (!sensor.connected && kind != SimSensorKind::None)
        return 1000;
    double value = sensor.base;
    if (sensor.drift != 0 && sensor.periodMinutes > 0) {
        const double minutes = m_elapsed / 60.0 + sensor.phaseMinutes;
        value += sensor.drift * std::sin(2 * std::numbers::pi * minutes / sensor.periodMinutes);
    }
    if (sensor.noise > 0)
        value += sensor.noise * (2 * m_random.generateDouble() - 1);
    switch (kind) {
    case SimSensorKind::Door:
    case SimSensorKind::Water:
    case SimSensorKind::Power:
    case SimSensorKind::DryContact:
        return value >= 0.5 ? 1 : 0;
    case SimSensorKind::Temperature: {
        value = toUnit(value, sensor.unit == 'C' ? 'C' : 'F', temperatureUnit());
        const SimPortLayout &layout = m_profile->ports[port];
        if (layout.correctionPos != 0)
            value += pageWord(layout.correctionPage, layout.correctionPos) / 10.0;
        return value;
    }
    default:
        return value;
    }
}

void SimDevice::updatePort(int port)
{
    PortState &state = m_ports[port];
    if (state.frozen)
        return;
    if (portKind(port) == SimSensorKind::None) {
        state.value = 0;
        state.raw = 0;
        return;
    }
    state.value = sensorValue(port);
    state.raw = encodeReading(port, state.value);
}

// Minutes out of limits count while the port stays outside its limits; the alarm byte is set
// once they reach the port's time out of limits. A disabled port reports neither.
void SimDevice::judgePort(int port)
{
    PortState &state = m_ports[port];
    if (state.frozen)
        return;
    const quint8 before = state.alarm;
    if (!portEnabled(port) || !outOfLimits(port)) {
        state.outSince = -1;
        state.minutes = 0;
        state.alarm = 0;
    } else {
        if (state.outSince < 0)
            state.outSince = m_elapsed;
        state.minutes = quint16(qMin<qint64>(65535, (m_elapsed - state.outSince) / 60));
        state.alarm = state.minutes >= qMax(0, timeOutOfLimits(port)) ? 1 : 0;
    }
    if ((before > 0) != (state.alarm > 0))
        emit alarmChanged(port, state.alarm > 0);
}

void SimDevice::judgeAll()
{
    for (int port = 0; port < PortCount; ++port)
        judgePort(port);
}

void SimDevice::setClock(const QDateTime &time)
{
    m_now = time;
}

void SimDevice::setUpdateRateMinutes(int minutes)
{
    if (minutes < 1 || minutes > 255)
        return;
    m_updateRate = minutes;
    m_nextLog = m_elapsed + qint64(minutes) * 60;
}

bool SimDevice::hasLog() const
{
    return logRecordSize() > 0;
}

int SimDevice::logRecordSize() const
{
    if (m_family == 3)
        return m_model < 6 ? 11 : 15;
    if (m_family == 5 && m_firmware > 22)
        return 23;
    return 0;
}

int SimDevice::logRecordCount() const
{
    const int size = logRecordSize();
    return size > 0 ? int(m_log.size() / size) : 0;
}

// Log values are in tenths for family 5, and for family 3 from firmware 5 on.
qint16 SimDevice::logValue(int port) const
{
    if (portKind(port) == SimSensorKind::None)
        return 0;
    const bool tenths = m_family == 5 || (m_family == 3 && m_firmware > 4);
    const double value = reading(port);
    const double scaled = tenths ? value * 10 : value;
    return qint16(qBound(-32768.0, std::nearbyint(scaled), 32767.0));
}

void SimDevice::appendLogRecord()
{
    const int size = logRecordSize();
    if (size == 0)
        return;
    QByteArray record = simEncodeClockImage(m_now).mid(1, 6); // no seconds
    QList<int> valuePorts;
    QList<int> doorPorts;
    for (int port = 0; port < PortCount; ++port) {
        const SimSensorKind kind = portKind(port);
        if (kind == SimSensorKind::Door)
            doorPorts.append(port);
        else if (kind != SimSensorKind::None && !(m_family == 5 && port > 7))
            valuePorts.append(port);
    }
    const int valueCount = (size - 7) / 2;
    for (int i = 0; i < valueCount; ++i) {
        const quint16 word = i < valuePorts.size() ? quint16(logValue(valuePorts[i])) : 0;
        record.append(char(word >> 8));
        record.append(char(word & 0xFF));
    }
    quint8 flags = 4; // mains power on
    for (int i = 0; i < doorPorts.size() && i < 2; ++i) {
        if (m_ports[doorPorts[i]].raw == 1)
            flags |= quint8(1 << i);
    }
    record.append(char(flags));
    m_log.append(record);
    const qsizetype maxBytes = qsizetype(MaxLogRecords) * size;
    if (m_log.size() > maxBytes)
        m_log.remove(0, m_log.size() - maxBytes); // the oldest records give way
}

void SimDevice::setLog(const QByteArray &records)
{
    const int size = logRecordSize();
    m_log = size > 0 ? records.right(qsizetype(MaxLogRecords) * size) : QByteArray();
}
