#include "SimDevice.h"

#include "SimModel.h"

#include <QTimer>

#include <cmath>

namespace {

constexpr int NameWidth = 20;
constexpr int AddressWidth = 20;

// A text field without its padding (blanks, or NULs in a page never written).
QByteArray trimField(const QByteArray &field)
{
    QByteArray text = field;
    text.replace('\0', ' ');
    return text.trimmed();
}

bool isStateKind(SimSensorKind kind)
{
    return kind == SimSensorKind::Door || kind == SimSensorKind::Water || kind == SimSensorKind::Power ||
           kind == SimSensorKind::DryContact;
}

qint16 clampWord(double value)
{
    const double rounded = std::nearbyint(value);
    if (rounded > 32767)
        return 32767;
    if (rounded < -32768)
        return -32768;
    return qint16(rounded);
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

// ---- Settings in the pages ----

int SimDevice::configPage() const
{
    return m_family == 3 ? 1 : 2;
}

QByteArray SimDevice::deviceName() const
{
    return trimField(pageText(configPage(), 9, NameWidth));
}

void SimDevice::setDeviceName(const QByteArray &name)
{
    setPageText(configPage(), 9, NameWidth, name.trimmed());
}

char SimDevice::temperatureUnit() const
{
    return pageByte(configPage(), 29) == 'C' ? 'C' : 'F';
}

void SimDevice::setTemperatureUnit(char unit)
{
    setPageByte(configPage(), 29, quint8(unit == 'C' ? 'C' : 'F'));
    for (int port = 0; port < PortCount; ++port)
        updatePort(port);
    judgeAll();
}

QByteArray SimDevice::sensorName(int port) const
{
    if (!validPort(port) || m_profile->ports[port].namePage == 0)
        return QByteArray();
    const SimPortLayout &layout = m_profile->ports[port];
    return trimField(pageText(layout.namePage, layout.namePos, NameWidth));
}

void SimDevice::setSensorName(int port, const QByteArray &name)
{
    if (!validPort(port) || m_profile->ports[port].namePage == 0)
        return;
    const SimPortLayout &layout = m_profile->ports[port];
    setPageText(layout.namePage, layout.namePos, NameWidth, name.trimmed());
    judgePort(port);
}

bool SimDevice::setLimits(int port, double lower, double upper)
{
    if (!validPort(port) || m_profile->ports[port].lowerPos == 0)
        return false;
    const SimPortLayout &layout = m_profile->ports[port];
    const double scale = limitsInTenths(port) ? 10 : 1;
    setPageWord(layout.limitPage, layout.lowerPos, clampWord(lower * scale));
    setPageWord(layout.limitPage, layout.lowerPos + 2, clampWord(upper * scale));
    judgePort(port);
    return true;
}

bool SimDevice::limits(int port, double *lower, double *upper) const
{
    if (!validPort(port) || m_profile->ports[port].lowerPos == 0)
        return false;
    const SimPortLayout &layout = m_profile->ports[port];
    const double scale = limitsInTenths(port) ? 10 : 1;
    *lower = pageWord(layout.limitPage, layout.lowerPos) / scale;
    *upper = pageWord(layout.limitPage, layout.lowerPos + 2) / scale;
    return true;
}

bool SimDevice::setTimeOutOfLimits(int port, int minutes)
{
    if (!validPort(port) || m_profile->ports[port].timePos == 0)
        return false;
    const SimPortLayout &layout = m_profile->ports[port];
    setPageWord(layout.timePage, layout.timePos, clampWord(minutes));
    judgePort(port);
    return true;
}

int SimDevice::timeOutOfLimits(int port) const
{
    if (!validPort(port) || m_profile->ports[port].timePos == 0)
        return 0;
    const SimPortLayout &layout = m_profile->ports[port];
    return pageWord(layout.timePage, layout.timePos);
}

bool SimDevice::setPowerNormalState(int port, int state)
{
    if (!validPort(port) || m_profile->ports[port].normalStatePos == 0)
        return false;
    setPageWord(0, m_profile->ports[port].normalStatePos, qint16(state));
    judgePort(port);
    return true;
}

bool SimDevice::setCorrection(int port, double degrees)
{
    if (!validPort(port) || m_profile->ports[port].correctionPos == 0)
        return false;
    const SimPortLayout &layout = m_profile->ports[port];
    setPageWord(layout.correctionPage, layout.correctionPos, clampWord(degrees * 10));
    updatePort(port);
    judgePort(port);
    return true;
}

// ---- Pages ----

QByteArray SimDevice::page(int n) const
{
    if (n < 0 || n >= PageCount)
        return QByteArray();
    QByteArray image = m_pages[n];
    image[0] = char(0xAA);
    image[1] = char(0xBB);
    image[2] = char(0xCC);
    image[3] = char(n);
    return image;
}

void SimDevice::setPage(int n, const QByteArray &image)
{
    if (n < 0 || n >= PageCount)
        return;
    QByteArray kept = image.left(PageSize);
    kept.append(QByteArray(PageSize - kept.size(), '\0'));
    m_pages[n].replace(4, PageSize - 4, kept.mid(4));
    for (int port = 0; port < PortCount; ++port)
        updatePort(port);
    judgeAll();
}

quint8 SimDevice::pageByte(int page, int position) const
{
    return quint8(m_pages[page][position - 1]);
}

void SimDevice::setPageByte(int page, int position, quint8 value)
{
    m_pages[page][position - 1] = char(value);
}

qint16 SimDevice::pageWord(int page, int position) const
{
    return qint16(quint16(pageByte(page, position) << 8 | pageByte(page, position + 1)));
}

void SimDevice::setPageWord(int page, int position, qint16 value)
{
    const quint16 word = quint16(value);
    setPageByte(page, position, quint8(word >> 8));
    setPageByte(page, position + 1, quint8(word & 0xFF));
}

QByteArray SimDevice::pageText(int page, int position, int width) const
{
    return m_pages[page].mid(position - 1, width);
}

void SimDevice::setPageText(int page, int position, int width, const QByteArray &text)
{
    QByteArray field = text.left(width);
    field.append(QByteArray(width - field.size(), ' '));
    m_pages[page].replace(position - 1, width, field);
}

void SimDevice::restoreFactoryDefaults()
{
    const int config = configPage();
    const QByteArray address = pageText(config, 30, AddressWidth);
    for (QByteArray &page : m_pages)
        page.fill('\0');

    setPageText(config, 9, NameWidth, QByteArray(m_profile->label));
    setPageByte(config, 29, 'F');
    setPageText(config, 30, AddressWidth, trimField(address));

    for (int port = 0; port < PortCount; ++port) {
        const SimPortLayout &layout = m_profile->ports[port];
        if (layout.namePage != 0)
            setPageText(layout.namePage, layout.namePos, NameWidth, QByteArray());
        if (layout.lowerPos != 0) {
            const bool humidity = layout.kind == SimSensorKind::Humidity;
            const bool analog = layout.kind == SimSensorKind::Analog;
            const double lower = humidity ? 20 : analog ? 0 : 35;
            const double upper = humidity ? 80 : analog ? 100 : 85;
            const double scale = limitsInTenths(port) ? 10 : 1;
            setPageWord(layout.limitPage, layout.lowerPos, clampWord(lower * scale));
            setPageWord(layout.limitPage, layout.lowerPos + 2, clampWord(upper * scale));
        }
        if (layout.timePos != 0) {
            const bool delayed = layout.kind == SimSensorKind::Door || layout.lowerPos != 0;
            setPageWord(layout.timePage, layout.timePos, delayed ? 5 : 0);
        }
    }

    if (m_profile->kind == SimModel::Kind::RX705) {
        setPageByte(0, 57, 0);   // relay on at alarm
        setPageByte(0, 58, 1);   // buzzer enabled
        setPageByte(12, 25, 10); // reading filter
        setPageByte(12, 26, 3);
    }
    if (m_profile->alarmOptionsPage4) {
        setPageByte(4, 9, 0);
        setPageByte(4, 10, 0);
        setPageByte(4, 11, 1);
        setPageByte(4, 12, 0);
    }
    if (m_profile->phonePages) {
        static const int numberFields[][2] = {{8, 9},   {8, 29},  {9, 9},  {9, 29}, {10, 9},
                                              {10, 37}, {12, 27}, {13, 9}, {13, 29}};
        for (const auto &field : numberFields)
            setPageByte(field[0], field[1], 0x1C); // an empty number
        setPageWord(8, 49, 1);                     // rings to answer
        setPageWord(8, 51, 5);                     // power outage delay
        setPageWord(8, 55, 3);                     // unit call-out delay
        setPageWord(11, 41, 0);                    // repeat warning message
        setPageWord(11, 43, 0);                    // reminder call-outs off
        setPageWord(11, 45, 60);                   // reminder call-out delay
    }
    for (int port = 0; port < PortCount; ++port)
        updatePort(port);
    judgeAll();
}

// ---- Faults and traffic ----

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
        return clampWord(value);
    return clampWord(portInTenths(port) ? value * 10 : value);
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
