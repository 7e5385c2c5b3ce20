#pragma once

#include <acquisition/TrendDecimation.h>

#include <QColor>
#include <QGraphicsItem>

#include <vector>

class QDateTimeAxis;
class QValueAxis;

// Draws the trend lines inside a chart's plot area. Each line is a list of unbroken pieces in
// data coordinates (time in milliseconds, value), mapped through the time axis and the line's
// value axis when painted, so a new axis range needs only a repaint.
class TrendChartPlot final : public QGraphicsItem {
public:
    struct Line {
        QColor colour;
        QValueAxis *axis = nullptr;
        TrendTrace trace;
    };

    TrendChartPlot(QDateTimeAxis *timeAxis, QGraphicsItem *parent);

    void setLines(std::vector<Line> lines);
    const std::vector<Line> &lines() const { return m_lines; }
    // The plot area in the parent's coordinates.
    void setArea(const QRectF &area);

    QRectF boundingRect() const override { return m_area; }
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

private:
    QDateTimeAxis *m_timeAxis;
    std::vector<Line> m_lines;
    QRectF m_area;
};
