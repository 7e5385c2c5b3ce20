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
}

void StatusPrinter::print(const QString &line)
{
    m_out << m_clock.now().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) << "  " << line << Qt::endl;
}

void StatusPrinter::printRows(int first, int last)
{
    const QStringList &lines = m_status.lines();
    for (int row = first; row <= last && row < lines.size(); ++row)
        printUnlessRepeated(lines.at(row));
}

void StatusPrinter::printUnlessRepeated(const QString &line)
{
    const QDateTime now = m_clock.now();
    const QDateTime quietSince = now.addSecs(-60 * RepeatQuietMinutes);
    const auto written = m_written.constFind(line);
    if (written != m_written.constEnd() && *written > quietSince)
        return;
    // Lines with times in them are never repeated; forget what can no longer be quiet.
    m_written.removeIf([&quietSince](const auto &entry) { return entry.value() <= quietSince; });
    m_written.insert(line, now);
    print(line);
}
