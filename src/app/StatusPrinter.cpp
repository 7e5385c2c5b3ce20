#include "StatusPrinter.h"

#include <core/Clock.h>
#include <core/StatusList.h>

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
        print(lines.at(row));
}
