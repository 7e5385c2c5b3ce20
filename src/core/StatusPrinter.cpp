#include "StatusPrinter.h"

#include "Clock.h"
#include "StatusList.h"

StatusPrinter::StatusPrinter(StatusList &status, const Clock &clock, QTextStream &out, QObject *parent)
    : QObject(parent), m_status(status), m_clock(clock), m_out(out)
{
    connect(&status, &StatusList::rowsInserted, this,
            [this](const QModelIndex &, int first, int last) { printRows(first, last); });
    connect(&status, &StatusList::dataChanged, this,
            [this](const QModelIndex &from, const QModelIndex &to) { printRows(from.row(), to.row()); });
    // A line removed and written again is news; the list emptied by an activation is not.
    connect(&status, &StatusList::rowsAboutToBeRemoved, this,
            [this](const QModelIndex &, int first, int last) { forgetRows(first, last); });
}

void StatusPrinter::print(const QString &line)
{
    m_out << m_clock.now().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) << "  " << line << Qt::endl;
}

void StatusPrinter::printRows(int first, int last)
{
    const QStringList &lines = m_status.lines();
    for (int row = first; row <= last && row < lines.size(); ++row) {
        const QString key = m_status.keyAt(row);
        if (m_progressKeys.contains(key))
            printProgress(lines.at(row));
        else
            printChanged(key, lines.at(row));
    }
}

void StatusPrinter::forgetRows(int first, int last)
{
    for (int row = first; row <= last; ++row)
        m_lastOfKey.remove(m_status.keyAt(row));
}

void StatusPrinter::printChanged(const QString &key, const QString &line)
{
    const QDateTime now = m_clock.now();
    const QDateTime quietSince = now.addSecs(-60 * RepeatQuietMinutes);
    const auto written = m_lastOfKey.constFind(key);
    if (written != m_lastOfKey.constEnd() && written->line == line && written->at > quietSince)
        return;
    m_lastOfKey.removeIf([&quietSince](const auto &entry) { return entry.value().at <= quietSince; });
    m_lastOfKey.insert(key, {line, now});
    print(line);
}

void StatusPrinter::printProgress(const QString &line)
{
    const QDateTime now = m_clock.now();
    const QDateTime quietSince = now.addSecs(-60 * RepeatQuietMinutes);
    const auto written = m_progress.constFind(line);
    if (written != m_progress.constEnd() && *written > quietSince)
        return;
    // Lines with times or counts in them are never repeated; forget what can no longer be quiet.
    m_progress.removeIf([&quietSince](const auto &entry) { return entry.value() <= quietSince; });
    m_progress.insert(line, now);
    print(line);
}

#include "moc_StatusPrinter.cpp"
