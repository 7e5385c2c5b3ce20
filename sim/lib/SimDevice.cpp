#include "SimDevice.h"

#include "SimBytes.h"
#include "SimModel.h"

#include <QTimer>

#include <cmath>

namespace {

bool isStateKind(SimSensorKind kind)
{
    return kind == SimSensorKind::Door || kind == SimSensorKind::Water || kind == SimSensorKind::Power ||
           kind == SimSensorKind::DryContact;
}

} // namespace

SimDevice::SimDevice(int family, int model, int firmware, QObject *parent)
    : QObject(parent), m_family(family), m_model(model), m_firmware(firmware),
      m_now(QDateTime::currentDateTime())
{
    m_now.setTime(QTime(m_now.time().hour(), m_now.time().minute(), m_now.time().second()));
    for (QByteArray &page : m_pages)
        page = QByteArray(PageSize, '\0');
    m_timer = new QTimer(this);
    m_timer->setInterval(1000);
    connect(m_timer, &QTimer::timeout, this, &SimDevice::onTimer);
    applyModel();
    restoreFactoryDefaults();
    m_nextLog = qint64(m_updateRate) * 60;
}

SimDevice::~SimDevice()
{
    stop();
}

void SimDevice::applyModel()
{
    m_profile = &simModelFor(m_family, m_model);
    const bool wexa16 = m_profile->kind == SimModel::Kind::Wexa16;
    const bool wexaTenths = m_family == 3 && m_model < 6 && m_firmware >= 5;
    const bool rxTenths = m_family == 5 && m_firmware >= 23 && m_profile->kind == SimModel::Kind::RX705;
    m_resolutionByte = (wexa16 || wexaTenths || rxTenths) ? 10 : 0;
}

void SimDevice::setIdentity(quint16 family, quint16 model, quint16 firmware)
{
    m_family = family;
    m_model = model;
    m_firmware = firmware;
    applyModel();
    judgeAll();
}

QString SimDevice::modelText() const
{
    return simModelText(m_family, m_model);
}

// ---- Ports ----

SimSensorKind SimDevice::portKind(int port) const
{
    return validPort(port) ? m_profile->ports[port].kind : SimSensorKind::None;
}

QString SimDevice::portCaption(int port) const
{
    return validPort(port) ? QString::fromLatin1(m_profile->ports[port].caption) : QString();
}

bool SimDevice::portInTenths(int port) const
{
    if (m_resolutionByte != 10 || !validPort(port))
        return false;
    if (m_family == 3 && m_model >= 6)
        return port <= 3;
    if (m_family == 3 && m_firmware >= 5)
        return port <= 1;
    if (m_family == 5 && m_firmware >= 23)
        return port <= 7;
    return false;
}

// The Wexa 16 keeps its analog limits in tenths whatever it reports; the others keep them in the
// units of their readings.
bool SimDevice::limitsInTenths(int port) const
{
    if (m_profile->kind == SimModel::Kind::Wexa16)
        return port <= 3;
    return portInTenths(port);
}

void SimDevice::setSensor(int port, const SimSensor &sensor)
{
    if (!validPort(port))
        return;
    PortState &state = m_ports[port];
    state.sensor = sensor;
    state.hasSensor = true;
    state.frozen = false;
    updatePort(port);
    judgePort(port);
}

SimSensor SimDevice::sensor(int port) const
{
    return validPort(port) ? m_ports[port].sensor : SimSensor();
}

void SimDevice::setRawReading(int port, qint16 raw)
{
    if (!validPort(port))
        return;
    m_ports[port].raw = raw;
    m_ports[port].frozen = true;
}

void SimDevice::setReading(int port, double value)
{
    if (!validPort(port))
        return;
    m_ports[port].value = value;
    setRawReading(port, encodeReading(port, value));
}

void SimDevice::setMinutes(int port, quint16 minutes)
{
    if (!validPort(port))
        return;
    m_ports[port].minutes = minutes;
    m_ports[port].frozen = true;
}

void SimDevice::setAlarmByte(int port, quint8 alarm)
{
    if (!validPort(port))
        return;
    m_ports[port].alarm = alarm;
    m_ports[port].frozen = true;
}

void SimDevice::setPortFrozen(int port, bool frozen)
{
    if (!validPort(port))
        return;
    m_ports[port].frozen = frozen;
    if (!frozen) {
        updatePort(port);
        judgePort(port);
    }
}

void SimDevice::setFrozen(bool frozen)
{
    for (int port = 0; port < PortCount; ++port)
        setPortFrozen(port, frozen);
}

bool SimDevice::isPortFrozen(int port) const
{
    return validPort(port) && m_ports[port].frozen;
}

qint16 SimDevice::rawReading(int port) const
{
    return validPort(port) ? m_ports[port].raw : 0;
}

double SimDevice::reading(int port) const
{
    if (!validPort(port))
        return 0;
    return portInTenths(port) ? m_ports[port].raw / 10.0 : double(m_ports[port].raw);
}

quint16 SimDevice::minutes(int port) const
{
    return validPort(port) ? m_ports[port].minutes : 0;
}

quint8 SimDevice::alarmByte(int port) const
{
    return validPort(port) ? m_ports[port].alarm : 0;
}

void SimDevice::setResolutionByte(quint8 value)
{
    m_resolutionByte = value;
    for (int port = 0; port < PortCount; ++port)
        updatePort(port);
    judgeAll();
}

QByteArray SimDevice::readingsReply() const
{
    QByteArray reply(CommandSize, '\0');
    reply[0] = char(0x3F);
    reply[1] = char(0xCD);
    reply[2] = char(0xDC);
    reply[3] = char(0x00);
    for (int port = 0; port < PortCount; ++port) {
        const int at = 4 + 5 * port;
        const PortState &state = m_ports[port];
        const quint16 raw = quint16(state.raw);
        reply[at] = char(raw >> 8);
        reply[at + 1] = char(raw & 0xFF);
        reply[at + 2] = char(state.minutes >> 8);
        reply[at + 3] = char(state.minutes & 0xFF);
        reply[at + 4] = char(state.alarm);
    }
    reply[57] = char(m_batteryByte);
    reply[58] = char(m_resolutionByte);
    reply[59] = temperatureUnit();
    return reply;
}

bool SimDevice::portEnabled(int port) const
{
    const SimPortLayout &layout = m_profile->ports[port];
    if (layout.kind == SimSensorKind::None)
        return false;
    return layout.namePage == 0 || !sensorName(port).isEmpty();
}

double SimDevice::defaultValue(int port) const
{
    switch (portKind(port)) {
    case SimSensorKind::Door:
    case SimSensorKind::Power:
        return 1;
    case SimSensorKind::Water:
    case SimSensorKind::DryContact:
    case SimSensorKind::None:
        return 0;
    default:
        return 1000; // not connected
    }
}

qint16 SimDevice::encodeReading(int port, double value) const
{
    if (isStateKind(portKind(port)))
        return simClampWord(value);
    return simClampWord(portInTenths(port) ? value * 10 : value);
}

bool SimDevice::outOfLimits(int port) const
{
    const SimPortLayout &layout = m_profile->ports[port];
    const qint16 raw = m_ports[port].raw;
    switch (layout.kind) {
    case SimSensorKind::Door:
        return raw == 0;
    case SimSensorKind::Water:
    case SimSensorKind::DryContact:
        return raw == 1;
    case SimSensorKind::Power: {
        const bool normallyOn = layout.normalStatePos == 0 || pageWord(0, layout.normalStatePos) == 0;
        return normallyOn ? raw != 1 : raw == 1;
    }
    case SimSensorKind::None:
        return false;
    default:
        break;
    }
    const double value = reading(port);
    if (value == 1000 || value == 9999)
        return false; // nothing connected: nothing to judge
    if (value == 999 || value == -999)
        return true;
    double lower = 0;
    double upper = 0;
    if (!limits(port, &lower, &upper))
        return false;
    return value < lower || value > upper;
}

#include "moc_SimDevice.cpp"
