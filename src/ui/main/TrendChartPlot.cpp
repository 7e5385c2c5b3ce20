#include "TrendChartPlot.h"

#include <QPaintDevice>
#include <QPainter>
#include <QPolygonF>
#include <QtCharts/QValueAxis>

#include <algorithm>

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

Mapping mappingFor(const QRectF &area, double from, double to, double low, double high)
{
    return Mapping{area, from, area.width() / (to - from), low, area.height() / (high - low)};
}
} // namespace

TrendChartPlot::TrendChartPlot(QValueAxis *timeAxis, QGraphicsItem *parent)
    : QGraphicsItem(parent), m_timeAxis(timeAxis)
{
    m_sliceTimer.setSingleShot(true);
    m_sliceTimer.setInterval(0);
    QObject::connect(&m_sliceTimer, &QTimer::timeout, [this] { drawSlice(); });
}

bool TrendChartPlot::sliceIsOver(int done, int total, const QElapsedTimer &started)
{
    return total > LinesAtOnce && (done >= LinesAtOnce || started.hasExpired(SliceMs));
}

void TrendChartPlot::setLines(std::vector<Line> lines)
{
    m_lines = std::move(lines);
    m_awaitingLines = false;
    m_valueAxes.clear();
    for (const Line &line : m_lines)
        if (line.axis && std::find(m_valueAxes.begin(), m_valueAxes.end(), line.axis) == m_valueAxes.end())
            m_valueAxes.push_back(line.axis);
    // The picture being drawn was of the lines before; the finished one stays until a new one is.
    m_drawing = false;
    m_sliceTimer.stop();
    m_pictureFrame.reset();
    // Many lines are drawn from now on in slices; a few when next painted.
    if (m_lines.size() > size_t(LinesAtOnce))
        if (const std::optional<Frame> frame = currentFrame())
            startPicture(*frame);
    update();
}

void TrendChartPlot::awaitLines()
{
    m_awaitingLines = true;
    if (m_lines.size() <= size_t(LinesAtOnce))
        return;
    m_drawing = false;
    m_sliceTimer.stop();
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

std::optional<TrendChartPlot::Frame> TrendChartPlot::currentFrame() const
{
    Frame frame{m_area, m_area.toAlignedRect(), m_timeAxis->min(), m_timeAxis->max(), {}, m_pixelRatio};
    if (m_area.isEmpty() || frame.to <= frame.from)
        return std::nullopt;
    for (const QValueAxis *axis : m_valueAxes)
        frame.valueRanges.push_back({axis, {axis->min(), axis->max()}});
    return frame;
}

void TrendChartPlot::paint(QPainter *painter, const QStyleOptionGraphicsItem *, QWidget *)
{
    m_pixelRatio = painter->device() ? painter->device()->devicePixelRatioF() : 1;
    const std::optional<Frame> frame = currentFrame();
    if (!frame)
        return;
    const bool replaced = m_awaitingLines && m_lines.size() > size_t(LinesAtOnce);
    if (frame != m_pictureFrame && !(m_drawing && m_nextFrame == *frame) && !replaced)
        startPicture(*frame);
    painter->save();
    if (!m_picture.isNull())
        painter->drawImage(m_picture.offset(), m_picture);
    if (m_marker && m_marker->axis && m_marker->axis->max() > m_marker->axis->min()) {
        painter->setClipRect(m_area);
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(QPen(Qt::white, 1.5));
        painter->setBrush(m_marker->colour);
        const Mapping map =
            mappingFor(m_area, frame->from, frame->to, m_marker->axis->min(), m_marker->axis->max());
        painter->drawEllipse(map(m_marker->point), kMarkerRadius, kMarkerRadius);
    }
    painter->restore();
}

void TrendChartPlot::startPicture(const Frame &frame)
{
    m_next = QImage(frame.pixels.size() * frame.pixelRatio, QImage::Format_ARGB32_Premultiplied);
    m_next.setDevicePixelRatio(frame.pixelRatio);
    m_next.setOffset(frame.pixels.topLeft());
    m_next.fill(Qt::transparent);
    m_nextFrame = frame;
    m_nextLine = 0;
    m_drawing = true;
    // Painting goes on with the last picture while many lines are drawn in later turns.
    if (m_lines.size() <= size_t(LinesAtOnce))
        drawSlice();
    else
        m_sliceTimer.start();
}

void TrendChartPlot::drawSlice()
{
    if (!m_drawing)
        return;
    drawLines(m_next, m_nextFrame);
    if (m_nextLine < m_lines.size()) {
        m_sliceTimer.start();
        return;
    }
    m_drawing = false;
    const bool late = m_lines.size() > size_t(LinesAtOnce);
    m_picture = std::move(m_next);
    m_next = QImage();
    m_pictureFrame = m_nextFrame;
    // Drawn in slices after the paint that asked for it: shown by the next one.
    if (late)
        update();
}

void TrendChartPlot::drawLines(QImage &picture, const Frame &frame)
{
    QElapsedTimer started;
    started.start();
    QPainter painter(&picture);
    painter.translate(-frame.pixels.topLeft());
    painter.setClipRect(frame.area);
    QPolygonF polyline;
    const int total = int(m_lines.size());
    for (int done = 0; m_nextLine < m_lines.size() && !sliceIsOver(done, total, started);
         ++m_nextLine, ++done) {
        const Line &line = m_lines[m_nextLine];
        const auto range = std::find_if(frame.valueRanges.begin(), frame.valueRanges.end(),
                                        [&](const auto &entry) { return entry.first == line.axis; });
        if (range == frame.valueRanges.end() || range->second.second <= range->second.first)
            continue;
        const Mapping map =
            mappingFor(frame.area, frame.from, frame.to, range->second.first, range->second.second);
        QPen pen(line.colour, 1);
        pen.setCosmetic(true);
        painter.setPen(pen);
        for (const QList<QPointF> &piece : line.trace.pieces) {
            polyline.resize(piece.size());
            for (qsizetype i = 0; i < piece.size(); ++i)
                polyline[i] = map(piece[i]);
            if (polyline.size() == 1)
                painter.drawPoint(polyline.first());
            else
                painter.drawPolyline(polyline);
        }
    }
}
