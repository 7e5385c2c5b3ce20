#pragma once

#include <QObject>
#include <QTextStream>

class Clock;
class StatusList;

// Writes each line the status list gains or changes to a stream, after the time it happened:
// without a window, the journal or the terminal keeps what the list showed.
class StatusPrinter final : public QObject {
    Q_OBJECT
public:
    StatusPrinter(StatusList &status, const Clock &clock, QTextStream &out, QObject *parent = nullptr);

    // One line of its own, with the time.
    void print(const QString &line);

private:
    void printRows(int first, int last);

    StatusList &m_status;
    const Clock &m_clock;
    QTextStream &m_out;
};
