#include "ReportChart.h"

#include "ReportFormat.h"

#include <QFontMetricsF>
#include <QLocale>
#include <QPaintDevice>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace {
const QColor kFrame(120, 126, 140);
const QColor kGrid(222, 225, 232);
const QColor kBand(160, 190, 235);
const QColor kMean(20, 60, 150);
constexpr qint64 kHourMs = 3600 * 1000;

// Places times and values in the plot rectangle.
class Scale {
public:
    Scale(const QRectF &plot, const ReportPeriod &period, double low, double high)
        : m_plot(plot), m_from(period.from.toMSecsSinceEpoch()),
          m_span(qMax<qint64>(1, period.from.msecsTo(period.to))), m_low(low), m_high(high)
    {
    }
    qreal x(qint64 ms) const { return m_plot.left() + m_plot.width() * double(ms - m_from) / double(m_span); }
    qreal x(const QDateTime &t) const { return x(t.toMSecsSinceEpoch()); }
    qreal y(double v) const { return m_plot.bottom() - m_plot.height() * (v - m_low) / (m_high - m_low); }

private:
    QRectF m_plot;
    qint64 m_from;
    qint64 m_span;
    double m_low;
    double m_high;
};

int decimalsFor(double step)
{
    return step >= 1 ? 0 : int(std::ceil(-std::log10(step) - 1e-9));
}

void paintValueAxis(QPainter &p, const QRectF &plot, const Scale &scale, const QList<double> &steps,
                    qreal labelRight)
{
    const int decimals = steps.size() > 1 ? decimalsFor(steps[1] - steps[0]) : 0;
    const QFontMetricsF metrics(p.font(), p.device());
    for (const double v : steps) {
        const qreal y = scale.y(v);
        p.setPen(QPen(kGrid, 0));
        p.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        p.setPen(Qt::black);
        const QRectF label(plot.left() - labelRight, y - metrics.height() / 2,
                           labelRight - metrics.averageCharWidth(), metrics.height());
        p.drawText(label, Qt::AlignRight | Qt::AlignVCenter, QString::number(v, 'f', decimals));
    }
}

// Marks at midnight (every few days, so labels never crowd), or every three hours for short
// periods.
void paintTimeAxis(QPainter &p, const QRectF &plot, const Scale &scale, const ReportPeriod &period)
{
    const QFontMetricsF metrics(p.font(), p.device());
    const qint64 hours = period.from.secsTo(period.to) / 3600;
    QList<QDateTime> marks;
    QString format = QStringLiteral("M/d");
    if (hours <= 48) {
        format = QStringLiteral("h AP");
        for (QDateTime t(period.from.date(), QTime(0, 0)); t <= period.to; t = t.addSecs(3 * 3600))
            if (t >= period.from)
                marks.append(t);
    } else {
        const qint64 days = hours / 24 + 1;
        const int every = days <= 10   ? 1
                          : days <= 20 ? 2
                          : days <= 40 ? 4
                          : days <= 70 ? 7
                                       : int(days / 10 + 1);
        int n = 0;
        for (QDate d = period.from.date(); QDateTime(d, QTime(0, 0)) <= period.to; d = d.addDays(1), ++n) {
            const QDateTime t(d, QTime(0, 0));
            if (t >= period.from && n % every == 0)
                marks.append(t);
        }
    }
    for (const QDateTime &t : std::as_const(marks)) {
        const qreal x = scale.x(t);
        p.setPen(QPen(kGrid, 0));
        p.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
        p.setPen(Qt::black);
        const QString text = QLocale::c().toString(t, format);
        const qreal w = metrics.horizontalAdvance(text);
        p.drawText(QRectF(x - w / 2, plot.bottom() + metrics.height() * 0.6, w + 1, metrics.height()),
                   Qt::AlignCenter, text);
    }
}

// The hours as runs without a gap: the band and the line break between runs.
QList<QList<const ReportHour *>> runsOf(const std::vector<ReportHour> &hours)
{
    QList<QList<const ReportHour *>> runs;
    for (const ReportHour &h : hours) {
        if (runs.isEmpty() || h.startMs - runs.last().last()->startMs > kHourMs)
            runs.append(QList<const ReportHour *>());
        runs.last().append(&h);
    }
    return runs;
}

void paintRun(QPainter &p, const Scale &scale, const QList<const ReportHour *> &run, qreal lineWidth)
{
    auto center = [&](const ReportHour *h) { return scale.x(h->startMs + kHourMs / 2); };
    if (run.size() == 1) {
        const ReportHour *h = run.first();
        p.setPen(QPen(kBand, lineWidth * 2));
        p.drawLine(QPointF(center(h), scale.y(h->minimum)), QPointF(center(h), scale.y(h->maximum)));
        p.setPen(QPen(kMean, lineWidth * 2, Qt::SolidLine, Qt::RoundCap));
        p.drawPoint(QPointF(center(h), scale.y(h->mean)));
        return;
    }
    QPolygonF band;
    QPolygonF mean;
    for (const ReportHour *h : run) {
        band.append(QPointF(center(h), scale.y(h->maximum)));
        mean.append(QPointF(center(h), scale.y(h->mean)));
    }
    for (auto it = run.crbegin(); it != run.crend(); ++it)
        band.append(QPointF(center(*it), scale.y((*it)->minimum)));
    p.setPen(Qt::NoPen);
    p.setBrush(kBand);
    p.drawPolygon(band);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(kMean, lineWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(mean);
}

QString titleOf(const SensorSummary &sensor)
{
    QString title = sensor.device + QStringLiteral(" - ") + sensor.sensor;
    if (!sensor.unit.isEmpty())
        title += QStringLiteral(" (") + sensor.unit + QLatin1Char(')');
    return title;
}
} // namespace

QList<double> AxisSteps(double low, double high, int count)
{
    if (!(high > low))
        return {low};
    const double raw = (high - low) / qMax(1, count);
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    double step = power;
    for (const double factor : {1.0, 2.0, 5.0, 10.0}) {
        step = factor * power;
        if (step >= raw)
            break;
    }
    QList<double> steps;
    const double first = std::floor(low / step) * step;
    for (double v = first; v < high + step * 0.999; v += step)
        steps.append(std::abs(v) < step * 1e-9 ? 0.0 : v);
    return steps;
}

void PaintSensorChart(QPainter &p, const QRectF &area, const SensorSummary &sensor,
                      const ReportPeriod &period, const QFont &font)
{
    const qreal mm = p.device()->logicalDpiX() / 25.4;
    QFont bold = font;
    bold.setBold(true);
    const QFontMetricsF titleMetrics(bold, p.device());
    const QFontMetricsF metrics(font, p.device());
    p.save();
    p.setFont(bold);
    p.setPen(Qt::black);
    const QRectF titleRect(area.left(), area.top(), area.width(), titleMetrics.height());
    p.drawText(titleRect, Qt::AlignLeft | Qt::AlignVCenter,
               titleMetrics.elidedText(titleOf(sensor), Qt::ElideRight, titleRect.width()));

    const qreal labelWidth = metrics.horizontalAdvance(QStringLiteral("-00000.00")) + mm;
    const QRectF plot(area.left() + labelWidth, titleRect.bottom() + mm, area.width() - labelWidth,
                      area.height() - titleRect.height() - 2 * mm - metrics.height() * 1.6);
    p.setFont(font);
    if (!sensor.hasData()) {
        p.setPen(QPen(kFrame, 0));
        p.drawRect(plot);
        p.setPen(Qt::black);
        p.drawText(plot, Qt::AlignCenter, ReportFormat::NoData);
        p.restore();
        return;
    }
    double low = sensor.minimum;
    double high = sensor.maximum;
    if (!(high > low)) {
        low -= 1;
        high += 1;
    }
    const QList<double> steps = AxisSteps(low, high, 5);
    const Scale scale(plot, period, steps.first(), qMax(steps.last(), steps.first() + 1e-9));
    paintValueAxis(p, plot, scale, steps, labelWidth);
    paintTimeAxis(p, plot, scale, period);
    p.setClipRect(plot);
    p.setRenderHint(QPainter::Antialiasing);
    for (const QList<const ReportHour *> &run : runsOf(sensor.hours))
        paintRun(p, scale, run, 0.3 * mm);
    p.setClipping(false);
    p.setPen(QPen(kFrame, 0));
    p.setBrush(Qt::NoBrush);
    p.drawRect(plot);
    p.restore();
}
