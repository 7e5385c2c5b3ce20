#include <acquisition/TrendDecimation.h>
#include <acquisition/TrendPyramid.h>

#include <QTest>

#include <cmath>
#include <cstring>

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
        const TrendSamples samples(times, values);
        const TrendWindow window = MakeTrendWindow(samples, times.front(), times.back(), 800);
        QVERIFY(window.everySample);
        QTEST(pieceValues(DecimateTrend(samples, window)), "pieces");
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
        const TrendSamples samples(times, values);
        const TrendWindow window = MakeTrendWindow(samples, times.front(), times.back(), columns);
        QVERIFY(!window.everySample);
        const TrendTrace trace = DecimateTrend(samples, window);
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
        const TrendSamples samples(times, values);
        const TrendWindow window = MakeTrendWindow(samples, times.front(), times.back(), 500);
        const TrendTrace trace = DecimateTrend(samples, window);
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
        const TrendSamples samples(times, values);
        const TrendWindow window = MakeTrendWindow(samples, times[10], times[20], 800);
        const TrendTrace trace = DecimateTrend(samples, window);
        QCOMPARE(trace.low, 10.0f);
        QCOMPARE(trace.high, 20.0f);
        QCOMPARE(trace.pieces.size(), 1);
        QCOMPARE(trace.pieces.first().first().y(), 9.0);
        QCOMPARE(trace.pieces.first().last().y(), 21.0);
        QCOMPARE(trace.pointCount(), 13);
    }

    // A series' history and its own points are one line: decimated across the seam, broken
    // there only by a missing value, and the history carries the line to the left edge.
    void historyAndOwnPointsAreOneLine()
    {
        const std::vector<qint64> times = minutes(6000);
        const std::vector<qint64> historyTimes(times.begin(), times.begin() + 3000);
        const std::vector<qint64> ownTimes(times.begin() + 3000, times.end());
        std::vector<float> history(3000, 10.0f);
        const std::vector<float> own(3000, 20.0f);
        const auto samplesOf = [&](const std::vector<float> &h) {
            return TrendSamples({{historyTimes.data(), h.data(), 3000}, {ownTimes.data(), own.data(), 3000}});
        };
        TrendSamples samples = samplesOf(history);
        QCOMPARE(samples.size(), 6000);
        QCOMPARE(samples.time(3000), times[3000]);
        QCOMPARE(FirstTrendSampleAtOrAfter(samples, times[4321], 0, 6000), 4321);
        QCOMPARE(FirstTrendSampleAtOrAfter(samples, times[4321] - 1, 4000, 6000), 4321);
        QCOMPARE(FirstTrendSampleAtOrAfter(samples, times.back() + 1, 0, 6000), 6000);
        TrendTrace trace = DecimateTrend(samples, MakeTrendWindow(samples, times.front(), times.back(), 500));
        QCOMPARE(trace.pieces.size(), 1);
        QCOMPARE(trace.low, 10.0f);
        QCOMPARE(trace.high, 20.0f);

        history.back() = None;
        samples = samplesOf(history);
        trace = DecimateTrend(samples, MakeTrendWindow(samples, times.front(), times.back(), 500));
        QCOMPARE(trace.pieces.size(), 2);
        QVERIFY(brokenAt(trace, times[2999]));

        // Only own points visible: the history's last reading leads the line in from the edge.
        history.back() = 10.0f;
        samples = samplesOf(history);
        trace = DecimateTrend(samples, MakeTrendWindow(samples, times[3000], times[3100], 500));
        QCOMPARE(trace.pieces.first().first(), QPointF(double(times[2999]), 10.0));
        QCOMPARE(trace.low, 20.0f);
    }

    // A long series is drawn from a coarser copy: the same extremes and breaks as from every
    // sample while looking at a few samples per column; copies kept up as samples arrive equal
    // copies made at once, and dropping the oldest samples drops them from every copy.
    void coarseCopiesDrawLongSeries()
    {
        const int count = 200000;
        const std::vector<qint64> times = minutes(count);
        std::vector<float> values(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i)
            values[size_t(i)] = float(i % 97);
        values[123456] = 500;
        values[7000] = -50;
        for (int i = 50000; i < 50600; ++i)
            values[size_t(i)] = None; // ten hours without a value
        const auto first = [&](int n) { return TrendSamples({{times.data(), values.data(), n}}); };
        const TrendSamples all = first(count);
        TrendPyramid grown;
        for (int n = 100; n < count; n += 9973)
            grown.choose(first(n), times.front(), times[size_t(n) - 1], 1000);
        TrendPyramid made;
        const int level = made.choose(all, times.front(), times.back(), 1000);
        QVERIFY(level >= 0);
        QCOMPARE(grown.choose(all, times.front(), times.back(), 1000), level);
        for (int k = 0; k < made.levelCount(); ++k) {
            const TrendReduced &a = grown.levelSamples(k);
            const TrendReduced &b = made.levelSamples(k);
            QCOMPARE(a.times, b.times);
            QCOMPARE(a.values.size(), b.values.size());
            QVERIFY(std::memcmp(a.values.data(), b.values.data(), a.values.size() * sizeof(float)) == 0);
        }

        const TrendSamples coarse(made.levelSamples(level).times, made.levelSamples(level).values);
        const TrendWindow window = MakeTrendWindow(coarse, times.front(), times.back(), 1000);
        QVERIFY(window.last() - window.first() <= TrendPyramid::SamplesPerColumn * 1000);
        const TrendTrace drawn = DecimateTrend(coarse, window);
        const TrendTrace exact = DecimateTrend(all, MakeTrendWindow(all, times.front(), times.back(), 1000));
        QCOMPARE(drawn.low, -50.0f);
        QCOMPARE(drawn.high, 500.0f);
        QCOMPARE(drawn.pieces.size(), exact.pieces.size());
        QVERIFY(brokenAt(drawn, times[50300]));
        // A short span is drawn from every sample.
        QCOMPARE(made.choose(all, times[1000], times[2000], 1000), -1);

        const qint64 cutoff = times[60000];
        made.dropFront(60000, cutoff);
        for (int k = 0; k < made.levelCount(); ++k)
            QVERIFY(made.levelSamples(k).times.front() >= cutoff);
        const TrendSamples kept({{times.data() + 60000, values.data() + 60000, count - 60000}});
        const int after = made.choose(kept, cutoff, times.back(), 1000);
        QVERIFY(after >= 0);
        const TrendSamples rest(made.levelSamples(after).times, made.levelSamples(after).values);
        const TrendTrace restDrawn = DecimateTrend(rest, MakeTrendWindow(rest, cutoff, times.back(), 1000));
        QCOMPARE(restDrawn.high, 500.0f);
        QCOMPARE(made.levelSamples(after).times.back(), times.back()); // the line reaches the newest
    }

    void clockSetBackDoesNotBreakTheWindow()
    {
        std::vector<qint64> times = minutes(5000);
        for (int i = 2500; i < 5000; ++i)
            times[size_t(i)] -= 3600 * 1000; // an hour back half way through
        const std::vector<float> values(times.size(), 1.0f);
        const TrendSamples samples(times, values);
        const TrendWindow window = MakeTrendWindow(samples, 0, times[2499], 300);
        for (int c = 0; c < window.columns(); ++c)
            QVERIFY(window.starts[size_t(c)] <= window.starts[size_t(c) + 1]);
        QVERIFY(window.last() <= int(times.size()));
        QVERIFY(DecimateTrend(samples, window).hasValue);
    }
};

QTEST_GUILESS_MAIN(TestTrendDecimation)
#include "tst_trenddecimation.moc"
