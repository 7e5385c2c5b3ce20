#pragma once

#include <acquisition/TrendDecimation.h>

#include <QColor>
#include <QGraphicsItem>

#include <optional>
#include <vector>

class QValueAxis;

// Draws the trend lines inside a chart's plot area. Each line is a list of unbroken pieces in
// data coordinates (time in milliseconds, value), mapped through the time axis and the line's
// value axis when painted, so a new axis range needs only a repaint. A marker shows the reading
// the pointer is on.
class TrendChartPlot final : public QGraphicsItem {
public:
    struct Line {
        QColor colour;
        QValueAxis *axis = nullptr;
        TrendTrace trace;
    };
    struct Marker {
        QPointF point; // time in milliseconds, value
        QValueAxis *axis = nullptr;
        QColor colour;
    };

    TrendChartPlot(QValueAxis *timeAxis, QGraphicsItem *parent);

    void setLines(std::vector<Line> lines);
    const std::vector<Line> &lines() const { return m_lines; }
    void setMarker(const std::optional<Marker> &marker);
    const std::optional<Marker> &marker() const { return m_marker; }
    // The plot area in the parent's coordinates.
    void setArea(const QRectF &area);

    QRectF boundingRect() const override { return m_area; }
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

private:
    QValueAxis *m_timeAxis;
    std::vector<Line> m_lines;
    std::optional<Marker> m_marker;
    QRectF m_area;
};
