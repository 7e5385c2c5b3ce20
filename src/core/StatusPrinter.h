#pragma once

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QTextStream>

class Clock;
class StatusList;

// Writes the lines the status list gains or changes to a stream, each after the time it
// happened: without a window, the journal or the terminal keeps what the list showed. A line
// whose exact text was written within the last RepeatQuietMinutes is not written again, so
// the lines every cycle repeats ("...: OK", the connection's steps) do not flood the journal,
// while any change (": FAILED", a new time) shows at once.
class StatusPrinter final : public QObject {
    Q_OBJECT
public:
    static constexpr int RepeatQuietMinutes = 10;

    StatusPrinter(StatusList &status, const Clock &clock, QTextStream &out, QObject *parent = nullptr);

    // One line of its own, with the time; always written.
    void print(const QString &line);

private:
    void printRows(int first, int last);
    void printUnlessRepeated(const QString &line);

    StatusList &m_status;
    const Clock &m_clock;
    QTextStream &m_out;
    QHash<QString, QDateTime> m_written; // text -> when it was last written
};
