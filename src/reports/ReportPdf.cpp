#include "ReportPdf.h"

#include "PageFlow.h"
#include "ReportChart.h"
#include "ReportFormat.h"
#include "ReportTable.h"

#include <QBuffer>
#include <QFontMetricsF>
#include <QLocale>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>

namespace {

using namespace ReportFormat;

constexpr qreal kBodyPoints = 8;
constexpr qreal kChartHeightMm = 52;
constexpr int kPdfDpi = 300;
// The widest date and time the program writes.
const QString kLongestDateTime = QStringLiteral("12/30/2026 12:00:00 PM");
const QString kLongestDuration = QStringLiteral("000 h 00 min");

QFont fontOf(qreal points, bool bold = false)
{
    QFont font;
    font.setStyleHint(QFont::SansSerif);
    // No ligatures: "fi" stays two letters for anyone searching the document.
    font.setStyleStrategy(QFont::PreferNoShaping);
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

// Builds the report's blocks for one device and paints them page by page.
class ReportPainter {
public:
    ReportPainter(const Report &report, QPagedPaintDevice &device)
        : m_report(report), m_device(device), m_mm(device.logicalDpiX() / 25.4), m_width(device.width()),
          m_body(fontOf(kBodyPoints))
    {
    }

    bool paint(QString &error, const std::atomic_bool *cancel);

private:
    qreal mm(qreal v) const { return v * m_mm; }
    qreal lineHeight(const QFont &font) const { return QFontMetricsF(font, &m_device).height(); }
    void text(const QString &line, const QFont &font, qreal spaceAfter = 0);
    void title(const QString &line);
    void space(qreal height);
    void heading();
    void sensorTable();
    void charts();
    void alarmList();
    void failureList();
    void problemList();
    void paintFooter(QPainter &p, int page, int pages) const;

    const Report &m_report;
    QPagedPaintDevice &m_device;
    qreal m_mm;
    qreal m_width;
    QFont m_body;
    QList<FlowBlock> m_blocks;
};

void ReportPainter::text(const QString &line, const QFont &font, qreal spaceAfter)
{
    const qreal width = m_width;
    const QRectF room(0, 0, width, 1e9);
    const qreal height =
        QFontMetricsF(font, &m_device).boundingRect(room, Qt::TextWordWrap | Qt::AlignLeft, line).height();
    m_blocks.append({height + spaceAfter, [line, font, height](QPainter &p, const QRectF &at) {
                         p.setFont(font);
                         p.setPen(Qt::black);
                         p.drawText(QRectF(at.left(), at.top(), at.width(), height),
                                    Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, line);
                     }});
}

void ReportPainter::title(const QString &line)
{
    const QFont font = fontOf(12, true);
    space(mm(4));
    text(line, font, mm(1.5));
    m_blocks.last().keepWithNext = true;
}

void ReportPainter::space(qreal height)
{
    m_blocks.append({height, [](QPainter &, const QRectF &) {}});
}

void ReportPainter::heading()
{
    const ReportHeading &h = m_report.heading;
    if (!h.organization.isEmpty())
        text(h.organization, fontOf(14, true), mm(1));
    for (const QString &line :
         h.address.split(QRegularExpression(QStringLiteral("[\r\n]+")), Qt::SkipEmptyParts))
        text(line.trimmed(), fontOf(10));
    if (!h.phone.isEmpty())
        text(QStringLiteral("Phone: ") + h.phone, fontOf(10));
    space(mm(5));
    text(QStringLiteral("Monitoring report"), fontOf(18, true), mm(2));
    text(QStringLiteral("Period: %1 (%2 hours)").arg(m_report.period.text()).arg(m_report.period.hours()),
         fontOf(10));
    text(QStringLiteral("Made: ") + DateTime(m_report.made, QString()), fontOf(10));
    text(QStringLiteral("Sensors: %1    Alarms: %2    Device failures: %3")
             .arg(m_report.sensors.size())
             .arg(m_report.alarms.size())
             .arg(m_report.failures.size()),
         fontOf(10));
}

void ReportPainter::sensorTable()
{
    title(QStringLiteral("Sensors"));
    const QString number = QStringLiteral("-00000.00");
    const QList<TableColumn> columns{
        {QStringLiteral("Device"), 1},
        {QStringLiteral("Sensor"), 1},
        {QStringLiteral("Unit"), 0, Qt::AlignLeft, false, QStringLiteral("%RH")},
        {QStringLiteral("Minimum"), 0, Qt::AlignRight, false, number},
        {QStringLiteral("Maximum"), 0, Qt::AlignRight, false, number},
        {QStringLiteral("Mean"), 0, Qt::AlignRight, false, number},
        {QStringLiteral("Readings"), 0, Qt::AlignRight, false, QStringLiteral("0000000")},
        {QStringLiteral("Coverage"), 0, Qt::AlignRight, false, QStringLiteral("100.0 %")},
        {QStringLiteral("Time in alarm"), 0, Qt::AlignRight, false, kLongestDuration},
        {QStringLiteral("Alarms"), 0, Qt::AlignRight, false, QStringLiteral("0000")},
    };
    const int hours = m_report.period.hours();
    QList<TableRow> rows;
    bool anyRemoved = false;
    for (const SensorSummary &s : m_report.sensors) {
        anyRemoved = anyRemoved || s.removed;
        TableRow row;
        row.cells = {s.device,
                     s.removed ? s.sensor + QStringLiteral(" *") : s.sensor,
                     s.unit,
                     s.hasData() ? PrintedReading(s.minimum) : NoData,
                     s.hasData() ? PrintedReading(s.maximum) : QString(),
                     s.hasData() ? Mean(s.mean) : QString(),
                     QString::number(s.readings),
                     CoveragePercent(s, hours) + QStringLiteral(" %"),
                     Duration(s.alarmSeconds),
                     QString::number(s.alarmCount)};
        if (!s.hasData()) {
            row.spanFrom = 3;
            row.spanTo = 5;
        }
        rows.append(row);
    }
    ReportTable(columns, m_width, m_body, &m_device).appendTo(m_blocks, rows);
    space(mm(1.5));
    text(QStringLiteral(
             "Mean: weighted by each hour's readings.  Coverage: share of the period's %1 hours with "
             "at least one reading.  Time in alarm: inside the period; an alarm still open counts "
             "up to the end of the period or the time the report was made.")
             .arg(hours),
         fontOf(7));
    if (anyRemoved)
        text(QStringLiteral("* ") + Removed + QStringLiteral(": named from its data files or its alarms."),
             fontOf(7));
}

void ReportPainter::charts()
{
    title(QStringLiteral("Hourly minimum, maximum and mean"));
    text(QStringLiteral("The band runs from each hour's lowest to its highest reading; the line joins the "
                        "hourly means.  Hours without readings leave a gap."),
         fontOf(7), mm(1));
    const ReportPeriod period = m_report.period;
    const QFont font = fontOf(7);
    for (const SensorSummary &sensor : m_report.sensors) {
        const qreal height = mm(kChartHeightMm);
        m_blocks.append({height, [&sensor, period, font, this](QPainter &p, const QRectF &at) {
                             PaintSensorChart(p, at.adjusted(0, mm(1), 0, -mm(3)), sensor, period, font);
                         }});
    }
}

void ReportPainter::alarmList()
{
    title(QStringLiteral("Alarms"));
    if (m_report.alarms.isEmpty()) {
        text(QStringLiteral("No alarms in this period."), m_body);
        return;
    }
    const QList<TableColumn> columns{
        {QStringLiteral("Start"), 0, Qt::AlignLeft, false, kLongestDateTime},
        {QStringLiteral("End"), 0, Qt::AlignLeft, false, kLongestDateTime},
        {QStringLiteral("In period"), 0, Qt::AlignRight, false, kLongestDuration},
        {QStringLiteral("Device"), 18, Qt::AlignLeft, true},
        {QStringLiteral("Sensor"), 18, Qt::AlignLeft, true},
        {QStringLiteral("Cause"), 36, Qt::AlignLeft, true},
        {QStringLiteral("E-mail"), 26, Qt::AlignLeft, true},
        {QStringLiteral("Resolution"), 26, Qt::AlignLeft, true},
    };
    QList<TableRow> rows;
    for (const ReportAlarm &a : m_report.alarms)
        rows.append({{DateTime(a.start, QString()), DateTime(a.end, QStringLiteral("open")),
                      Duration(a.secondsInPeriod), a.device, a.sensor, OneLine(a.cause), OneLine(a.emailSent),
                      OneLine(a.resolution)}});
    ReportTable(columns, m_width, fontOf(7), &m_device).appendTo(m_blocks, rows);
}

void ReportPainter::failureList()
{
    title(QStringLiteral("Device failures"));
    if (m_report.failures.isEmpty()) {
        text(QStringLiteral("No device failures in this period."), m_body);
        return;
    }
    const QList<TableColumn> columns{
        {QStringLiteral("Device"), 30, Qt::AlignLeft, true},
        {QStringLiteral("Off line"), 0, Qt::AlignLeft, false, kLongestDateTime},
        {QStringLiteral("Back on line"), 0, Qt::AlignLeft, true, kLongestDateTime},
        {QStringLiteral("In period"), 0, Qt::AlignRight, false, kLongestDuration},
        {QStringLiteral("E-mail"), 46, Qt::AlignLeft, true},
    };
    QList<TableRow> rows;
    for (const ReportFailure &f : m_report.failures) {
        const QString back =
            f.backOnLine.isValid()
                ? DateTime(f.backOnLine, QString())
                : (f.backOnLineText.isEmpty() ? QStringLiteral("still failing") : f.backOnLineText);
        rows.append({{f.device, DateTime(f.offLine, QString()), back, Duration(f.secondsInPeriod),
                      OneLine(f.emailSent)}});
    }
    ReportTable(columns, m_width, fontOf(7), &m_device).appendTo(m_blocks, rows);
}

void ReportPainter::problemList()
{
    if (m_report.problems.isEmpty())
        return;
    title(QStringLiteral("What could not be read"));
    for (const QString &problem : m_report.problems)
        text(problem, fontOf(7));
}

void ReportPainter::paintFooter(QPainter &p, int page, int pages) const
{
    const QFont font = fontOf(7);
    const qreal height = lineHeight(font);
    const qreal top = m_device.height() - height;
    p.setFont(font);
    p.setPen(QColor(90, 90, 90));
    const QString left = m_report.heading.organization.isEmpty()
                             ? QStringLiteral("Monitoring report ") + m_report.period.text()
                             : m_report.heading.organization + QStringLiteral(" - monitoring report ") +
                                   m_report.period.text();
    p.drawText(QRectF(0, top, m_width * 0.75, height), Qt::AlignLeft | Qt::AlignVCenter, left);
    p.drawText(QRectF(0, top, m_width, height), Qt::AlignRight | Qt::AlignVCenter,
               QStringLiteral("Page %1 of %2").arg(page).arg(pages));
}

bool ReportPainter::paint(QString &error, const std::atomic_bool *cancel)
{
    heading();
    sensorTable();
    charts();
    alarmList();
    failureList();
    problemList();

    const qreal footer = lineHeight(fontOf(7)) + mm(3);
    const QList<QList<PageFlow::Placed>> pages = PageFlow(m_device.height() - footer).paginate(m_blocks);
    QPainter p;
    if (!p.begin(&m_device)) {
        error = QStringLiteral("The report could not be drawn on its page.");
        return false;
    }
    for (int page = 0; page < pages.size(); ++page) {
        if (cancel && cancel->load()) {
            p.end();
            error = QStringLiteral("The report was cancelled.");
            return false;
        }
        if (page > 0)
            m_device.newPage();
        for (const PageFlow::Placed &placed : pages[page]) {
            const FlowBlock &block = m_blocks[placed.block];
            p.save();
            block.paint(p, QRectF(0, placed.top, m_width, block.height));
            p.restore();
        }
        paintFooter(p, page + 1, int(pages.size()));
    }
    return p.end();
}

} // namespace

bool PaintReport(const Report &report, QPagedPaintDevice &device, QString &error,
                 const std::atomic_bool *cancel)
{
    return ReportPainter(report, device).paint(error, cancel);
}

QByteArray ReportPdf(const Report &report, QString &error, const std::atomic_bool *cancel)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setResolution(kPdfDpi);
        const bool inches = QLocale::system().measurementSystem() == QLocale::ImperialUSSystem;
        writer.setPageSize(QPageSize(inches ? QPageSize::Letter : QPageSize::A4));
        writer.setPageMargins(QMarginsF(15, 15, 15, 12), QPageLayout::Millimeter);
        writer.setTitle(QStringLiteral("Monitoring report ") + report.period.text());
        writer.setCreator(QStringLiteral("Tallyport"));
        if (!PaintReport(report, writer, error, cancel))
            return {};
    }
    return buffer.data();
}
