// The device's user pages and the settings kept in them.
#include "SimBytes.h"
#include "SimDevice.h"
#include "SimModel.h"

namespace {

constexpr int NameWidth = 20;
constexpr int AddressWidth = 20;

} // namespace

int SimDevice::configPage() const
{
    return m_family == 3 ? 1 : 2;
}

QByteArray SimDevice::deviceName() const
{
    return simTrimField(pageText(configPage(), 9, NameWidth));
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
    return simTrimField(pageText(layout.namePage, layout.namePos, NameWidth));
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
    setPageWord(layout.limitPage, layout.lowerPos, simClampWord(lower * scale));
    setPageWord(layout.limitPage, layout.lowerPos + 2, simClampWord(upper * scale));
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
    setPageWord(layout.timePage, layout.timePos, simClampWord(minutes));
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
    setPageWord(layout.correctionPage, layout.correctionPos, simClampWord(degrees * 10));
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
    setPageText(config, 30, AddressWidth, simTrimField(address));

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
            setPageWord(layout.limitPage, layout.lowerPos, simClampWord(lower * scale));
            setPageWord(layout.limitPage, layout.lowerPos + 2, simClampWord(upper * scale));
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
