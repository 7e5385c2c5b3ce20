#pragma once

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QTextStream>

class Clock;
class StatusList;

// Writes the lines the status list gains or changes to a stream, each after the time it
// happened: without a window, the journal or the terminal keeps what the list showed. A line
// that says again what it said last is written again only after RepeatQuietMinutes, so the
// lines every cycle repeats ("...: OK") and an activation writes again do not flood the journal,
// while any change shows at once, also a change back to what it said minutes ago (": OK" after
// ": FAILED"): the journal's last word on each line is what the list shows.
//
// Progress lines step through the same few texts every cycle (a connection's steps); for them
// each text is written at most once in RepeatQuietMinutes.
class StatusPrinter final : public QObject {
    Q_OBJECT
public:
    static constexpr int RepeatQuietMinutes = 10;

    StatusPrinter(StatusList &status, const Clock &clock, QTextStream &out, QObject *parent = nullptr);

    // The keys of the progress lines.
    void setProgressKeys(const QStringList &keys)
    {
        m_progressKeys = QSet<QString>(keys.begin(), keys.end());
    }

    // One line of its own, with the time; always written.
    void print(const QString &line);

private:
    struct Written {
        QString line;
        QDateTime at;
    };

    void printRows(int first, int last);
    void forgetRows(int first, int last);
    void printChanged(const QString &key, const QString &line);
    void printProgress(const QString &line);

    StatusList &m_status;
    const Clock &m_clock;
    QTextStream &m_out;
    QSet<QString> m_progressKeys;
    QHash<QString, Written> m_lastOfKey;  // key -> the line last written for it, and when
    QHash<QString, QDateTime> m_progress; // progress text -> when it was last written
};
