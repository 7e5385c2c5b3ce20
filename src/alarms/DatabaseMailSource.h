#pragma once

#include "DeviceMailSource.h"

class Database;

// Device names and alarm address lists read from tblServers of the program's database.
class DatabaseMailSource final : public DeviceMailSource {
public:
    explicit DatabaseMailSource(Database &database) : m_database(database) {}
    bool deviceMailInfo(int deviceId, DeviceMailInfo &info, QString &errorText) override;

private:
    Database &m_database;
};
