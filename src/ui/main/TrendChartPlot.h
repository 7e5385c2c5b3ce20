#pragma once

#include <acquisition/TrendDecimation.h>

#include <QColor>
#include <QElapsedTimer>
#include <QGraphicsItem>
#include <QImage>
#include <QTimer>

#include <optional>
#include <utility>
#include <vector>

class QValueAxis;

// Draws the trend lines inside a chart's plot area. Each line is a list of unbroken pieces in
// data coordinates (time in milliseconds, value), mapped through the time axis and the line's
// value axis. A marker shows the reading the pointer is on.
//
// The lines are drawn once into a picture of the plot area, which painting then copies, so a
// repaint (the marker moving, the window uncovered) costs what the picture's size costs and not
// what the lines hold. The picture is drawn again when the lines, an axis range or the area
// changed. Up to LinesAtOnce lines it is drawn at once; more are drawn in slices of at most
// LinesAtOnce lines and about SliceMs over turns of the event loop, so that thousands of lines never hold up
// the window, and the last finished picture is shown until the new one is complete.
class TrendChartPlot final : public QGraphicsItem {
public:
    static constexpr int LinesAtOnce = 250;
    static constexpr int SliceMs = 10;
    // Whether a slice of work on `total` lines that has done `done` of them since `started`
    // should yield to the event loop.
    static bool sliceIsOver(int done, int total, const QElapsedTimer &started);

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
    // New lines are on their way: many lines already held are not drawn again meanwhile, for an
    // axis or the area that changed, since setLines will replace them.
    void awaitLines();
    const std::vector<Line> &lines() const { return m_lines; }
    void setMarker(const std::optional<Marker> &marker);
    const std::optional<Marker> &marker() const { return m_marker; }
    // The plot area in the parent's coordinates.
    void setArea(const QRectF &area);
    // True while a picture of many lines is being drawn slice by slice.
    bool drawing() const { return m_drawing; }

    QRectF boundingRect() const override { return m_area; }
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

private:
    // What a picture was drawn for: the area, the axis ranges and the pixel ratio.
    struct Frame {
        QRectF area;
        QRect pixels; // the whole pixels the area covers; the picture's place
        double from = 0;
        double to = 0;
        std::vector<std::pair<const QValueAxis *, std::pair<double, double>>> valueRanges;
        qreal pixelRatio = 1;
        bool operator==(const Frame &) const = default;
    };
    // The frame the axes and the area give now; none when nothing can be drawn.
    std::optional<Frame> currentFrame() const;
    void startPicture(const Frame &frame);
    void drawSlice();
    // Draws lines from m_nextLine on until they are all drawn or the slice is over.
    void drawLines(QImage &picture, const Frame &frame);

    QValueAxis *m_timeAxis;
    std::vector<Line> m_lines;
    // The value axes the lines use, each once.
    std::vector<const QValueAxis *> m_valueAxes;
    std::optional<Marker> m_marker;
    QRectF m_area;
    qreal m_pixelRatio = 1;
    // The finished picture and the one being drawn.
    QImage m_picture;
    std::optional<Frame> m_pictureFrame;
    QImage m_next;
    Frame m_nextFrame;
    size_t m_nextLine = 0;
    bool m_drawing = false;
    bool m_awaitingLines = false;
    QTimer m_sliceTimer;
};
