#include "TrendChartPlot.h"

#include <QDateTime>
#include <QPainter>
#include <QPolygonF>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QValueAxis>

TrendChartPlot::TrendChartPlot(QDateTimeAxis *timeAxis, QGraphicsItem *parent)
    : QGraphicsItem(parent), m_timeAxis(timeAxis)
{
}

void TrendChartPlot::setLines(std::vector<Line> lines)
{
    m_lines = std::move(lines);
    update();
}

void TrendChartPlot::setArea(const QRectF &area)
{
    if (area == m_area)
        return;
    prepareGeometryChange();
    m_area = area;
}

void TrendChartPlot::paint(QPainter *painter, const QStyleOptionGraphicsItem *, QWidget *)
{
    const double from = double(m_timeAxis->min().toMSecsSinceEpoch());
    const double to = double(m_timeAxis->max().toMSecsSinceEpoch());
    if (m_area.isEmpty() || to <= from)
        return;
    const double xScale = m_area.width() / (to - from);
    painter->save();
    painter->setClipRect(m_area);
    QPolygonF polyline;
    for (const Line &line : m_lines) {
        if (!line.axis || line.axis->max() <= line.axis->min())
            continue;
        const double low = line.axis->min();
        const double yScale = m_area.height() / (line.axis->max() - low);
        QPen pen(line.colour, 1);
        pen.setCosmetic(true);
        painter->setPen(pen);
        for (const QList<QPointF> &piece : line.trace.pieces) {
            polyline.resize(piece.size());
            for (qsizetype i = 0; i < piece.size(); ++i)
                polyline[i] = QPointF(m_area.left() + (piece[i].x() - from) * xScale,
                                      m_area.bottom() - (piece[i].y() - low) * yScale);
            if (polyline.size() == 1)
                painter->drawPoint(polyline.first());
            else
                painter->drawPolyline(polyline);
        }
    }
    painter->restore();
}
