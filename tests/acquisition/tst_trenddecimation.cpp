#include <acquisition/TrendDecimation.h>

#include <QTest>

#include <cmath>

namespace {
const float None = std::nanf("");

std::vector<qint64> minutes(int count)
{
    std::vector<qint64> times(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        times[size_t(i)] = qint64(i) * 60000;
    return times;
}

QList<QList<double>> pieceValues(const TrendTrace &trace)
{
    QList<QList<double>> out;
    for (const QList<QPointF> &piece : trace.pieces) {
        out.append(QList<double>());
        for (const QPointF &p : piece)
            out.last().append(p.y());
    }
    return out;
}

// True when no piece joins points on both sides of the sample at `index`.
bool brokenAt(const TrendTrace &trace, qint64 time)
{
    for (const QList<QPointF> &piece : trace.pieces)
        if (piece.first().x() < double(time) && piece.last().x() > double(time))
            return false;
    return true;
}
} // namespace

class TestTrendDecimation : public QObject {
    Q_OBJECT
private slots:
    void fewSamplesAreAllKept_data()
    {
        QTest::addColumn<std::vector<float>>("values");
        QTest::addColumn<QList<QList<double>>>("pieces");
        QTest::newRow("unbroken") << std::vector<float>{1, 2, 3} << QList<QList<double>>{{1, 2, 3}};
        QTest::newRow("gap in the middle")
            << std::vector<float>{1, None, 3, 4} << QList<QList<double>>{{1}, {3, 4}};
        QTest::newRow("gaps at both ends")
            << std::vector<float>{None, 2, 3, None} << QList<QList<double>>{{2, 3}};
        QTest::newRow("all missing") << std::vector<float>{None, None} << QList<QList<double>>{};
    }
    void fewSamplesAreAllKept()
    {
        QFETCH(std::vector<float>, values);
        const std::vector<qint64> times = minutes(int(values.size()));
        const TrendWindow window = MakeTrendWindow(times, times.front(), times.back(), 800);
        QVERIFY(window.everySample);
        QTEST(pieceValues(DecimateTrend(times, values, window)), "pieces");
    }

    void manySamplesKeepTheirExtremes()
    {
        const int count = 43200;
        const int columns = 700;
        const std::vector<qint64> times = minutes(count);
        std::vector<float> values(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i)
            values[size_t(i)] = 50 + 5 * std::sin(i / 300.0f);
        values[12345] = 99; // a single-cycle spike
        values[30001] = -7;
        const TrendWindow window = MakeTrendWindow(times, times.front(), times.back(), columns);
        QVERIFY(!window.everySample);
        const TrendTrace trace = DecimateTrend(times, values, window);
        QCOMPARE(trace.pieces.size(), 1);
        QVERIFY(trace.pointCount() <= 2 * columns);
        QCOMPARE(trace.low, -7.0f);
        QCOMPARE(trace.high, 99.0f);
        const QList<QPointF> &line = trace.pieces.first();
        QVERIFY(line.contains(QPointF(double(times[12345]), 99)));
        QVERIFY(line.contains(QPointF(double(times[30001]), -7)));
        for (qsizetype i = 1; i < line.size(); ++i)
            QVERIFY(line[i - 1].x() < line[i].x());
    }

    void gapsBreakDecimatedLines()
    {
        const int count = 20000;
        const std::vector<qint64> times = minutes(count);
        std::vector<float> values(static_cast<size_t>(count), 20.0f);
        values[5000] = None; // one missing cycle
        for (int i = 15000; i < 16000; ++i)
            values[size_t(i)] = None; // a long outage
        const TrendWindow window = MakeTrendWindow(times, times.front(), times.back(), 500);
        const TrendTrace trace = DecimateTrend(times, values, window);
        QCOMPARE(trace.pieces.size(), 3);
        QVERIFY(brokenAt(trace, times[5000]));
        for (int i = 15000; i < 16000; i += 100)
            QVERIFY(brokenAt(trace, times[size_t(i)]));
    }

    void visibleSpanLimitsTheData()
    {
        const std::vector<qint64> times = minutes(100);
        std::vector<float> values(100);
        for (int i = 0; i < 100; ++i)
            values[size_t(i)] = float(i);
        // Minutes 10 to 20 are visible; the neighbours 9 and 21 carry the line to the edges.
        const TrendWindow window = MakeTrendWindow(times, times[10], times[20], 800);
        const TrendTrace trace = DecimateTrend(times, values, window);
        QCOMPARE(trace.low, 10.0f);
        QCOMPARE(trace.high, 20.0f);
        QCOMPARE(trace.pieces.size(), 1);
        QCOMPARE(trace.pieces.first().first().y(), 9.0);
        QCOMPARE(trace.pieces.first().last().y(), 21.0);
        QCOMPARE(trace.pointCount(), 13);
    }

    void clockSetBackDoesNotBreakTheWindow()
    {
        std::vector<qint64> times = minutes(5000);
        for (int i = 2500; i < 5000; ++i)
            times[size_t(i)] -= 3600 * 1000; // an hour back half way through
        const std::vector<float> values(times.size(), 1.0f);
        const TrendWindow window = MakeTrendWindow(times, 0, times[2499], 300);
        for (int c = 0; c < window.columns(); ++c)
            QVERIFY(window.starts[size_t(c)] <= window.starts[size_t(c) + 1]);
        QVERIFY(window.last() <= int(times.size()));
        QVERIFY(DecimateTrend(times, values, window).hasValue);
    }
};

QTEST_GUILESS_MAIN(TestTrendDecimation)
#include "tst_trenddecimation.moc"
