#include "ReportTable.h"

#include <QFontMetricsF>
#include <QPaintDevice>
#include <QPainter>

namespace {
const QColor kHeadingFill(226, 230, 238);
const QColor kRule(170, 176, 190);
} // namespace

ReportTable::ReportTable(const QList<TableColumn> &columns, qreal width, const QFont &font,
                         QPaintDevice *device)
    : m_columns(columns), m_font(font), m_headingFont(font), m_device(device)
{
    m_headingFont.setBold(true);
    const qreal mm = device->logicalDpiX() / 25.4;
    m_padX = 1.0 * mm;
    m_padY = 0.7 * mm;
    // A fitted column is as wide as its sample or its title, whichever is wider.
    const QFontMetricsF metrics(font, device);
    const QFontMetricsF headingMetrics(m_headingFont, device);
    auto fittedWidth = [&](const TableColumn &c) {
        return qMax(metrics.horizontalAdvance(c.fit), headingMetrics.horizontalAdvance(c.title)) * 1.03 +
               2 * m_padX;
    };
    qreal shares = 0;
    qreal fitted = 0;
    for (const TableColumn &c : columns) {
        if (c.fit.isEmpty())
            shares += c.share;
        else
            fitted += fittedWidth(c);
    }
    const qreal shared = qMax<qreal>(0, width - fitted);
    qreal left = 0;
    for (const TableColumn &c : columns) {
        const qreal w = c.fit.isEmpty() ? shared * c.share / qMax<qreal>(shares, 1) : fittedWidth(c);
        m_left.append(left);
        m_width.append(w);
        left += w;
    }
}

QList<ReportTable::Cell> ReportTable::layoutRow(const TableRow &row, bool heading) const
{
    QList<Cell> cells;
    for (int i = 0; i < m_columns.size(); ++i) {
        const bool spanned = row.spanFrom >= 0 && i >= row.spanFrom && i <= row.spanTo;
        if (spanned && i != row.spanFrom)
            continue;
        const int last = spanned ? row.spanTo : i;
        const qreal width = m_left[last] + m_width[last] - m_left[i];
        cells.append({QRectF(m_left[i], 0, width, 0), row.cells.value(i),
                      spanned ? Qt::AlignLeft : m_columns[i].align, heading || m_columns[i].wrap});
    }
    return cells;
}

qreal ReportTable::rowHeight(const QList<Cell> &cells, const QFont &font) const
{
    const QFontMetricsF metrics(font, m_device);
    qreal height = metrics.height();
    for (const Cell &cell : cells) {
        if (!cell.wrap || cell.text.isEmpty())
            continue;
        const QRectF room(0, 0, cell.rect.width() - 2 * m_padX, 1e9);
        height =
            qMax(height, metrics.boundingRect(room, Qt::TextWordWrap | Qt::AlignLeft, cell.text).height());
    }
    return height + 2 * m_padY;
}

FlowBlock ReportTable::rowBlock(const QList<Cell> &cells, const QFont &font, bool heading) const
{
    FlowBlock block;
    block.height = rowHeight(cells, font);
    const qreal padX = m_padX, padY = m_padY;
    block.paint = [cells, font, heading, padX, padY](QPainter &p, const QRectF &at) {
        const QRectF row(at.left(), at.top(), cells.last().rect.right(), at.height());
        if (heading)
            p.fillRect(row, kHeadingFill);
        p.setFont(font);
        p.setPen(Qt::black);
        for (const Cell &cell : cells) {
            const QRectF text = QRectF(at.left() + cell.rect.left(), at.top(), cell.rect.width(), at.height())
                                    .adjusted(padX, padY, -padX, -padY);
            if (cell.wrap) {
                p.drawText(text, int(cell.align | Qt::AlignTop | Qt::TextWordWrap), cell.text);
            } else {
                const QString shown =
                    p.fontMetrics().elidedText(cell.text, Qt::ElideRight, int(text.width()));
                p.drawText(text, int(cell.align | Qt::AlignTop), shown);
            }
        }
        p.setPen(QPen(kRule, 0));
        p.drawLine(row.bottomLeft(), row.bottomRight());
    };
    return block;
}

void ReportTable::appendTo(QList<FlowBlock> &blocks, const QList<TableRow> &rows) const
{
    TableRow titles;
    for (const TableColumn &c : m_columns)
        titles.cells.append(c.title);
    const int heading = int(blocks.size());
    FlowBlock headingBlock = rowBlock(layoutRow(titles, true), m_headingFont, true);
    headingBlock.keepWithNext = true;
    blocks.append(headingBlock);
    for (const TableRow &row : rows) {
        FlowBlock block = rowBlock(layoutRow(row, false), m_font, false);
        block.headingIndex = heading;
        blocks.append(block);
    }
}
