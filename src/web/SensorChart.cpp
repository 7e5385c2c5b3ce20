#include "SensorChart.h"

#include <QDateTime>
#include <QLocale>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {
constexpr qint64 kChartHourMs = 3600LL * 1000;
constexpr qint64 kChartDayMs = 24 * kChartHourMs;
constexpr int kPlotWidth = SensorChart::Width - SensorChart::Left - SensorChart::Right;
constexpr int kPlotHeight = SensorChart::Height - SensorChart::Top - SensorChart::Bottom;

QString coord(double value)
{
    return QString::number(value, 'f', 1);
}

// Maps times and values to the drawing.
class ChartScale {
public:
    ChartScale(qint64 fromMs, qint64 toMs, double low, double high)
        : m_from(fromMs), m_span(std::max<qint64>(1, toMs - fromMs)), m_low(low), m_high(high)
    {
    }
    double x(qint64 ms) const
    {
        const double share = double(std::clamp(ms, m_from, m_from + m_span) - m_from) / double(m_span);
        return SensorChart::Left + share * kPlotWidth;
    }
    double y(double value) const
    {
        return SensorChart::Top + (m_high - value) / (m_high - m_low) * kPlotHeight;
    }

private:
    qint64 m_from;
    qint64 m_span;
    double m_low;
    double m_high;
};

// A round step for about `ticks` divisions of the range: 1, 2 or 5 times a power of ten.
double niceStep(double range, int ticks)
{
    const double raw = range / ticks;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double m : {1.0, 2.0, 5.0})
        if (raw <= m * power)
            return m * power;
    return 10 * power;
}

struct ValueAxis {
    double low = 0;
    double high = 1;
    double step = 0.2;
};

// The values shown: every reading and both limits, with a little room, widened to round ticks.
ValueAxis valueAxis(const SensorChartView &view)
{
    double low = INFINITY;
    double high = -INFINITY;
    for (const SensorRangeStep &s : view.range.steps) {
        if (s.count == 0)
            continue;
        low = std::min(low, double(s.minimum));
        high = std::max(high, double(s.maximum));
    }
    for (const std::optional<double> &limit : {view.lowerLimit, view.upperLimit}) {
        if (limit) {
            low = std::min(low, *limit);
            high = std::max(high, *limit);
        }
    }
    if (!std::isfinite(low) || !std::isfinite(high))
        return {};
    if (high - low < 1e-6) {
        low -= 1;
        high += 1;
    }
    ValueAxis axis;
    axis.step = niceStep(high - low, 4);
    axis.low = std::floor(low / axis.step) * axis.step;
    axis.high = std::ceil(high / axis.step) * axis.step;
    return axis;
}

// Time ticks at round local times: hours, days or months, at most about eight of them.
std::vector<qint64> timeTicks(qint64 fromMs, qint64 toMs, QString &format)
{
    const qint64 span = toMs - fromMs;
    std::vector<qint64> ticks;
    const QDateTime from = QDateTime::fromMSecsSinceEpoch(fromMs);
    if (span > 62 * kChartDayMs) {
        format = QStringLiteral("MMM");
        const int months = span > 200 * kChartDayMs ? 2 : 1;
        for (QDate d(from.date().year(), from.date().month(), 1);
             QDateTime(d, QTime(0, 0)).toMSecsSinceEpoch() < toMs; d = d.addMonths(months))
            ticks.push_back(QDateTime(d, QTime(0, 0)).toMSecsSinceEpoch());
    } else if (span > 2 * kChartDayMs) {
        format = QStringLiteral("d MMM");
        const int days = span > 20 * kChartDayMs ? 5 : 1;
        for (QDate d = from.date(); QDateTime(d, QTime(0, 0)).toMSecsSinceEpoch() < toMs; d = d.addDays(days))
            ticks.push_back(QDateTime(d, QTime(0, 0)).toMSecsSinceEpoch());
    } else {
        format = QStringLiteral("HH:mm");
        const int hours = span > 12 * kChartHourMs ? 4 : span > 4 * kChartHourMs ? 1 : 0;
        const int step = std::max(1, hours);
        const QDateTime start(from.date(), QTime(from.time().hour() / step * step, 0));
        for (QDateTime t = start; t.toMSecsSinceEpoch() < toMs; t = t.addSecs(3600LL * step))
            ticks.push_back(t.toMSecsSinceEpoch());
    }
    ticks.erase(std::remove_if(ticks.begin(), ticks.end(), [fromMs](qint64 t) { return t < fromMs; }),
                ticks.end());
    return ticks;
}

QString axes(const SensorChartView &view, const ChartScale &scale, const ValueAxis &values)
{
    QString svg;
    for (double v = values.low; v <= values.high + values.step / 2; v += values.step) {
        const double y = scale.y(v);
        svg += QStringLiteral("<line x1=\"%1\" y1=\"%2\" x2=\"%3\" y2=\"%2\" stroke=\"#ddd\"/>"
                              "<text x=\"%4\" y=\"%5\" text-anchor=\"end\">%6</text>\n")
                   .arg(SensorChart::Left)
                   .arg(coord(y))
                   .arg(SensorChart::Width - SensorChart::Right)
                   .arg(SensorChart::Left - 4)
                   .arg(coord(y + 4))
                   .arg(QString::number(std::abs(v) < values.step / 1e6 ? 0.0 : v, 'g', 6));
    }
    QString format;
    const QLocale c = QLocale::c();
    for (const qint64 t : timeTicks(view.fromMs, view.toMs, format)) {
        const double x = scale.x(t);
        svg += QStringLiteral("<line x1=\"%1\" y1=\"%2\" x2=\"%1\" y2=\"%3\" stroke=\"#eee\"/>"
                              "<text x=\"%1\" y=\"%4\" text-anchor=\"middle\">%5</text>\n")
                   .arg(coord(x))
                   .arg(SensorChart::Top)
                   .arg(SensorChart::Height - SensorChart::Bottom)
                   .arg(SensorChart::Height - SensorChart::Bottom + 16)
                   .arg(c.toString(QDateTime::fromMSecsSinceEpoch(t), format));
    }
    return svg;
}

QString alarmPeriods(const SensorChartView &view, const ChartScale &scale)
{
    QString svg;
    for (const SensorChartView::Period &p : view.alarms) {
        const double x1 = scale.x(p.startMs);
        const double x2 = scale.x(p.endMs);
        if (p.endMs <= view.fromMs || p.startMs >= view.toMs)
            continue;
        svg += QStringLiteral("<rect class=\"alarm-period\" x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" "
                              "fill=\"#ffc4c4\"/>\n")
                   .arg(coord(x1))
                   .arg(SensorChart::Top)
                   .arg(coord(std::max(1.0, x2 - x1)))
                   .arg(kPlotHeight);
    }
    return svg;
}

QString limitLines(const SensorChartView &view, const ChartScale &scale)
{
    QString svg;
    const std::pair<const char *, std::optional<double>> limits[] = {{"upper", view.upperLimit},
                                                                     {"lower", view.lowerLimit}};
    for (const auto &[name, limit] : limits) {
        if (!limit)
            continue;
        const double y = scale.y(*limit);
        svg += QStringLiteral("<line class=\"limit\" x1=\"%1\" y1=\"%2\" x2=\"%3\" y2=\"%2\" stroke=\"#c00\" "
                              "stroke-width=\"1.5\" stroke-dasharray=\"6 4\"/>"
                              "<text x=\"%4\" y=\"%5\" text-anchor=\"end\" fill=\"#c00\">%6 %7</text>\n")
                   .arg(SensorChart::Left)
                   .arg(coord(y))
                   .arg(SensorChart::Width - SensorChart::Right)
                   .arg(SensorChart::Width - SensorChart::Right - 2)
                   .arg(coord(y - 3))
                   .arg(QLatin1String(name), QString::number(*limit, 'g', 6));
    }
    return svg;
}

// The runs of steps with readings, a run broken where readings were missing for gapMs or more.
std::vector<std::pair<size_t, size_t>> chartRuns(const SensorChartView &view)
{
    std::vector<std::pair<size_t, size_t>> found;
    const std::vector<SensorRangeStep> &steps = view.range.steps;
    const qint64 stepMs = std::max<qint64>(1, view.range.stepMs);
    size_t lastWith = steps.size();
    for (size_t i = 0; i < steps.size(); ++i) {
        if (steps[i].count == 0)
            continue;
        const bool joins = lastWith < steps.size() &&
                           steps[i].start - (steps[lastWith].start + stepMs) < std::max(view.gapMs, stepMs);
        if (joins)
            found.back().second = i;
        else
            found.push_back({i, i});
        lastWith = i;
    }
    return found;
}

// A run as a band from the lowest to the highest reading of each step, and its means as a line.
QString runPath(const SensorChartView &view, const ChartScale &scale, size_t first, size_t last)
{
    const std::vector<SensorRangeStep> &steps = view.range.steps;
    const qint64 stepMs = std::max<qint64>(1, view.range.stepMs);
    QString top;
    QString bottom;
    QString means;
    for (size_t i = first; i <= last; ++i) {
        const SensorRangeStep &s = steps[i];
        if (s.count == 0)
            continue;
        const double x1 = scale.x(s.start);
        const double x2 = std::max(scale.x(s.start + stepMs), x1 + 0.5);
        top += QStringLiteral("L%1 %2L%3 %2").arg(coord(x1), coord(scale.y(s.maximum)), coord(x2));
        bottom.prepend(QStringLiteral("L%1 %2L%3 %2").arg(coord(x2), coord(scale.y(s.minimum)), coord(x1)));
        means += QStringLiteral("%1,%2 ").arg(coord((x1 + x2) / 2), coord(scale.y(s.mean)));
    }
    top[0] = QLatin1Char('M');
    return QStringLiteral("<path class=\"range\" d=\"%1%2Z\" fill=\"#a9c8f0\" stroke=\"#6f9fd8\" "
                          "stroke-width=\"0.6\"/>\n<polyline class=\"mean\" points=\"%3\" fill=\"none\" "
                          "stroke=\"#1d4f91\" stroke-width=\"1.4\"/>\n")
        .arg(top, bottom, means.trimmed());
}
} // namespace

QString SensorChartSvg(const SensorChartView &view)
{
    const ValueAxis values = valueAxis(view);
    const ChartScale scale(view.fromMs, view.toMs, values.low, values.high);
    QString svg =
        QStringLiteral("<svg class=\"chart\" xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 %1 %2\" "
                       "role=\"img\" aria-label=\"Readings, limits and alarms over the span\" "
                       "font-family=\"system-ui,sans-serif\" font-size=\"11\" fill=\"#333\">\n"
                       "<rect x=\"%3\" y=\"%4\" width=\"%5\" height=\"%6\" fill=\"#fff\" "
                       "stroke=\"#bbb\"/>\n")
            .arg(SensorChart::Width)
            .arg(SensorChart::Height)
            .arg(SensorChart::Left)
            .arg(SensorChart::Top)
            .arg(kPlotWidth)
            .arg(kPlotHeight);
    svg += alarmPeriods(view, scale);
    svg += axes(view, scale, values);
    const std::vector<std::pair<size_t, size_t>> found = chartRuns(view);
    for (const auto &[first, last] : found)
        svg += runPath(view, scale, first, last);
    svg += limitLines(view, scale);
    if (found.empty())
        svg += QStringLiteral("<text class=\"no-readings\" x=\"%1\" y=\"%2\" text-anchor=\"middle\" "
                              "font-size=\"14\">No readings in this span.</text>\n")
                   .arg(SensorChart::Left + kPlotWidth / 2)
                   .arg(SensorChart::Top + kPlotHeight / 2);
    return svg + QStringLiteral("</svg>");
}
