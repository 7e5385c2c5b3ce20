#include <acquisition/TrendData.h>
#include <acquisition/TrendDecimation.h>
#include <acquisition/TrendFeed.h>
#include <support/Screenshot.h>
#include <support/TestState.h>
#include <ui/main/MainWindow.h>
#include <ui/main/TrendChartPlot.h>
#include <ui/main/TrendChartView.h>
#include <ui/main/TrendLegend.h>

#include <acquisition/Monitor.h>
#include <acquisition/SensorDataFiles.h>
#include <core/Cipher.h>
#include <core/ConfigFile.h>
#include <db/Records.h>
#include <db/SchemaFile.h>

#include <QApplication>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <QTreeWidget>
#include <QtCharts/QCategoryAxis>
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
        for (int i = 0; i < m_data->seriesCount(); ++i)
            QCOMPARE(m_view->trace(i).pointCount(), 1);
        QCOMPARE(m_view->timeAxis()->titleText(), QString("Time"));
        // A view made when the chart has its lines already follows the run as well: laying out
        // its axes is no zoom.
        TrendChartView late(*m_data);
        QVERIFY(late.followsNewPoints());
        if (m_data->seriesCount() > 0)
            QCOMPARE(late.shownTo(), m_data->times().back() + 60 * 1000);
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
        QCOMPARE(m_view->shownFrom(), m_data->times().front());
        QCOMPARE(m_view->shownTo(), m_data->times().back());
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

    // Thousands of lines are reduced and drawn a slice at a time: the window answers between
    // the slices, a cycle that arrives meanwhile is drawn after the one under way, and the
    // finished picture holds every line, the last series' too, on axes that fit them all.
    void manySeriesAreDrawnInSlices()
    {
        const int series = 3 * TrendChartPlot::LinesAtOnce;
        fillGrid(m_grid, QStringList(series, F));
        m_data->Build();
        QTRY_VERIFY(!m_view->redrawing());
        std::vector<float> values(size_t(series), 50.0f);
        values.back() = 90.0f;
        const qint64 start = m_t->clock.now().toMSecsSinceEpoch();
        m_data->AddPoint(start, values);
        QTRY_VERIFY(!m_view->redrawing());
        m_data->AddPoint(start + 60000, values);
        QVERIFY(m_view->redrawing());
        bool answeredWhileDrawing = false;
        QTimer::singleShot(0, m_view.get(), [&] { answeredWhileDrawing = m_view->redrawing(); });
        m_data->AddPoint(start + 120000, values);
        QTRY_VERIFY(!m_view->redrawing());
        QVERIFY(answeredWhileDrawing);
        for (int i = 0; i < series; ++i)
            QCOMPARE(m_view->trace(i).pointCount(), 3);
        QCOMPARE(m_view->shownTo(), start + 120000);
        QCOMPARE(m_view->shownPointCount(), 3 * series);
        QVERIFY(m_view->valueAxes().front()->max() >= 90);

        const TrendColour last = m_data->series(series - 1).colour;
        const QImage picture = m_view->grab().toImage();
        const QRect area = m_view->chart()->plotArea().toRect();
        int lastLinePixels = 0;
        for (int y = area.top(); y < area.center().y(); ++y)
            for (int x = area.left(); x < area.right(); ++x)
                lastLinePixels += picture.pixelColor(x, y) == QColor(last.red, last.green, last.blue);
        QVERIFY2(lastLinePixels > area.width() / 2, qPrintable(QString::number(lastLinePixels)));
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
        m_view->timeAxis()->setRange(double(start.addSecs(100 * 60).toMSecsSinceEpoch()),
                                     double(start.addSecs(200 * 60).toMSecsSinceEpoch()));
        QTRY_COMPARE(m_view->trace(0).high, 200.0f);
        QVERIFY(!m_view->followsNewPoints());
        m_data->AddReadings();
        QCOMPARE(m_view->shownTo(), start.addSecs(200 * 60).toMSecsSinceEpoch());

        QTest::mouseClick(m_view->viewport(), Qt::RightButton);
        QVERIFY(m_view->followsNewPoints());
        QCOMPARE(m_view->trace(0).low, 0.0f);
        QCOMPARE(m_view->shownTo(), m_data->times().back());

        // Dragging across the middle half of the plot shows that half.
        const QRectF area = m_view->chart()->plotArea();
        const auto at = [&](double fraction) {
            return m_view->mapFromScene(m_view->chart()->mapToScene(
                QPointF(area.left() + fraction * area.width(), area.center().y())));
        };
        const qint64 span = m_view->shownTo() - m_view->shownFrom();
        QTest::mousePress(m_view->viewport(), Qt::LeftButton, {}, at(0.25));
        QTest::mouseMove(m_view->viewport(), at(0.5));
        QTest::mouseMove(m_view->viewport(), at(0.75));
        QTest::mouseRelease(m_view->viewport(), Qt::LeftButton, {}, at(0.75));
        QTRY_VERIFY(!m_view->followsNewPoints());
        QVERIFY(std::abs(double(m_view->shownTo() - m_view->shownFrom()) - span / 2.0) < span * 0.05);
    }

    // History drawn before the run's own points, broken where the files had no records, and
    // the whole span shown.
    void historyIsDrawnBeforeThePoints()
    {
        fillGrid(m_grid, {F, C});
        m_data->Build();
        const qint64 now = m_t->clock.now().toMSecsSinceEpoch();
        std::vector<qint64> times;
        std::vector<float> values;
        for (int m = 24 * 60; m >= 1; --m) {
            if (m == 600) { // ten hours ago the sensor was not read for a while
                times.push_back(now - qint64(m) * 60000 - 1);
                values.push_back(std::nanf(""));
            }
            if (m <= 600 || m > 640)
                times.push_back(now - qint64(m) * 60000), values.push_back(float(m % 50));
        }
        m_data->AddHistory("1", times, values, 120000);
        QTRY_COMPARE(m_view->trace(0).pieces.size(), 2);
        QCOMPARE(m_view->shownFrom(), times.front());
        m_data->AddReadings();
        QCOMPARE(m_view->trace(0).pieces.size(), 2);
        QCOMPARE(m_view->trace(0).pieces.last().last().x(), double(now));
        QCOMPARE(m_view->shownTo(), now);
        QVERIFY(m_view->shownPointCount() <= 2 * (2 * int(m_view->chart()->plotArea().width()) + 2));
    }

    // A chart that keeps two hours, after four: a view across the start of the kept span shows
    // before it the files' readings at their own times (one every five minutes while the chart
    // adds a point a minute) joined to the kept points without a break; a sensor without
    // readings around the boundary shows its gap on both sides; pointing reads the files' value;
    // the readings are let go when the view returns to the kept span.
    void viewAcrossTheKeptSpanReadsTheFiles()
    {
        m_t->state.Config.UpdateRate = 60;
        m_t->state.TrendingEnabled = true;
        m_t->state.Ini.trend.historyHours = 0;
        m_t->state.Ini.trend.keepHours = 2;
        TrendFeed feed(m_t->state, *m_data);
        feed.Activated();
        const QDateTime start = m_t->clock.now();
        const auto at = [&](int minute) { return start.addSecs(60LL * minute).toMSecsSinceEpoch(); };
        const auto quiet = [](int minute) { return minute >= 90 && minute < 150; }; // sensor 2
        for (int m = 0; m < 240; m += 5) {
            m_t->clock.set(start.addSecs(60LL * m));
            QVERIFY(SaveInstantaneousReading(m_t->state, m_t->dir.path(), 1, 1000.0f + float(m)));
            if (!quiet(m))
                QVERIFY(SaveInstantaneousReading(m_t->state, m_t->dir.path(), 2, 2000.0f + float(m)));
        }
        fillGrid(m_grid, {F, F});
        m_data->Build();
        m_view->hide();
        for (int m = 0; m < 240; ++m) {
            m_t->clock.set(start.addSecs(60LL * m));
            setReading(m_grid, 1, quiet(m) ? "No Data" : "60.0");
            m_data->AddReadings();
        }
        const qint64 keptFrom = m_data->keptFrom();
        QVERIFY(keptFrom > at(110) && keptFrom <= at(120));
        QVERIFY(m_data->pointCount() <= 128);
        m_view->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));

        m_view->timeAxis()->setRange(double(at(60)), double(at(180)));
        QTRY_VERIFY(!m_view->trace(0).pieces.isEmpty() &&
                    m_view->trace(0).pieces.first().first().x() < at(60));
        QTRY_VERIFY(!m_view->trace(1).pieces.isEmpty() &&
                    m_view->trace(1).pieces.first().first().x() < at(60));
        const TrendTrace &first = m_view->trace(0);
        QCOMPARE(first.pieces.size(), 1);
        int fromFiles = 0;
        for (const QPointF &point : first.pieces.first()) {
            if (point.x() >= keptFrom) {
                QCOMPARE(point.y(), 70.0);
                continue;
            }
            const qint64 minutes = (qint64(point.x()) - at(0)) / 60000;
            QCOMPARE(qint64(point.x()), at(int(minutes)));
            QCOMPARE(minutes % 5, qint64(0));
            QCOMPARE(point.y(), 1000.0 + double(minutes));
            ++fromFiles;
        }
        QVERIFY(fromFiles >= 12);
        // The quiet sensor: its files end at minute 85, its kept points have no value until 150.
        for (const QList<QPointF> &piece : m_view->trace(1).pieces) {
            QVERIFY(piece.last().x() <= at(85) || piece.first().x() >= at(150));
            for (const QPointF &point : piece)
                QVERIFY(point.x() < at(90) || point.x() >= at(150));
        }
        QCOMPARE(m_view->trace(1).pieces.first().last(), QPointF(double(at(85)), 2085.0));
        SaveScreenshot(*m_view, QStringLiteral("trend-across-kept-span"));

        // Pointing at the reading of minute 70, from the files.
        const QRectF area = m_view->chart()->plotArea();
        const QValueAxis *axis = m_view->valueAxes().front();
        const double x = area.left() + double(at(70) - m_view->shownFrom()) /
                                           double(m_view->shownTo() - m_view->shownFrom()) * area.width();
        const double y = area.bottom() - (1070.0 - axis->min()) / (axis->max() - axis->min()) * area.height();
        const auto hover =
            m_view->readingAt(m_view->mapFromScene(m_view->chart()->mapToScene(QPointF(x, y))));
        QVERIFY(hover);
        QCOMPARE(hover->time, at(70));
        QCOMPARE(hover->value, 1070.0f);

        m_view->timeAxis()->setRange(double(at(200)), double(at(239)));
        QTRY_VERIFY(m_data->series(0).older.times.empty());
        QTRY_COMPARE(m_view->trace(0).low, 70.0f);
        QCOMPARE(m_data->olderSpan().ticket, 0);
    }

    // The legend names every series in full with its device; its boxes, "All" and "None" hide
    // and show lines, and what is hidden stays hidden through a new layout.
    void legendHidesAndShowsSeries()
    {
        m_view.reset();
        QWidget window;
        auto *layout = new QHBoxLayout(&window);
        auto &view = *new TrendChartView(*m_data, &window);
        auto &legend = *new TrendLegend(view, &window);
        layout->addWidget(&view, 1);
        layout->addWidget(&legend);
        fillGrid(m_grid, {F, F, RH});
        m_grid.item(0, TrendData::SensorColumn)->setText("Boiler room north");
        m_grid.item(1, TrendData::SensorColumn)->setText("Boiler room south");
        m_grid.item(1, TrendData::ReadingColumn)->setText("99.0");
        m_data->Build();
        m_data->AddReadings();
        window.resize(1000, 500);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        QTreeWidget *list = legend.list();
        QCOMPARE(list->topLevelItemCount(), 3);
        QCOMPARE(list->topLevelItem(1)->text(0), QString("Boiler room south"));
        QCOMPARE(list->topLevelItem(1)->text(1), QString("Server"));
        // Nothing cut: the name column is as wide as its longest name.
        QVERIFY(list->columnWidth(0) >= list->fontMetrics().horizontalAdvance("Boiler room south"));
        QVERIFY(list->visualItemRect(list->topLevelItem(1)).width() >= list->columnWidth(0));

        QVERIFY(view.valueAxes().front()->max() >= 99);
        list->topLevelItem(1)->setCheckState(0, Qt::Unchecked);
        QVERIFY(!view.isSeriesVisible(1));
        QCOMPARE(view.trace(1).pointCount(), 0);
        QCOMPARE(view.trace(0).pointCount(), 1);
        QVERIFY(view.valueAxes().front()->max() < 99); // the hidden line no longer sets the range

        QTest::mouseClick(legend.findChild<QPushButton *>("btnTrendNone"), Qt::LeftButton);
        for (int i = 0; i < 3; ++i) {
            QVERIFY(!view.isSeriesVisible(i));
            QCOMPARE(list->topLevelItem(i)->checkState(0), Qt::Unchecked);
        }
        QCOMPARE(view.shownPointCount(), 0);
        QTest::mouseClick(legend.findChild<QPushButton *>("btnTrendAll"), Qt::LeftButton);
        QCOMPARE(view.shownPointCount(), 3);
        QCOMPARE(list->topLevelItem(2)->checkState(0), Qt::Checked);

        list->topLevelItem(2)->setCheckState(0, Qt::Unchecked);
        fillGrid(m_grid, {F, F, RH, C});
        m_data->Build();
        QCOMPARE(list->topLevelItemCount(), 4);
        QCOMPARE(list->topLevelItem(2)->checkState(0), Qt::Unchecked);
        QCOMPARE(list->topLevelItem(3)->checkState(0), Qt::Checked);
    }

    // Pointing at a line shows its sensor, device, time and value.
    void hoverShowsTheReading()
    {
        fillGrid(m_grid, {F, RH});
        m_data->Build();
        for (int i = 0; i < 30; ++i) {
            setReading(m_grid, 0, QString::number(40 + i * 0.5, 'f', 1));
            setReading(m_grid, 1, "10.0");
            m_data->AddReadings();
            m_t->clock.advanceSeconds(60);
        }
        // Where the 11th reading of the first series is drawn.
        const QRectF area = m_view->chart()->plotArea();
        const QValueAxis *axis = m_view->valueAxes().front();
        const double x = area.left() + double(m_data->times()[10] - m_view->shownFrom()) /
                                           double(m_view->shownTo() - m_view->shownFrom()) * area.width();
        const double y = area.bottom() - (45.0 - axis->min()) / (axis->max() - axis->min()) * area.height();
        const QPoint at = m_view->mapFromScene(m_view->chart()->mapToScene(QPointF(x, y + 2)));

        const auto hover = m_view->readingAt(at);
        QVERIFY(hover);
        QCOMPARE(hover->series, 0);
        QCOMPARE(hover->value, 45.0f);
        QCOMPARE(m_view->hoverText(*hover), QString("Sensor 1\nServer\n5/1/2024 9:10:00 AM\n45 ") + F);
        QVERIFY(!m_view->readingAt(at + QPoint(0, 60)));

        QTest::mouseMove(m_view->viewport(), at);
        QTRY_COMPARE(QToolTip::text(), m_view->hoverText(*hover));
        m_view->setSeriesVisible(0, false);
        QVERIFY(!m_view->readingAt(at)); // a hidden line is not read
    }

    // The time axis over three days carries dates and never shows a label twice.
    void threeDaySpanLabelsCarryDates()
    {
        fillGrid(m_grid, {F});
        m_data->Build();
        for (int i = 0; i < 3 * 24; ++i) {
            m_data->AddReadings();
            m_t->clock.advanceSeconds(3600);
        }
        const QStringList labels = m_view->timeAxis()->categoriesLabels();
        QVERIFY(labels.size() >= 2);
        QCOMPARE(QSet<QString>(labels.begin(), labels.end()).size(), labels.size());
        for (const QString &label : labels)
            QVERIFY2(label.contains('/'), qPrintable(label));
        QVERIFY(labels.contains("5/2") || labels.contains("5/2 12:00 AM"));
    }

    // A restart: the database names the sensors and the data files hold their readings; the
    // activation fills the chart, as far back as Tallyport.ini says, before any device is read.
    void restartShowsTheRecentPast()
    {
        m_view.reset();
        QString error;
        QVERIFY2(CreateDatabaseFromSchema(QStringLiteral(TALLYPORT_SOURCE_DIR "/resources/schema.sql"),
                                          m_t->path("wexa.mdb"), false, error),
                 qPrintable(error));
        m_t->state.Config.EnableTrending = 1;
        m_t->state.Config.UpdateRate = 60;
        Cipher cipher;
        cipher.InitCipher();
        QVERIFY(ConfigFile(m_t->state, cipher).SaveConfiguration());
        QFile ini(m_t->path("Tallyport.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[trend]\nhistoryHours=12\n");
        ini.close();

        MainWindow window(m_t->state);
        Monitor monitor(m_t->state, window.activation(), window.pollTimer());
        window.setMonitor(monitor);
        qint64 lab = 0;
        QVERIFY(monitor.database.AddServer("Lab", "RX705", "127.0.110.1", "", 1, "", "", -1, &lab));
        QVERIFY(monitor.database.SaveSensor(lab, "Freezer", 0, "", "Temperature", "", "", ""));
        QVERIFY(monitor.database.SaveSensor(lab, "Door", 1, "", "Door", "", "", ""));
        QList<SensorRecord> sensors;
        int count = 0;
        QVERIFY(monitor.database.RecordSensors(lab, sensors, count));
        const int freezer = int(sensors[0].IDNum);
        const int door = int(sensors[1].IDNum);
        const QDateTime now = m_t->clock.now();
        QVERIFY(SaveSensorDatToFile(m_t->state, m_t->dir.path(), freezer, "Freezer", "Lab", F));
        QVERIFY(SaveSensorDatToFile(m_t->state, m_t->dir.path(), door, "Door", "Lab", ""));
        for (int m = 30 * 60; m >= 1; --m) {
            m_t->clock.set(now.addSecs(-60LL * m));
            QVERIFY(SaveInstantaneousReading(m_t->state, m_t->dir.path(), freezer, -10.0f - float(m % 7)));
            QVERIFY(SaveInstantaneousReading(m_t->state, m_t->dir.path(), door, 1.0f));
        }
        m_t->clock.set(now);

        window.activate();
        QVERIFY(m_t->state.TrendingEnabled);
        window.VKLShow(2);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.trendData().seriesCount(), 1);
        QTRY_VERIFY(!window.trendFeed().historyLoading());
        QTRY_VERIFY(window.trendChart()->trace(0).hasValue);
        QCOMPARE(window.trendData().series(0).historyValues.size(), size_t(12 * 60));
        QCOMPARE(window.trendChart()->trace(0).low, -16.0f);
        QCOMPARE(window.trendChart()->shownFrom(), now.addSecs(-12 * 3600).toMSecsSinceEpoch());
        QCOMPARE(window.trendLegend()->list()->topLevelItem(0)->text(0), QString("Freezer"));
        window.pollTimer().StopPollTimer();
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
