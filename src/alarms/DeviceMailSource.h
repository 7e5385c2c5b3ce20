#pragma once

#include <QString>

// What the mailer needs to know about a device: its name and its alarm address list. The
// database layer implements it over tblServers (ServerName, EmailAddress); tests use a fake.
class DeviceMailSource {
public:
    struct DeviceMailInfo {
        QString deviceName;
        QString addressList; // "a@x,b@y," or one address per line
    };

    virtual ~DeviceMailSource() = default;
    // False with a readable error text when the device cannot be read.
    virtual bool deviceMailInfo(int deviceId, DeviceMailInfo &info, QString &errorText) = 0;
};
