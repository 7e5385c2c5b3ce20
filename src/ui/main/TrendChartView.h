#pragma once

#include "TrendChartPlot.h"

#include <QSet>
#include <QTimer>
#include <QtCharts/QChartView>

#include <optional>
#include <utility>
#include <vector>

class QCategoryAxis;
class QLineSeries;
class QValueAxis;
class TrendData;
struct TrendTrace;

// The trending chart (XYChart4): one line per series of the trend data in its palette colour,
// a value axis per unit kind and a time axis. Only what the plot can resolve is drawn: each
// redraw reduces the visible span to the lowest and highest value per pixel column, starting
// from a coarser copy of the samples where the span holds many more than the plot has columns,
// so a redraw costs what the plot's width costs however long the run. A missing value breaks
// the line. A span before what the data keeps in memory is asked of the data (ReachBack) and
// drawn as its readings arrive from the files.
//
// The lines are drawn by a plot item over the plot area, because the chart's own line items
// take about a millisecond and a half per thousand points on every axis change. Each value axis
// has an empty line series of its own that ties it to the time axis, so that zooming moves them.
//
// A redraw reduces up to TrendChartPlot::LinesAtOnce series at once; more are reduced in slices
// over turns of the event loop, and the axes and lines change together when it is done. A
// redraw asked for meanwhile follows it.
//
// The whole run is shown and follows new points; dragging across the plot zooms into a time
// span and a right click shows the whole run again. Hovering near a line shows the sensor,
// device, time and value of the nearest reading. Series can be hidden; a hidden series is not
// drawn and does not count for its axis' range.
class TrendChartView final : public QChartView {
    Q_OBJECT
public:
    static const QString HintText;

    explicit TrendChartView(TrendData &data, QWidget *parent = nullptr);
    ~TrendChartView() override;

    const TrendData &data() const { return m_data; }

    // Reads the visible span of the data again and repaints.
    void redraw();
    // True while a redraw of many series, or the picture of their lines, is not finished.
    bool redrawing() const;
    // Shows the whole run again and follows new points.
    void showWholeRun();
    bool followsNewPoints() const { return m_follow; }

    QCategoryAxis *timeAxis() const { return m_timeAxis; }
    // The time span shown, in milliseconds since the epoch.
    qint64 shownFrom() const;
    qint64 shownTo() const;
    const std::vector<QValueAxis *> &valueAxes() const { return m_valueAxes; }
    // What the last redraw drew for a series (nothing for a hidden one).
    const TrendTrace &trace(int series) const;
    // Points handed to the plot by the last redraw, over all series.
    int shownPointCount() const { return m_shownPoints; }

    // Visibility is kept per sensor, so it survives a new layout of the chart.
    void setSeriesVisible(int series, bool visible);
    void setAllSeriesVisible(bool visible);
    bool isSeriesVisible(int series) const;

    // The reading nearest to a position in the view, within a few pixels of a drawn line.
    struct Hover {
        int series = -1;
        qint64 time = 0;
        float value = 0;
    };
    std::optional<Hover> readingAt(const QPoint &position) const;
    // Sensor, device, time and value of a reading, as hovering shows them.
    QString hoverText(const Hover &hover) const;

signals:
    void seriesVisibilityChanged();

protected:
    void showEvent(QShowEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    bool viewportEvent(QEvent *event) override;

private:
    void rebuild();
    // Reduces the next slice of series of the redraw under way; the last one shows them.
    void reduceSlice();
    void showReduced();
    void onReadingsAdded();
    void scheduleRedraw();
    int plotColumns() const;
    void visibleSpan(qint64 &from, qint64 &to) const;
    void setTimeRange(qint64 from, qint64 to);
    void setTimeLabels(qint64 from, qint64 to);
    void onTimeRangeChanged();
    void showHover(const QPoint &position, const QPoint &globalPosition);

    TrendData &m_data;
    QChart *m_chart = nullptr;
    QCategoryAxis *m_timeAxis = nullptr;
    std::vector<QValueAxis *> m_valueAxes;
    // The value extent each axis range was last set for.
    std::vector<std::optional<std::pair<float, float>>> m_extents;
    TrendChartPlot *m_plot = nullptr;
    QSet<QString> m_hiddenSensors;
    // History arrives sensor by sensor; the chart is redrawn at most this often meanwhile.
    QTimer m_historyRedraw;
    bool m_follow = true;
    bool m_settingRange = false;
    bool m_dirty = false;
    bool m_redrawQueued = false;
    // The redraw under way: its span and the lines of the series reduced so far.
    struct Pass {
        qint64 from = 0;
        qint64 to = 0;
        std::vector<TrendChartPlot::Line> lines;
    };
    std::optional<Pass> m_pass;
    bool m_redrawAgain = false;
    QTimer m_sliceTimer;
    int m_drawnColumns = 0;
    int m_shownPoints = 0;
};
