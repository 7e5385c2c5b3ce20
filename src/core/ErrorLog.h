#pragma once

#include <QString>
#include <QStringList>

// The program-wide error log. AddError never reports or raises its own failure.
class ErrorLog {
public:
    virtual ~ErrorLog() = default;
    virtual void AddError(const QString &where, const QString &cause) = 0;
    // Writes lines that could not be written when they were logged; the poll cycle calls it.
    virtual void flushPending() {}
};

// Keeps the lines in memory (and echoes them to the debug output). Used before the database is
// open, and by tests that check what was logged.
class MemoryErrorLog final : public ErrorLog {
public:
    void AddError(const QString &where, const QString &cause) override;
    const QStringList &lines() const { return m_lines; }
    void clear() { m_lines.clear(); }

private:
    QStringList m_lines;
};
