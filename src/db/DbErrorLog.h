#pragma once

#include <core/ErrorLog.h>

#include <QList>

class Database;

// The program's error log in tblErrors. Install it with ProgramState::setErrorLog once the
// database object exists. A line that cannot be written (the file is locked, read-only or the
// disk is full) is kept, with the time it was logged, and written before the next line or at
// the next flushPending(); the oldest are let go beyond MaxPending, and that is logged too.
class DbErrorLog final : public ErrorLog {
public:
    static constexpr int MaxPending = 1000;

    explicit DbErrorLog(Database &database) : m_database(database) {}
    void AddError(const QString &where, const QString &cause) override;
    void flushPending() override;
    int pendingCount() const { return int(m_pending.size()); }

private:
    struct Line {
        QString storedTime;
        QString where;
        QString cause;
    };

    Database &m_database;
    QList<Line> m_pending;
    int m_dropped = 0;
};
