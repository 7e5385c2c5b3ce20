#pragma once

#include <QList>
#include <QString>

class QAbstractItemModel;
class QLabel;
class QTableView;
class QWidget;

// A read-only event grid over a model, with the given objectName: whole rows are selected, one
// at a time; rows have one fixed height so a list of any length scrolls at once.
QTableView *MakeEventGrid(const char *name, QAbstractItemModel *model, const QList<int> &columnWidths,
                          QWidget *parent);

// The caption bar shown above a grid; its objectName is the grid's name + "Caption".
QLabel *MakeGridCaption(const QString &caption, const char *gridName, QWidget *parent);
