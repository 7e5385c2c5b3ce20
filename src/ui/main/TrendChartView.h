#pragma once

#include <QtCharts/QChartView>

#include <optional>
#include <utility>
#include <vector>

class QDateTimeAxis;
class QLineSeries;
class QValueAxis;
class TrendChartPlot;
class TrendData;
struct TrendTrace;

// The trending chart (XYChart4): one line per series of the trend data in its palette colour,
// a value axis per unit kind and a time axis. Only what the plot can resolve is drawn: each
// redraw reduces the visible span to the lowest and highest value per pixel column, so the
// chart stays quick however long the run. A missing value breaks the line.
//
// Each series has a line series of its own that names it in the legend and ties it to its axes;
// the lines themselves are drawn by a plot item over the plot area, because the chart's own line
// items take about a millisecond and a half per thousand points on every axis change.
//
// The whole run is shown and follows new points; dragging across the plot zooms into a time
// span and a right click shows the whole run again.
class TrendChartView final : public QChartView {
    Q_OBJECT
public:
    static const QString TimeFormat;

    explicit TrendChartView(const TrendData &data, QWidget *parent = nullptr);
    ~TrendChartView() override;

    // Reads the visible span of the data again and repaints.
    void redraw();
    // Shows the whole run again and follows new points.
    void showWholeRun();
    bool followsNewPoints() const { return m_follow; }

    QDateTimeAxis *timeAxis() const { return m_timeAxis; }
    const std::vector<QValueAxis *> &valueAxes() const { return m_valueAxes; }
    // The legend entry of a series and what the last redraw drew for it.
    QLineSeries *legendSeries(int series) const { return m_legend[size_t(series)]; }
    const TrendTrace &trace(int series) const;
    // Points handed to the chart by the last redraw, over all series.
    int shownPointCount() const { return m_shownPoints; }

protected:
    void showEvent(QShowEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void rebuild();
    void onReadingsAdded();
    void scheduleRedraw();
    int plotColumns() const;
    void visibleSpan(qint64 &from, qint64 &to) const;
    void setTimeRange(qint64 from, qint64 to);
    void onTimeRangeChanged();

    const TrendData &m_data;
    QChart *m_chart = nullptr;
    QDateTimeAxis *m_timeAxis = nullptr;
    std::vector<QValueAxis *> m_valueAxes;
    // The value extent each axis range was last set for.
    std::vector<std::optional<std::pair<float, float>>> m_extents;
    TrendChartPlot *m_plot = nullptr;
    std::vector<QLineSeries *> m_legend;
    bool m_follow = true;
    bool m_settingRange = false;
    bool m_dirty = false;
    bool m_redrawQueued = false;
    int m_drawnColumns = 0;
    int m_shownPoints = 0;
};
