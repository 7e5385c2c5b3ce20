#pragma once

#include <core/ErrorLog.h>

class Database;

// The program's error log in tblErrors. Install it with ProgramState::setErrorLog once the
// database object exists. A line that cannot be written goes to the debug output only.
class DbErrorLog final : public ErrorLog {
public:
    explicit DbErrorLog(Database &database) : m_database(database) {}
    void AddError(const QString &where, const QString &cause) override;

private:
    Database &m_database;
};
