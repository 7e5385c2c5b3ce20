#include "EventViewsGrid.h"

#include <QHeaderView>
#include <QLabel>
#include <QTableView>

QTableView *MakeEventGrid(const char *name, QAbstractItemModel *model, const QList<int> &columnWidths,
                          QWidget *parent)
{
    auto *grid = new QTableView(parent);
    grid->setObjectName(QLatin1String(name));
    grid->setModel(model);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setWordWrap(false);
    grid->setAlternatingRowColors(true);
    grid->verticalHeader()->hide();
    grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid->verticalHeader()->setDefaultSectionSize(grid->fontMetrics().height() + 6);
    grid->horizontalHeader()->setStretchLastSection(true);
    grid->horizontalHeader()->setHighlightSections(false);
    for (int column = 0; column < columnWidths.size(); ++column)
        grid->setColumnWidth(column, columnWidths.at(column));
    return grid;
}

QLabel *MakeGridCaption(const QString &caption, const char *gridName, QWidget *parent)
{
    auto *label = new QLabel(caption, parent);
    label->setObjectName(QLatin1String(gridName) + QLatin1String("Caption"));
    label->setAlignment(Qt::AlignCenter);
    label->setFrameShape(QFrame::StyledPanel);
    label->setAutoFillBackground(true);
    label->setBackgroundRole(QPalette::Mid);
    label->setForegroundRole(QPalette::BrightText);
    label->setMargin(2);
    return label;
}
