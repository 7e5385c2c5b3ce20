#pragma once

#include "support_http.h"

#include <monitoring/support_monitoring.h>
#include <web/WebService.h>

#include <QJsonObject>

#include <memory>

// The monitoring engine with simulated devices and the web server over it, listening on a free
// loopback port. Devices live on 127.0.N.x.
class WebRig {
public:
    static const QString SpecialDevice; // quotes, angle brackets, a backslash, non-ASCII letters
    static const QString SpecialSensor;

    explicit WebRig(int thirdOctet) : f(thirdOctet) {}

    // The engine alone, no device.
    bool start(QString &error);
    // Four devices: Kitchen (a normal sensor and one in alarm), the specially named one, "Phone
    // Shed" (answers until a test makes it busy) and a silent one (NO DATA). The grid is laid out
    // for their sensors.
    bool addStandardDevices();
    // Starts the web server with these settings (port 0 picks a free port).
    bool startWeb(WebIniSettings settings, QString &reason);
    WebIniSettings localSettings() const;

    // One poll cycle as the update button runs it, the clock moved first.
    void runCycle(int advanceSeconds = 60);

    QUrl url(const QString &pathAndQuery) const;
    HttpResult get(const QString &pathAndQuery,
                   const QList<QPair<QByteArray, QByteArray>> &headers = {}) const;
    QJsonObject getJson(const QString &pathAndQuery) const;

    MonitoringFixture f;
    std::unique_ptr<WebService> web;
    SimDevice *kitchen = nullptr;
    SimDevice *special = nullptr;
    SimDevice *busy = nullptr;
    SimDevice *silent = nullptr;
};
