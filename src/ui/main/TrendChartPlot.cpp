#include "TrendChartPlot.h"

#include <QPainter>
#include <QPolygonF>
#include <QtCharts/QValueAxis>

namespace {
constexpr double kMarkerRadius = 4.5;

// Maps data coordinates onto the plot area through the time axis and one value axis.
struct Mapping {
    QRectF area;
    double from, xScale, low, yScale;
    QPointF operator()(const QPointF &point) const
    {
        return QPointF(area.left() + (point.x() - from) * xScale, area.bottom() - (point.y() - low) * yScale);
    }
};
} // namespace

TrendChartPlot::TrendChartPlot(QValueAxis *timeAxis, QGraphicsItem *parent)
    : QGraphicsItem(parent), m_timeAxis(timeAxis)
{
}

void TrendChartPlot::setLines(std::vector<Line> lines)
{
    m_lines = std::move(lines);
    update();
}

void TrendChartPlot::setMarker(const std::optional<Marker> &marker)
{
    if (!marker && !m_marker)
        return;
    m_marker = marker;
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
    const double from = m_timeAxis->min();
    const double to = m_timeAxis->max();
    if (m_area.isEmpty() || to <= from)
        return;
    const double xScale = m_area.width() / (to - from);
    const auto mappingFor = [&](const QValueAxis *axis) {
        const double low = axis->min();
        return Mapping{m_area, from, xScale, low, m_area.height() / (axis->max() - low)};
    };
    painter->save();
    painter->setClipRect(m_area);
    QPolygonF polyline;
    for (const Line &line : m_lines) {
        if (!line.axis || line.axis->max() <= line.axis->min())
            continue;
        const Mapping map = mappingFor(line.axis);
        QPen pen(line.colour, 1);
        pen.setCosmetic(true);
        painter->setPen(pen);
        for (const QList<QPointF> &piece : line.trace.pieces) {
            polyline.resize(piece.size());
            for (qsizetype i = 0; i < piece.size(); ++i)
                polyline[i] = map(piece[i]);
            if (polyline.size() == 1)
                painter->drawPoint(polyline.first());
            else
                painter->drawPolyline(polyline);
        }
    }
    if (m_marker && m_marker->axis && m_marker->axis->max() > m_marker->axis->min()) {
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(QPen(Qt::white, 1.5));
        painter->setBrush(m_marker->colour);
        painter->drawEllipse(mappingFor(m_marker->axis)(m_marker->point), kMarkerRadius, kMarkerRadius);
    }
    painter->restore();
}
