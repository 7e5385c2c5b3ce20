#include "support_webrig.h"

#include <support/CycleRun.h>

#include <QJsonDocument>

namespace {
const QString kTemperature = QStringLiteral("Temperature Sensor Port 1");
const QString kDoor = QStringLiteral("Door Sensor 1");
} // namespace

const QString WebRig::SpecialDevice = QStringLiteral("Bob's \"Cold\" <Room> \\ K\u00fchlraum");
const QString WebRig::SpecialSensor = QStringLiteral("Fach <b>1</b> & \"T\u00fcr\"\nzwei \u00d8st");

bool WebRig::start(QString &error)
{
    if (!f.start(error))
        return false;
    web = std::make_unique<WebService>(f.t.state, f.monitor->grid, *f.pollTimer, f.monitor->database);
    ConnectRemoteAccess(*web, *f.activation, *f.pollTimer, f.monitor->outbox);
    ConnectNotifications(*web, f.monitor->notifier);
    web->setAlarmResponse(f.monitor->response);
    return true;
}

bool WebRig::addStandardDevices()
{
    kitchen = f.addDevice(
        "Kitchen", 5, 5, 25,
        {{0, "Walk-in Freezer", kTemperature}, {1, "Prep Fridge", kTemperature}, {8, "Back Door", kDoor}});
    special = f.addDevice(SpecialDevice, 5, 5, 25, {{0, SpecialSensor, kTemperature}});
    busy = f.addDevice("Phone Shed", 5, 5, 25, {{0, "Shed Air", kTemperature}});
    silent = f.addDevice("Generator", 5, 5, 25, {{0, "Engine Room", kTemperature}});
    if (!kitchen || !special || !busy || !silent)
        return false;
    kitchen->setReading(0, 5.0);
    kitchen->setReading(1, 12.5);
    kitchen->setMinutes(1, 11);
    kitchen->setAlarmByte(1, 1);
    kitchen->setRawReading(8, 0);
    special->setReading(0, -3.5);
    busy->setReading(0, 20.0);
    silent->setReading(0, 30.0);
    silent->setFault(SimFault::Silent);
    int named = 0;
    f.monitor->database.CountNamedSensors(named);
    f.monitor->grid.ConfigureServerStatusGrid(named);
    return true;
}

WebIniSettings WebRig::localSettings() const
{
    WebIniSettings settings;
    settings.enabled = true;
    settings.address = QStringLiteral("127.0.0.1");
    settings.port = 0;
    return settings;
}

bool WebRig::startWeb(WebIniSettings settings, QString &reason)
{
    return web->Start(settings, reason);
}

void WebRig::runCycle(int advanceSeconds)
{
    f.t.clock.advanceSeconds(advanceSeconds);
    RunTimerCycleToEnd(*f.pollTimer, [this] { f.pollTimer->UpdateNow(); });
}

QUrl WebRig::url(const QString &pathAndQuery) const
{
    return QUrl(web->url()).resolved(QUrl(pathAndQuery));
}

HttpResult WebRig::get(const QString &pathAndQuery, const QList<QPair<QByteArray, QByteArray>> &headers) const
{
    return HttpGet(url(pathAndQuery), headers);
}

QJsonObject WebRig::getJson(const QString &pathAndQuery) const
{
    return QJsonDocument::fromJson(get(pathAndQuery).body).object();
}
