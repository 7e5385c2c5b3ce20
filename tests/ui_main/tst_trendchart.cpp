#include <acquisition/TrendData.h>
#include <acquisition/TrendDecimation.h>
#include <support/TestState.h>
#include <ui/main/MainWindow.h>
#include <ui/main/TrendChartView.h>

#include <QApplication>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTest>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

#include <cmath>

namespace {
const QString F = QString(QChar(0x00B0)) + QLatin1Char('F');
const QString C = QString(QChar(0x00B0)) + QLatin1Char('C');
const QString RH = QStringLiteral("%RH");

// The status grid: Device, Sensor, Reading, Units, Status, Sensor ID.
void fillGrid(QStandardItemModel &grid, const QStringList &units)
{
    grid.clear();
    for (int r = 0; r < units.size(); ++r) {
        QList<QStandardItem *> row;
        for (const QString &text :
             {QStringLiteral("Server"), QStringLiteral("Sensor %1").arg(r + 1), QStringLiteral("70.0"),
              units[r], QStringLiteral("Normal"), QString::number(r + 1)})
            row << new QStandardItem(text);
        grid.appendRow(row);
    }
}

void setReading(QStandardItemModel &grid, int row, const QString &text)
{
    grid.item(row, TrendData::ReadingColumn)->setText(text);
}
} // namespace

class TestTrendChart : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        m_t = std::make_unique<TestState>();
        m_t->clock.set(QDateTime(QDate(2024, 5, 1), QTime(9, 0)));
        m_data = std::make_unique<TrendData>(m_t->clock);
        m_data->setModel(&m_grid);
        m_view = std::make_unique<TrendChartView>(*m_data);
        m_view->resize(900, 600);
        m_view->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
    }
    void cleanup()
    {
        m_view.reset();
        m_data.reset();
        m_t.reset();
    }

    void linesAndAxesFollowTheGrid_data()
    {
        QTest::addColumn<QStringList>("units");
        QTest::addColumn<QStringList>("axes");
        QTest::newRow("door and water only") << QStringList{"", ""} << QStringList{};
        QTest::newRow("Celsius and humidity") << QStringList{RH, C} << QStringList{C, RH};
        QTest::newRow("three kinds") << QStringList{RH, "", C, F} << QStringList{F, C, RH};
    }
    void linesAndAxesFollowTheGrid()
    {
        QFETCH(QStringList, units);
        QFETCH(QStringList, axes);
        fillGrid(m_grid, units);
        m_data->Build();
        m_data->AddReadings();

        QStringList titles;
        for (QValueAxis *axis : m_view->valueAxes())
            titles << axis->titleText();
        QCOMPARE(titles, axes);
        if (!axes.isEmpty()) {
            QCOMPARE(m_view->valueAxes().front()->alignment(), Qt::AlignLeft);
            QCOMPARE(m_view->valueAxes().back()->alignment(),
                     axes.size() > 1 ? Qt::AlignRight : Qt::AlignLeft);
        }
        QCOMPARE(m_view->chart()->series().size(), m_data->seriesCount());
        for (int i = 0; i < m_data->seriesCount(); ++i) {
            const TrendSeries &source = m_data->series(i);
            QLineSeries *legend = m_view->legendSeries(i);
            QCOMPARE(legend->name(), source.name);
            QCOMPARE(legend->color(), QColor(source.colour.red, source.colour.green, source.colour.blue));
            QVERIFY(legend->attachedAxes().contains(m_view->valueAxes()[size_t(source.axis)]));
            QCOMPARE(m_view->trace(i).pointCount(), 1);
        }
        QCOMPARE(m_view->timeAxis()->format(), QString("h:mm AP"));
        QCOMPARE(m_view->timeAxis()->titleText(), QString("Time"));
    }

    void sensorOpenBreaksTheLine()
    {
        fillGrid(m_grid, {F, F});
        m_data->Build();
        for (const QString &reading : {"70.1", "70.2", "Sensor Open", "70.4", "70.5"}) {
            setReading(m_grid, 0, reading);
            m_data->AddReadings();
            m_t->clock.advanceSeconds(60);
        }
        QCOMPARE(m_view->trace(0).pieces.size(), 2);
        QCOMPARE(m_view->trace(0).pieces[0].size(), 2);
        QCOMPARE(m_view->trace(0).pieces[1].size(), 2);
        QCOMPARE(m_view->trace(1).pieces.size(), 1);
        QCOMPARE(m_view->trace(1).pieces[0].size(), 5);
    }

    void longRunsAreDrawnAtScreenResolution()
    {
        const int series = 5;
        const int points = 20000;
        fillGrid(m_grid, QStringList(series, F));
        m_data->Build();
        m_view->hide(); // filled without drawing, drawn once shown
        for (int i = 0; i < points; ++i) {
            for (int r = 0; r < series; ++r)
                setReading(m_grid, r, QString::number(60 + r + (i % 50) / 10.0, 'f', 1));
            if (i == 12345)
                setReading(m_grid, 2, "95.5");
            m_data->AddReadings();
            m_t->clock.advanceSeconds(60);
        }
        m_view->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
        const int columns = int(m_view->chart()->plotArea().width());
        QVERIFY(columns > 100);
        QVERIFY(m_view->shownPointCount() <= series * (2 * columns + 2));
        QCOMPARE(m_view->trace(2).high, 95.5f);
        QVERIFY(m_view->valueAxes().front()->max() >= 95.5);
        QCOMPARE(m_view->timeAxis()->min().toMSecsSinceEpoch(), m_data->times().front());
        QCOMPARE(m_view->timeAxis()->max().toMSecsSinceEpoch(), m_data->times().back());
        QVERIFY(!m_view->grab().isNull());
    }

    void idleChartSettles()
    {
        // Axis labels shift the plot area by a few pixels; that must not redraw it for ever.
        const QStringList units{F, C, RH, F, "", C, RH};
        fillGrid(m_grid, units);
        m_view->resize(1114, 667);
        m_data->Build();
        for (int i = 0; i < 90; ++i) {
            for (int r = 0; r < units.size(); ++r)
                setReading(m_grid, r, QString::number(50 + r * 5 + 10 * std::sin(i / 10.0 + r), 'f', 1));
            m_data->AddReadings();
            m_t->clock.advanceSeconds(60);
        }
        QTest::qWait(200);
        QSignalSpy layouts(m_view->chart(), &QChart::plotAreaChanged);
        QTest::qWait(300);
        QCOMPARE(layouts.count(), 0);
    }

    void zoomKeepsItsSpanUntilRightClick()
    {
        fillGrid(m_grid, {C});
        m_data->Build();
        for (int i = 0; i < 600; ++i) {
            setReading(m_grid, 0, QString::number(i));
            m_data->AddReadings();
            m_t->clock.advanceSeconds(60);
        }
        const QDateTime start = QDateTime::fromMSecsSinceEpoch(m_data->times().front());
        m_view->timeAxis()->setRange(start.addSecs(100 * 60), start.addSecs(200 * 60));
        QTRY_COMPARE(m_view->trace(0).high, 200.0f);
        QVERIFY(!m_view->followsNewPoints());
        m_data->AddReadings();
        QCOMPARE(m_view->timeAxis()->max(), start.addSecs(200 * 60));

        QTest::mouseClick(m_view->viewport(), Qt::RightButton);
        QVERIFY(m_view->followsNewPoints());
        QCOMPARE(m_view->trace(0).low, 0.0f);
        QCOMPARE(m_view->timeAxis()->max().toMSecsSinceEpoch(), m_data->times().back());
    }

    void mainWindowFreezeButton()
    {
        m_view.reset();
        MainWindow window(m_t->state);
        window.setTrendGridModel(&m_grid);
        fillGrid(m_grid, {F, RH});
        auto *chart = window.chartArea()->findChild<TrendChartView *>();
        QVERIFY(chart);
        QCOMPARE(window.trendChart(), chart);
        auto *button = window.findChild<QPushButton *>("btnFreezeExamine");
        QCOMPARE(button->text(), QString("Examine"));

        m_t->state.FirstCycle = true;
        m_t->state.TrendingEnabled = true;
        window.pollTimer().afterCycle(); // the first cycle builds the chart
        QCOMPARE(window.trendData().seriesCount(), 2);
        QCOMPARE(window.trendData().pointCount(), 1);
        QVERIFY(!m_t->state.FirstCycle);

        window.VKLShow(2);
        window.show();
        QVERIFY(button->isVisible());
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(button->text(), QString("Continue"));
        QVERIFY(!m_t->state.TrendingEnabled);
        window.trendAfterCycle();
        QCOMPARE(window.trendData().pointCount(), 1);

        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(button->text(), QString("Examine"));
        QVERIFY(m_t->state.TrendingEnabled);
        window.trendAfterCycle();
        QCOMPARE(window.trendData().pointCount(), 2);
        QCOMPARE(chart->trace(0).pointCount(), 2);

        // A new activation decides afresh: here, with no sensors to poll, trending is off and the
        // chart view is left for the status view.
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(button->text(), QString("Continue"));
        m_t->state.ReinitOnActivate = true;
        window.activate();
        QVERIFY(!m_t->state.TrendingEnabled);
        QCOMPARE(button->text(), QString("Examine"));
        QCOMPARE(window.currentView(), 1);
    }

private:
    std::unique_ptr<TestState> m_t;
    QStandardItemModel m_grid;
    std::unique_ptr<TrendData> m_data;
    std::unique_ptr<TrendChartView> m_view;
};

QTEST_MAIN(TestTrendChart)
#include "tst_trendchart.moc"
