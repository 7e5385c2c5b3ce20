#include "TrendChartView.h"

#include "TrendChartPlot.h"

#include <acquisition/TrendData.h>
#include <acquisition/TrendDecimation.h>
#include <acquisition/TrendTimeTicks.h>
#include <alarms/AlarmTexts.h>
#include <core/DateTimeText.h>

#include <QDateTime>
#include <QElapsedTimer>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QToolTip>
#include <QtCharts/QCategoryAxis>
#include <QtCharts/QLegend>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

#include <algorithm>
#include <cmath>
#include <utility>

const QString TrendChartView::HintText =
    QStringLiteral("Point at a line to read its value; drag across the chart to look at a shorter time; "
                   "right-click to see the whole run.");

namespace {
constexpr qint64 kMinimumSpanMs = 60 * 1000;
constexpr qint64 kEmptySpanMs = 60 * 60 * 1000;
constexpr int kFallbackColumns = 1000;
constexpr int kPixelsPerTimeLabel = 110;
constexpr int kHistoryRedrawMs = 200;
constexpr double kHoverPixels = 6;
// Raw readings looked at per series around the pointer, at most.
constexpr int kHoverSamples = 20000;

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

// Squared distance from p to the segment a-b.
double distanceSquared(const QPointF &p, const QPointF &a, const QPointF &b)
{
    const QPointF ab = b - a;
    const double length = QPointF::dotProduct(ab, ab);
    const double t = length > 0 ? std::clamp(QPointF::dotProduct(p - a, ab) / length, 0.0, 1.0) : 0.0;
    const QPointF d = p - (a + t * ab);
    return QPointF::dotProduct(d, d);
}
} // namespace

TrendChartView::TrendChartView(TrendData &data, QWidget *parent) : QChartView(parent), m_data(data)
{
    setObjectName(QStringLiteral("trendChartView"));
    m_chart = new QChart;
    m_chart->setTheme(QChart::ChartThemeDark);
    m_chart->legend()->hide();
    m_timeAxis = new QCategoryAxis(m_chart);
    m_timeAxis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    m_timeAxis->setTitleText(QStringLiteral("Time"));
    m_chart->addAxis(m_timeAxis, Qt::AlignBottom);
    m_plot = new TrendChartPlot(m_timeAxis, m_chart);
    m_plot->setZValue(100);
    // The view gives up the default chart it made without deleting it.
    QChart *const defaultChart = chart();
    setChart(m_chart);
    delete defaultChart;
    setRubberBand(QChartView::HorizontalRubberBand);
    setMouseTracking(true);
    m_historyRedraw.setSingleShot(true);
    m_historyRedraw.setInterval(kHistoryRedrawMs);
    connect(&m_historyRedraw, &QTimer::timeout, this, &TrendChartView::scheduleRedraw);
    m_sliceTimer.setSingleShot(true);
    m_sliceTimer.setInterval(0);
    connect(&m_sliceTimer, &QTimer::timeout, this, &TrendChartView::reduceSlice);

    connect(m_timeAxis, &QValueAxis::rangeChanged, this, &TrendChartView::onTimeRangeChanged);
    connect(m_chart, &QChart::plotAreaChanged, this, [this](const QRectF &area) {
        m_plot->setArea(area);
        // The lines are mapped onto the new area when painted; they are reduced again only when
        // the width changed noticeably, since the axes' own layout shifts it by a few pixels.
        if (std::abs(plotColumns() - m_drawnColumns) * 20 > m_drawnColumns)
            scheduleRedraw();
    });
    connect(&m_data, &TrendData::built, this, &TrendChartView::rebuild);
    connect(&m_data, &TrendData::readingsAdded, this, &TrendChartView::onReadingsAdded);
    // Readings from the files arrive sensor by sensor; the chart is redrawn every so often.
    const auto readingsArrived = [this] {
        if (!m_historyRedraw.isActive())
            m_historyRedraw.start();
    };
    connect(&m_data, &TrendData::historyAdded, this, readingsArrived);
    connect(&m_data, &TrendData::olderAdded, this, readingsArrived);
    rebuild();
}

TrendChartView::~TrendChartView() = default;

void TrendChartView::rebuild()
{
    // Attaching an axis may set the time axis' range; that is no zoom of the user's.
    m_settingRange = true;
    // A redraw under way was for the series and axes before.
    m_sliceTimer.stop();
    m_pass.reset();
    m_redrawAgain = false;
    m_plot->setLines({});
    m_chart->removeAllSeries();
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
        auto *anchor = new QLineSeries;
        m_chart->addSeries(anchor);
        anchor->attachAxis(m_timeAxis);
        anchor->attachAxis(axis);
    }
    m_settingRange = false;
    redraw();
}

const TrendTrace &TrendChartView::trace(int series) const
{
    // Until the first redraw after a new layout is done there is no line yet.
    static const TrendTrace none;
    const auto &lines = m_plot->lines();
    return size_t(series) < lines.size() ? lines[size_t(series)].trace : none;
}

qint64 TrendChartView::shownFrom() const
{
    return qint64(std::llround(m_timeAxis->min()));
}

qint64 TrendChartView::shownTo() const
{
    return qint64(std::llround(m_timeAxis->max()));
}

int TrendChartView::plotColumns() const
{
    const int width = int(m_chart->plotArea().width());
    return width >= 10 ? width : kFallbackColumns;
}

void TrendChartView::visibleSpan(qint64 &from, qint64 &to) const
{
    if (!m_follow) {
        from = shownFrom();
        to = shownTo();
        return;
    }
    if (!m_data.timeSpan(from, to)) {
        to = QDateTime::currentMSecsSinceEpoch();
        from = to - kEmptySpanMs;
        return;
    }
    to = std::max(to, from + kMinimumSpanMs);
}

void TrendChartView::setTimeRange(qint64 from, qint64 to)
{
    m_settingRange = true;
    m_timeAxis->setRange(double(from), double(to));
    setTimeLabels(from, to);
    m_settingRange = false;
}

void TrendChartView::setTimeLabels(qint64 from, qint64 to)
{
    const int labels = std::clamp(plotColumns() / kPixelsPerTimeLabel, 2, 12);
    const QList<TrendTimeTick> ticks = TrendTimeTicks(from, to, labels);
    QStringList wanted;
    for (const TrendTimeTick &tick : ticks)
        wanted << tick.label;
    if (wanted == m_timeAxis->categoriesLabels() && m_timeAxis->startValue() == double(from - 1))
        return;
    for (const QString &label : m_timeAxis->categoriesLabels())
        m_timeAxis->remove(label);
    // A category ends where its label stands; the first begins just before the span.
    m_timeAxis->setStartValue(double(from - 1));
    for (const TrendTimeTick &tick : ticks)
        m_timeAxis->append(tick.label, double(tick.time));
}

void TrendChartView::redraw()
{
    m_dirty = false;
    if (m_pass) {
        m_redrawAgain = true;
        return;
    }
    Pass pass;
    visibleSpan(pass.from, pass.to);
    m_drawnColumns = plotColumns();
    m_data.ReachBack(pass.from, pass.to, m_drawnColumns);
    pass.lines.reserve(size_t(m_data.seriesCount()));
    m_pass = std::move(pass);
    m_plot->awaitLines();
    reduceSlice();
}

bool TrendChartView::redrawing() const
{
    return m_pass || m_redrawAgain || m_plot->drawing();
}

void TrendChartView::reduceSlice()
{
    if (!m_pass)
        return;
    Pass &pass = *m_pass;
    QElapsedTimer started;
    started.start();
    const int count = m_data.seriesCount();
    const int first = int(pass.lines.size());
    for (int i = first; i < count && !TrendChartPlot::sliceIsOver(i - first, count, started); ++i) {
        const TrendSeries &series = m_data.series(i);
        TrendChartPlot::Line line;
        line.colour = colourOf(series);
        line.axis = m_valueAxes[size_t(series.axis)];
        if (isSeriesVisible(i)) {
            const TrendSamples samples = m_data.drawSamples(i, pass.from, pass.to, m_drawnColumns);
            line.trace = DecimateTrend(samples, MakeTrendWindow(samples, pass.from, pass.to, m_drawnColumns));
        }
        pass.lines.push_back(std::move(line));
    }
    if (int(pass.lines.size()) < count)
        m_sliceTimer.start();
    else
        showReduced();
}

void TrendChartView::showReduced()
{
    Pass pass = std::move(*m_pass);
    m_pass.reset();
    setTimeRange(pass.from, pass.to);
    std::vector<Extent> extents(m_valueAxes.size());
    m_shownPoints = 0;
    for (const TrendChartPlot::Line &line : pass.lines) {
        const auto axis = std::find(m_valueAxes.begin(), m_valueAxes.end(), line.axis);
        extents[size_t(axis - m_valueAxes.begin())].include(line.trace);
        m_shownPoints += line.trace.pointCount();
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
    m_plot->setLines(std::move(pass.lines));
    if (std::exchange(m_redrawAgain, false))
        redraw();
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

void TrendChartView::setSeriesVisible(int series, bool visible)
{
    const QString &sensor = m_data.series(series).sensorId;
    if (visible == !m_hiddenSensors.contains(sensor))
        return;
    if (visible)
        m_hiddenSensors.remove(sensor);
    else
        m_hiddenSensors.insert(sensor);
    redraw();
    emit seriesVisibilityChanged();
}

void TrendChartView::setAllSeriesVisible(bool visible)
{
    for (int i = 0; i < m_data.seriesCount(); ++i) {
        if (visible)
            m_hiddenSensors.remove(m_data.series(i).sensorId);
        else
            m_hiddenSensors.insert(m_data.series(i).sensorId);
    }
    redraw();
    emit seriesVisibilityChanged();
}

bool TrendChartView::isSeriesVisible(int series) const
{
    return !m_hiddenSensors.contains(m_data.series(series).sensorId);
}

std::optional<TrendChartView::Hover> TrendChartView::readingAt(const QPoint &position) const
{
    const QRectF area = m_chart->plotArea();
    const QPointF pointer = m_chart->mapFromScene(mapToScene(position));
    const double from = m_timeAxis->min();
    const double to = m_timeAxis->max();
    if (area.isEmpty() || to <= from || !area.adjusted(-kHoverPixels, 0, kHoverPixels, 0).contains(pointer))
        return std::nullopt;
    const double xScale = area.width() / (to - from);
    const double pointerTime = from + (pointer.x() - area.left()) / xScale;
    const qint64 nearFrom = qint64(std::floor(pointerTime - kHoverPixels / xScale));
    const qint64 nearTo = qint64(std::ceil(pointerTime + kHoverPixels / xScale));

    std::optional<Hover> best;
    double bestDistance = kHoverPixels * kHoverPixels;
    for (int i = 0; i < m_data.seriesCount(); ++i) {
        const QValueAxis *axis = m_valueAxes[size_t(m_data.series(i).axis)];
        if (!isSeriesVisible(i) || axis->max() <= axis->min())
            continue;
        const double yScale = area.height() / (axis->max() - axis->min());
        const auto toScreen = [&](int k, const TrendSamples &samples) {
            return QPointF(area.left() + (double(samples.time(k)) - from) * xScale,
                           area.bottom() - (samples.value(k) - axis->min()) * yScale);
        };
        const TrendSamples samples = m_data.samples(i);
        // The readings near the pointer, and one on each side for the lines that cross it.
        const int first = std::max(FirstTrendSampleAtOrAfter(samples, nearFrom, 0, samples.size()) - 1, 0);
        const int end = std::min(FirstTrendSampleAtOrAfter(samples, nearTo + 1, first, samples.size()) + 1,
                                 std::min(samples.size(), first + kHoverSamples));
        for (int k = first; k < end; ++k) {
            if (std::isnan(samples.value(k)))
                continue;
            const QPointF here = toScreen(k, samples);
            const bool joined = k + 1 < end && !std::isnan(samples.value(k + 1));
            const QPointF next = joined ? toScreen(k + 1, samples) : here;
            const double distance = distanceSquared(pointer, here, next);
            if (distance >= bestDistance)
                continue;
            bestDistance = distance;
            // The reading at the nearer end of the stretch the pointer is on.
            const bool nextIsNearer = joined && QPointF::dotProduct(pointer - next, pointer - next) <
                                                    QPointF::dotProduct(pointer - here, pointer - here);
            const int at = nextIsNearer ? k + 1 : k;
            best = Hover{i, samples.time(at), samples.value(at)};
        }
    }
    return best;
}

QString TrendChartView::hoverText(const Hover &hover) const
{
    const TrendSeries &series = m_data.series(hover.series);
    return series.name + QLatin1Char('\n') + series.deviceName + QLatin1Char('\n') +
           DateTimeText(QDateTime::fromMSecsSinceEpoch(hover.time)) + QLatin1Char('\n') +
           NumberText(hover.value) + QLatin1Char(' ') + TrendData::UnitTitle(series.unit);
}

void TrendChartView::showHover(const QPoint &position, const QPoint &globalPosition)
{
    const std::optional<Hover> hover = readingAt(position);
    if (!hover) {
        m_plot->setMarker(std::nullopt);
        QToolTip::hideText();
        return;
    }
    const TrendSeries &series = m_data.series(hover->series);
    m_plot->setMarker(TrendChartPlot::Marker{QPointF(double(hover->time), double(hover->value)),
                                             m_valueAxes[size_t(series.axis)], colourOf(series)});
    QToolTip::showText(globalPosition, hoverText(*hover), viewport());
}

void TrendChartView::showEvent(QShowEvent *event)
{
    QChartView::showEvent(event);
    if (m_dirty)
        redraw();
}

void TrendChartView::mouseMoveEvent(QMouseEvent *event)
{
    QChartView::mouseMoveEvent(event);
    if (event->buttons() == Qt::NoButton)
        showHover(event->position().toPoint(), event->globalPosition().toPoint());
}

void TrendChartView::leaveEvent(QEvent *event)
{
    m_plot->setMarker(std::nullopt);
    QChartView::leaveEvent(event);
}

bool TrendChartView::viewportEvent(QEvent *event)
{
    // Resting the pointer away from the lines explains how to use the chart.
    if (event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        if (!readingAt(help->pos()))
            QToolTip::showText(help->globalPos(), HintText, viewport());
        return true;
    }
    return QChartView::viewportEvent(event);
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

#include "moc_TrendChartView.cpp"
