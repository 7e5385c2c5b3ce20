#include "TrendLegend.h"

#include "TrendChartView.h"

#include <acquisition/TrendData.h>

#include <QHBoxLayout>
#include <QHash>
#include <QHeaderView>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {
constexpr int kMaximumWidth = 420;

QIcon swatch(const TrendColour &colour)
{
    QPixmap pixmap(14, 14);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.fillRect(QRect(0, 5, 14, 4), QColor(colour.red, colour.green, colour.blue));
    return QIcon(pixmap);
}
} // namespace

TrendLegend::TrendLegend(TrendChartView &chart, QWidget *parent) : QWidget(parent), m_chart(chart)
{
    setObjectName(QStringLiteral("trendLegend"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *buttons = new QHBoxLayout;
    m_all = new QPushButton(QStringLiteral("All"), this);
    m_all->setObjectName(QStringLiteral("btnTrendAll"));
    m_all->setToolTip(QStringLiteral("Show every line"));
    m_none = new QPushButton(QStringLiteral("None"), this);
    m_none->setObjectName(QStringLiteral("btnTrendNone"));
    m_none->setToolTip(QStringLiteral("Hide every line"));
    buttons->addWidget(m_all);
    buttons->addWidget(m_none);
    buttons->addStretch();
    layout->addLayout(buttons);

    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("lstTrendLegend"));
    m_list->setColumnCount(2);
    m_list->setHeaderLabels({QStringLiteral("Sensor"), QStringLiteral("Device")});
    m_list->setRootIsDecorated(false);
    // Every row is one line high; saying so keeps finding a row's place from walking all rows
    // above it, which made showing or hiding thousands of lines take seconds.
    m_list->setUniformRowHeights(true);
    m_list->setSelectionMode(QAbstractItemView::NoSelection);
    m_list->setFocusPolicy(Qt::NoFocus);
    m_list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_list->header()->setStretchLastSection(false);
    layout->addWidget(m_list);
    setMaximumWidth(kMaximumWidth);

    connect(m_all, &QPushButton::clicked, this, [this] { m_chart.setAllSeriesVisible(true); });
    connect(m_none, &QPushButton::clicked, this, [this] { m_chart.setAllSeriesVisible(false); });
    connect(m_list, &QTreeWidget::itemChanged, this, &TrendLegend::onItemChanged);
    connect(&m_chart.data(), &TrendData::built, this, &TrendLegend::refill);
    connect(&m_chart, &TrendChartView::seriesVisibilityChanged, this, &TrendLegend::showVisibility);
    refill();
}

void TrendLegend::refill()
{
    const TrendData &data = m_chart.data();
    m_filling = true;
    m_list->clear();
    // The palette has few colours; each swatch is drawn once however many lines share it.
    QHash<int, QIcon> swatches;
    for (int i = 0; i < data.seriesCount(); ++i) {
        const TrendSeries &series = data.series(i);
        auto *item = new QTreeWidgetItem(m_list, {series.name, series.deviceName});
        const int rgb = qRgb(series.colour.red, series.colour.green, series.colour.blue);
        if (!swatches.contains(rgb))
            swatches.insert(rgb, swatch(series.colour));
        item->setIcon(0, swatches.value(rgb));
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(0, m_chart.isSeriesVisible(i) ? Qt::Checked : Qt::Unchecked);
        item->setToolTip(0, series.name + QStringLiteral(" (") + TrendData::UnitTitle(series.unit) +
                                QStringLiteral("), sensor ID ") + series.sensorId);
    }
    m_filling = false;
    // Wide enough for the names, so none is cut, as far as the window allows.
    const int wanted = m_list->header()->length() + m_list->frameWidth() * 2 + 24;
    m_list->setMinimumWidth(std::min(wanted, kMaximumWidth));
}

void TrendLegend::showVisibility()
{
    m_filling = true;
    for (int i = 0; i < m_list->topLevelItemCount(); ++i)
        m_list->topLevelItem(i)->setCheckState(0, m_chart.isSeriesVisible(i) ? Qt::Checked : Qt::Unchecked);
    m_filling = false;
}

void TrendLegend::onItemChanged(QTreeWidgetItem *item, int column)
{
    if (m_filling || column != 0)
        return;
    m_chart.setSeriesVisible(m_list->indexOfTopLevelItem(item), item->checkState(0) == Qt::Checked);
}

#include "moc_TrendLegend.cpp"
