#include "TrendChartView.h"

#include "TrendChartPlot.h"

#include <acquisition/TrendData.h>
#include <acquisition/TrendDecimation.h>

#include <QDateTime>
#include <QMouseEvent>
#include <QTimer>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLegend>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

#include <algorithm>
#include <cmath>

const QString TrendChartView::TimeFormat = QStringLiteral("h:mm AP");

namespace {
constexpr qint64 kMinimumSpanMs = 60 * 1000;
constexpr qint64 kEmptySpanMs = 60 * 60 * 1000;
constexpr int kFallbackColumns = 1000;
constexpr int kPixelsPerTimeLabel = 110;

struct Extent {
    bool any = false;
    float low = 0;
    float high = 0;
    void include(const TrendTrace &trace)
    {
        if (!trace.hasValue)
            return;
        low = any ? std::min(low, trace.low) : trace.low;
        high = any ? std::max(high, trace.high) : trace.high;
        any = true;
    }
};

QColor colourOf(const TrendSeries &series)
{
    return QColor(series.colour.red, series.colour.green, series.colour.blue);
}

// The range of the values with a margin, rounded to whole ticks.
void setValueRange(QValueAxis *axis, const Extent &extent)
{
    if (!extent.any) {
        axis->setRange(0, 100);
        return;
    }
    const double pad = std::max((double(extent.high) - extent.low) * 0.05, 0.5);
    axis->setRange(extent.low - pad, extent.high + pad);
    axis->applyNiceNumbers();
}
} // namespace

TrendChartView::TrendChartView(const TrendData &data, QWidget *parent) : QChartView(parent), m_data(data)
{
    setObjectName(QStringLiteral("trendChartView"));
    m_chart = new QChart;
    m_chart->setTheme(QChart::ChartThemeDark);
    m_chart->legend()->setAlignment(Qt::AlignBottom);
    m_timeAxis = new QDateTimeAxis(m_chart);
    m_timeAxis->setFormat(TimeFormat);
    m_timeAxis->setTitleText(QStringLiteral("Time"));
    m_chart->addAxis(m_timeAxis, Qt::AlignBottom);
    m_plot = new TrendChartPlot(m_timeAxis, m_chart);
    m_plot->setZValue(100);
    // The view gives up the default chart it made without deleting it.
    QChart *const defaultChart = chart();
    setChart(m_chart);
    delete defaultChart;
    setRubberBand(QChartView::HorizontalRubberBand);
    setToolTip(
        QStringLiteral("Drag across the chart to look at a shorter time; right-click to see the whole run."));

    connect(m_timeAxis, &QDateTimeAxis::rangeChanged, this, &TrendChartView::onTimeRangeChanged);
    connect(m_chart, &QChart::plotAreaChanged, this, [this](const QRectF &area) {
        m_plot->setArea(area);
        // The lines are mapped onto the new area when painted; they are reduced again only when
        // the width changed noticeably, since the axes' own layout shifts it by a few pixels.
        if (std::abs(plotColumns() - m_drawnColumns) * 20 > m_drawnColumns)
            scheduleRedraw();
    });
    connect(&m_data, &TrendData::built, this, &TrendChartView::rebuild);
    connect(&m_data, &TrendData::readingsAdded, this, &TrendChartView::onReadingsAdded);
    rebuild();
}

TrendChartView::~TrendChartView() = default;

void TrendChartView::rebuild()
{
    m_plot->setLines({});
    m_chart->removeAllSeries();
    m_legend.clear();
    for (QValueAxis *axis : m_valueAxes) {
        m_chart->removeAxis(axis);
        delete axis;
    }
    m_valueAxes.clear();
    m_extents.clear();
    for (TrendUnit unit : m_data.axes()) {
        auto *axis = new QValueAxis(m_chart);
        axis->setTitleText(TrendData::UnitTitle(unit));
        m_chart->addAxis(axis, m_valueAxes.empty() ? Qt::AlignLeft : Qt::AlignRight);
        m_valueAxes.push_back(axis);
    }
    for (int i = 0; i < m_data.seriesCount(); ++i) {
        const TrendSeries &source = m_data.series(i);
        auto *legend = new QLineSeries;
        legend->setName(source.name);
        m_chart->addSeries(legend);
        legend->attachAxis(m_timeAxis);
        legend->attachAxis(m_valueAxes[size_t(source.axis)]);
        // Set after adding: the chart's theme colours a series as it is added.
        legend->setPen(QPen(colourOf(source), 2));
        m_legend.push_back(legend);
    }
    m_follow = true;
    redraw();
}

const TrendTrace &TrendChartView::trace(int series) const
{
    return m_plot->lines()[size_t(series)].trace;
}

int TrendChartView::plotColumns() const
{
    const int width = int(m_chart->plotArea().width());
    return width >= 10 ? width : kFallbackColumns;
}

void TrendChartView::visibleSpan(qint64 &from, qint64 &to) const
{
    const std::vector<qint64> &times = m_data.times();
    if (!m_follow) {
        from = m_timeAxis->min().toMSecsSinceEpoch();
        to = m_timeAxis->max().toMSecsSinceEpoch();
        return;
    }
    if (times.empty()) {
        to = QDateTime::currentMSecsSinceEpoch();
        from = to - kEmptySpanMs;
        return;
    }
    // Not simply the first and last: the clock may have been set back during the run.
    const auto [low, high] = std::minmax_element(times.begin(), times.end());
    from = *low;
    to = std::max(*high, from + kMinimumSpanMs);
}

void TrendChartView::setTimeRange(qint64 from, qint64 to)
{
    m_settingRange = true;
    m_timeAxis->setRange(QDateTime::fromMSecsSinceEpoch(from), QDateTime::fromMSecsSinceEpoch(to));
    const int ticks = std::clamp(plotColumns() / kPixelsPerTimeLabel, 2, 12);
    if (ticks != m_timeAxis->tickCount())
        m_timeAxis->setTickCount(ticks);
    m_settingRange = false;
}

void TrendChartView::redraw()
{
    m_dirty = false;
    qint64 from = 0;
    qint64 to = 0;
    visibleSpan(from, to);
    setTimeRange(from, to);
    m_drawnColumns = plotColumns();
    const TrendWindow window = MakeTrendWindow(m_data.times(), from, to, m_drawnColumns);

    std::vector<Extent> extents(m_valueAxes.size());
    std::vector<TrendChartPlot::Line> lines;
    lines.reserve(size_t(m_data.seriesCount()));
    m_shownPoints = 0;
    for (int i = 0; i < m_data.seriesCount(); ++i) {
        const TrendSeries &series = m_data.series(i);
        TrendChartPlot::Line line;
        line.colour = colourOf(series);
        line.axis = m_valueAxes[size_t(series.axis)];
        line.trace = DecimateTrend(m_data.times(), series.values, window);
        extents[size_t(series.axis)].include(line.trace);
        m_shownPoints += line.trace.pointCount();
        lines.push_back(std::move(line));
    }
    // Setting a range lays the chart out again, so an axis whose values kept their extent is
    // left alone.
    m_extents.resize(m_valueAxes.size());
    for (size_t a = 0; a < m_valueAxes.size(); ++a) {
        const auto extent =
            extents[a].any ? std::optional(std::pair(extents[a].low, extents[a].high)) : std::nullopt;
        if (extent && extent == m_extents[a])
            continue;
        setValueRange(m_valueAxes[a], extents[a]);
        m_extents[a] = extent;
    }
    m_plot->setLines(std::move(lines));
}

void TrendChartView::onReadingsAdded()
{
    // A hidden chart is brought up to date when it is shown.
    if (!isVisible()) {
        m_dirty = true;
        return;
    }
    redraw();
}

void TrendChartView::scheduleRedraw()
{
    if (m_redrawQueued)
        return;
    m_redrawQueued = true;
    QTimer::singleShot(0, this, [this] {
        m_redrawQueued = false;
        if (isVisible())
            redraw();
        else
            m_dirty = true;
    });
}

void TrendChartView::showWholeRun()
{
    m_follow = true;
    redraw();
}

void TrendChartView::onTimeRangeChanged()
{
    // Zooming with the mouse moves the time axis; the visible span is read again for it.
    if (m_settingRange)
        return;
    m_follow = false;
    scheduleRedraw();
}

void TrendChartView::showEvent(QShowEvent *event)
{
    QChartView::showEvent(event);
    if (m_dirty)
        redraw();
}

void TrendChartView::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::RightButton) {
        showWholeRun();
        event->accept();
        return;
    }
    QChartView::mouseReleaseEvent(event);
}
