#pragma once

#include <QWidget>

class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class TrendChartView;

// The trending chart's legend beside the chart: every series with its colour, its sensor's full
// name and its device, each with a check box that shows or hides its line, and "All" and "None"
// for every line at once. It follows the chart's layout and the chart's visibility.
class TrendLegend final : public QWidget {
    Q_OBJECT
public:
    explicit TrendLegend(TrendChartView &chart, QWidget *parent = nullptr);

    QTreeWidget *list() const { return m_list; }

private:
    void refill();
    void showVisibility();
    void onItemChanged(QTreeWidgetItem *item, int column);

    TrendChartView &m_chart;
    QTreeWidget *m_list = nullptr;
    QPushButton *m_all = nullptr;
    QPushButton *m_none = nullptr;
    bool m_filling = false;
};
