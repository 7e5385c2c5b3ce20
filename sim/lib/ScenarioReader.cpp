#include "ScenarioReader.h"

#include <QJsonArray>

#include <cmath>

namespace {

// Reads an optional number; false when present but not a number within [low, high].
bool optionalNumber(const QJsonObject &object, const char *key, double low, double high, double *value)
{
    const QJsonValue v = object.value(QLatin1String(key));
    if (v.isUndefined())
        return true;
    if (!v.isDouble() || v.toDouble() < low || v.toDouble() > high)
        return false;
    *value = v.toDouble();
    return true;
}

bool wholeNumber(double value)
{
    return std::floor(value) == value;
}

QString keyText(const char *key)
{
    return QStringLiteral("\"%1\"").arg(QLatin1String(key));
}

QString timeText(qint64 seconds)
{
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

bool ScenarioReader::fail(const QString &where, const QString &what)
{
    m_error = where.isEmpty() ? what : where + QStringLiteral(": ") + what;
    return false;
}

bool ScenarioReader::kindFromName(const QString &name, SimSensorKind *kind)
{
    QString key = name.trimmed().toLower();
    key.remove(QLatin1Char(' ')).remove(QLatin1Char('-')).remove(QLatin1Char('_'));
    static const std::pair<const char *, SimSensorKind> names[] = {
        {"temperature", SimSensorKind::Temperature},
        {"humidity", SimSensorKind::Humidity},
        {"door", SimSensorKind::Door},
        {"water", SimSensorKind::Water},
        {"power", SimSensorKind::Power},
        {"drycontact", SimSensorKind::DryContact},
        {"analog", SimSensorKind::Analog}};
    for (const auto &[text, value] : names) {
        if (key == QLatin1String(text)) {
            *kind = value;
            return true;
        }
    }
    return false;
}

QString ScenarioReader::kindName(SimSensorKind kind)
{
    switch (kind) {
    case SimSensorKind::Temperature:
        return QStringLiteral("temperature");
    case SimSensorKind::Humidity:
        return QStringLiteral("humidity");
    case SimSensorKind::Door:
        return QStringLiteral("door");
    case SimSensorKind::Water:
        return QStringLiteral("water");
    case SimSensorKind::Power:
        return QStringLiteral("power");
    case SimSensorKind::DryContact:
        return QStringLiteral("dry contact");
    case SimSensorKind::Analog:
        return QStringLiteral("analog");
    case SimSensorKind::None:
        break;
    }
    return QStringLiteral("none");
}

bool ScenarioReader::read(const QJsonObject &root, QString *error)
{
    double scale = 1;
    bool ok = optionalNumber(root, "timeScale", 0, 100000, &scale);
    if (ok) {
        m_simulator.m_timeScale = scale;
        const QJsonArray devices = root.value(QLatin1String("devices")).toArray();
        if (devices.isEmpty())
            ok = fail(QString(), QStringLiteral("\"devices\" must be a non-empty list"));
        for (int i = 0; ok && i < devices.size(); ++i) {
            const QString where = QStringLiteral("devices[%1]").arg(i);
            ok = devices[i].isObject() ? readDevice(devices[i].toObject(), where)
                                       : fail(where, QStringLiteral("not an object"));
        }
        const QJsonValue events = root.value(QLatin1String("events"));
        if (ok && !events.isUndefined() && !events.isArray())
            ok = fail(QString(), QStringLiteral("\"events\" must be a list"));
        const QJsonArray list = events.toArray();
        for (int i = 0; ok && i < list.size(); ++i) {
            const QString where = QStringLiteral("events[%1]").arg(i);
            ok = list[i].isObject() ? readEvent(list[i].toObject(), where)
                                    : fail(where, QStringLiteral("not an object"));
        }
    } else {
        fail(QString(), QStringLiteral("\"timeScale\" must be a number from 0 to 100000"));
    }
    if (!ok)
        *error = m_error;
    return ok;
}

bool ScenarioReader::readDevice(const QJsonObject &object, const QString &where)
{
    const QString name = object.value(QLatin1String("name")).toString().trimmed();
    if (name.isEmpty())
        return fail(where, QStringLiteral("\"name\" is required"));
    const QString at = QStringLiteral("%1 (%2)").arg(where, name);
    if (name.size() > 20)
        return fail(at, QStringLiteral("\"name\" has more than 20 characters"));
    if (m_simulator.device(name) != nullptr)
        return fail(at, QStringLiteral("another device has this name"));
    QHostAddress address;
    if (!address.setAddress(object.value(QLatin1String("address")).toString()))
        return fail(at, QStringLiteral("\"address\" must be an IP address such as 127.0.0.11"));
    double port = SimDevice::DefaultPort;
    if (!optionalNumber(object, "port", 1, 65535, &port) || !wholeNumber(port))
        return fail(at, QStringLiteral("\"port\" must be a whole number from 1 to 65535"));
    for (const auto &entry : m_simulator.m_entries) {
        if (entry.device->address() == address && entry.device->port() == port)
            return fail(at, QStringLiteral("%1 uses the same address and port").arg(entry.name));
    }
    double identity[3] = {-1, -1, -1};
    const char *keys[3] = {"family", "model", "firmware"};
    for (int i = 0; i < 3; ++i) {
        if (!object.contains(QLatin1String(keys[i])) ||
            !optionalNumber(object, keys[i], 0, 65535, &identity[i]) || !wholeNumber(identity[i]))
            return fail(at, keyText(keys[i]) + QStringLiteral(" must be a whole number from 0 to 65535"));
    }

    auto device = std::make_unique<SimDevice>(int(identity[0]), int(identity[1]), int(identity[2]));
    device->setAddress(address, quint16(port));
    device->setDeviceName(name.toLatin1());

    const QString unit = object.value(QLatin1String("unit")).toString(QStringLiteral("F"));
    if (unit != QLatin1String("F") && unit != QLatin1String("C"))
        return fail(at, QStringLiteral("\"unit\" must be \"F\" or \"C\""));
    device->setTemperatureUnit(unit == QLatin1String("C") ? 'C' : 'F');

    double rate = 5;
    if (!optionalNumber(object, "updateRate", 1, 255, &rate) || !wholeNumber(rate))
        return fail(at, QStringLiteral("\"updateRate\" must be a whole number of minutes from 1 to 255"));
    device->setUpdateRateMinutes(int(rate));
    double battery = device->batteryByte() / 10.0;
    if (!optionalNumber(object, "battery", 0, 25.5, &battery))
        return fail(at, QStringLiteral("\"battery\" must be a voltage from 0 to 25.5"));
    device->setBatteryByte(quint8(std::lround(battery * 10)));
    const QJsonValue clock = object.value(QLatin1String("clock"));
    if (!clock.isUndefined()) {
        const QDateTime time = QDateTime::fromString(clock.toString(), Qt::ISODate);
        if (!time.isValid())
            return fail(at, QStringLiteral("\"clock\" must be a date and time such as 2025-03-05T14:07:00"));
        device->setClock(time);
    }

    const QJsonArray sensors = object.value(QLatin1String("sensors")).toArray();
    QSet<int> ports;
    for (int i = 0; i < sensors.size(); ++i) {
        if (!readSensor(*device, sensors[i].toObject(), QStringLiteral("%1.sensors[%2]").arg(at).arg(i),
                        &ports))
            return false;
    }
    m_simulator.m_entries.push_back({name, std::move(device)});
    return true;
}

bool ScenarioReader::readSensor(SimDevice &device, const QJsonObject &object, const QString &where,
                                QSet<int> *ports)
{
    double portNumber = -1;
    if (!object.contains(QLatin1String("port")) ||
        !optionalNumber(object, "port", 0, SimDevice::PortCount - 1, &portNumber) || !wholeNumber(portNumber))
        return fail(where, QStringLiteral("\"port\" must be a whole number from 0 to 9"));
    const int port = int(portNumber);
    if (ports->contains(port))
        return fail(where, QStringLiteral("port %1 is described twice").arg(port));
    ports->insert(port);
    const SimSensorKind kind = device.portKind(port);
    if (kind == SimSensorKind::None)
        return fail(where, QStringLiteral("this model has no port %1").arg(port));
    SimSensorKind wanted;
    const QString type = object.value(QLatin1String("type")).toString();
    if (!kindFromName(type, &wanted))
        return fail(where, QStringLiteral("unknown \"type\" \"%1\"").arg(type));
    if (wanted != kind)
        return fail(where, QStringLiteral("port %1 of this model is a %2 input, not %3")
                               .arg(port)
                               .arg(kindName(kind), kindName(wanted)));

    const QString name = object.value(QLatin1String("name")).toString().trimmed();
    if (name.size() > 20)
        return fail(where, QStringLiteral("\"name\" has more than 20 characters"));
    device.setSensorName(port, name.toLatin1());

    SimSensor sensor;
    sensor.unit = device.temperatureUnit();
    const QString unit = object.value(QLatin1String("unit")).toString(QString(QLatin1Char(sensor.unit)));
    if (unit != QLatin1String("F") && unit != QLatin1String("C"))
        return fail(where, QStringLiteral("\"unit\" must be \"F\" or \"C\""));
    sensor.unit = unit == QLatin1String("C") ? 'C' : 'F';
    sensor.base = (kind == SimSensorKind::Door || kind == SimSensorKind::Power) ? 1 : 0;
    if (!optionalNumber(object, "base", -3000, 3000, &sensor.base) ||
        !optionalNumber(object, "drift", -3000, 3000, &sensor.drift) ||
        !optionalNumber(object, "period", 0.1, 100000, &sensor.periodMinutes) ||
        !optionalNumber(object, "noise", 0, 3000, &sensor.noise) ||
        !optionalNumber(object, "phase", -100000, 100000, &sensor.phaseMinutes))
        return fail(where, QStringLiteral("\"base\", \"drift\", \"period\", \"noise\" and \"phase\" must be "
                                          "numbers (period above 0, noise not negative)"));
    sensor.connected = object.value(QLatin1String("connected")).toBool(true);
    device.setSensor(port, sensor);

    const bool hasLower = object.contains(QLatin1String("lower"));
    if (hasLower != object.contains(QLatin1String("upper")))
        return fail(where, QStringLiteral("give both \"lower\" and \"upper\", or neither"));
    if (hasLower) {
        double lower = 0;
        double upper = 0;
        if (!optionalNumber(object, "lower", -3276, 3276, &lower) ||
            !optionalNumber(object, "upper", -3276, 3276, &upper) || lower > upper)
            return fail(where,
                        QStringLiteral("\"lower\" and \"upper\" must be numbers, lower not above upper"));
        if (!device.setLimits(port, lower, upper))
            return fail(where, QStringLiteral("this input keeps no limits"));
    }
    double time = 0;
    if (object.contains(QLatin1String("time"))) {
        if (!optionalNumber(object, "time", 0, 32767, &time) || !wholeNumber(time))
            return fail(where, QStringLiteral("\"time\" must be whole minutes from 0 to 32767"));
        device.setTimeOutOfLimits(port, int(time));
    }
    if (object.contains(QLatin1String("normal"))) {
        const QString normal = object.value(QLatin1String("normal")).toString().toLower();
        if ((normal != QLatin1String("on") && normal != QLatin1String("off")) ||
            !device.setPowerNormalState(port, normal == QLatin1String("off") ? 1 : 0))
            return fail(where, QStringLiteral("\"normal\" (\"on\" or \"off\") applies to power inputs only"));
    }
    if (object.contains(QLatin1String("correction"))) {
        double correction = 0;
        if (!optionalNumber(object, "correction", -3276, 3276, &correction) ||
            !device.setCorrection(port, correction))
            return fail(where, QStringLiteral("\"correction\" must be a number, on an input that keeps one"));
    }
    return true;
}

bool ScenarioReader::readEvent(const QJsonObject &object, const QString &where)
{
    const QString name = object.value(QLatin1String("device")).toString();
    SimDevice *device = m_simulator.device(name);
    if (device == nullptr)
        return fail(where, QStringLiteral("no device named \"%1\"").arg(name));
    double at = 0;
    double duration = 0;
    double every = 0;
    if (!object.contains(QLatin1String("at")) || !optionalNumber(object, "at", 0, 1e9, &at) ||
        !optionalNumber(object, "for", 0, 1e9, &duration) || !optionalNumber(object, "every", 0, 1e9, &every))
        return fail(where, QStringLiteral("\"at\" is required; \"at\", \"for\" and \"every\" are seconds"));
    if (every > 0 && duration >= every)
        return fail(where, QStringLiteral("\"for\" must be shorter than \"every\""));

    const bool isFault = object.contains(QLatin1String("fault"));
    if (isFault == object.contains(QLatin1String("port")))
        return fail(where, QStringLiteral("an event has either a \"fault\" or a \"port\" and \"value\""));
    if (isFault) {
        SimFault fault;
        const QString faultText = object.value(QLatin1String("fault")).toString();
        if (!SimDevice::faultFromName(faultText, &fault))
            return fail(where, QStringLiteral("unknown fault \"%1\"").arg(faultText));
        double count = -1;
        if (!optionalNumber(object, "count", 1, 1e9, &count) || !wholeNumber(count))
            return fail(where, QStringLiteral("\"count\" must be a whole number of transactions"));
        scheduleFault(device, name, fault, int(count), qint64(at), qint64(duration), qint64(every));
        return true;
    }
    double port = -1;
    double value = 0;
    if (!optionalNumber(object, "port", 0, SimDevice::PortCount - 1, &port) || !wholeNumber(port) ||
        device->portKind(int(port)) == SimSensorKind::None)
        return fail(where, QStringLiteral("\"port\" must be a port of the device"));
    if (!object.contains(QLatin1String("value")) || !optionalNumber(object, "value", -3000, 3000, &value))
        return fail(where, QStringLiteral("\"value\" must be a number"));
    scheduleHold(device, name, int(port), value, qint64(at), qint64(duration), qint64(every));
    return true;
}

void ScenarioReader::scheduleFault(SimDevice *device, const QString &name, SimFault fault, int count,
                                   qint64 at, qint64 duration, qint64 every)
{
    Simulator *simulator = &m_simulator;
    auto begin = std::make_shared<std::function<void(qint64)>>();
    *begin = [=, weak = std::weak_ptr(begin)](qint64 when) {
        device->setFault(fault, count);
        emit simulator->message(
            QStringLiteral("[%1] %2: %3%4")
                .arg(timeText(when), name, SimDevice::faultName(fault),
                     duration > 0 ? QStringLiteral(" for %1 s").arg(duration) : QString()));
        if (duration > 0) {
            simulator->schedule(when + duration, [=] {
                if (device->fault() == fault)
                    device->clearFault();
                emit simulator->message(
                    QStringLiteral("[%1] %2: %3 ends")
                        .arg(timeText(when + duration), name, SimDevice::faultName(fault)));
            });
        }
        if (every > 0) {
            if (auto again = weak.lock())
                simulator->schedule(when + every, [again, when, every] { (*again)(when + every); });
        }
    };
    simulator->schedule(at, [begin, at] { (*begin)(at); });
}

void ScenarioReader::scheduleHold(SimDevice *device, const QString &name, int port, double value, qint64 at,
                                  qint64 duration, qint64 every)
{
    Simulator *simulator = &m_simulator;
    auto begin = std::make_shared<std::function<void(qint64)>>();
    *begin = [=, weak = std::weak_ptr(begin)](qint64 when) {
        const SimSensor before = device->sensor(port);
        SimSensor held = before;
        held.base = value;
        held.drift = 0;
        held.noise = 0;
        held.connected = true;
        device->setSensor(port, held);
        const QString what =
            QStringLiteral("%1 port %2 (%3)").arg(name).arg(port).arg(device->portCaption(port));
        emit simulator->message(
            QStringLiteral("[%1] %2 held at %3%4")
                .arg(timeText(when), what)
                .arg(value)
                .arg(duration > 0 ? QStringLiteral(" for %1 s").arg(duration) : QString()));
        if (duration > 0) {
            simulator->schedule(when + duration, [=] {
                device->setSensor(port, before);
                emit simulator->message(
                    QStringLiteral("[%1] %2 released").arg(timeText(when + duration), what));
            });
        }
        if (every > 0) {
            if (auto again = weak.lock())
                simulator->schedule(when + every, [again, when, every] { (*again)(when + every); });
        }
    };
    simulator->schedule(at, [begin, at] { (*begin)(at); });
}
