#pragma once

#include "PageFlow.h"

#include <QFont>
#include <QList>
#include <QStringList>

class QPaintDevice;

struct TableColumn {
    QString title;
    qreal share = 1; // of the table's width
    Qt::Alignment align = Qt::AlignLeft;
    bool wrap = false; // long text breaks into lines; otherwise it is cut with "..."
    // A text the column is made just wide enough for (the columns without one share the rest).
    QString fit = {};
};

struct TableRow {
    QStringList cells;
    // Cells spanFrom to spanTo (inclusive) are one cell showing cells[spanFrom]; -1: no span.
    int spanFrom = -1;
    int spanTo = -1;
};

// A table as flow blocks: a heading row, repeated on every page the table continues on, and one
// block per row, each as tall as its tallest cell.
class ReportTable {
public:
    ReportTable(const QList<TableColumn> &columns, qreal width, const QFont &font, QPaintDevice *device);

    void appendTo(QList<FlowBlock> &blocks, const QList<TableRow> &rows) const;

private:
    struct Cell {
        QRectF rect; // relative to the row's top left
        QString text;
        Qt::Alignment align;
        bool wrap = false;
    };
    QList<Cell> layoutRow(const TableRow &row, bool heading) const;
    qreal rowHeight(const QList<Cell> &cells, const QFont &font) const;
    FlowBlock rowBlock(const QList<Cell> &cells, const QFont &font, bool heading) const;

    QList<TableColumn> m_columns;
    QList<qreal> m_left;
    QList<qreal> m_width;
    QFont m_font;
    QFont m_headingFont;
    QPaintDevice *m_device;
    qreal m_padX;
    qreal m_padY;
};
