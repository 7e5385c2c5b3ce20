#include "DatabaseMailSource.h"

#include <db/Database.h>

bool DatabaseMailSource::deviceMailInfo(int deviceId, DeviceMailInfo &info, QString &errorText)
{
    ServerRecord row;
    if (!m_database.OpenServerRecord(deviceId, row)) {
        errorText = m_database.lastError();
        return false;
    }
    info.deviceName = row.ServerName;
    info.addressList = row.EmailAddress;
    return true;
}
