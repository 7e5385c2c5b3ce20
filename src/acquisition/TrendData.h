#pragma once

#include "TrendDecimation.h"
#include "TrendPyramid.h"

#include <QAbstractItemModel>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>

#include <limits>
#include <vector>

class Clock;

// The kinds of value axis, in the order their axes appear.
enum class TrendUnit { Fahrenheit, Celsius, RelativeHumidity };

struct TrendColour {
    int red = 0;
    int green = 0;
    int blue = 0;
    bool operator==(const TrendColour &) const = default;
};

// A sensor the chart shows: who it is and its unit text ("°F", "°C", "%RH").
struct TrendSensor {
    QString sensorId;
    QString sensorName;
    QString deviceName;
    QString unitText;
};

// One line of the chart, following one sensor (its ID) for the whole run.
struct TrendSeries {
    QString name; // the first 20 characters of the sensor's name
    QString deviceName;
    int paletteEntry; // 1 to 24
    TrendColour colour;
    TrendUnit unit;
    int axis;         // index into TrendData::axes()
    QString sensorId; // the Sensor ID cell of its row: the series follows the sensor
    // Readings from the data files, before the chart's own points, in time order; NaN breaks
    // the line where the files have no records.
    std::vector<qint64> historyTimes;
    std::vector<float> historyValues;
    bool historyAsked = false; // its history was asked for once; it is never asked again
    // The chart's own points: values[k] belongs to TrendData::times()[firstPoint + k]. NaN
    // where there was no value.
    int firstPoint = 0;
    std::vector<float> values;
    // The longest stretch between two readings that still joins them (0: any stretch joins).
    qint64 joinMs = 0;
    // Readings read again from the data files for a span before what the chart keeps, reduced
    // to what the view that asked for them shows; empty while the view stays within the kept span.
    TrendReduced older;
    int olderTicket = 0; // the ticket of the span `older` was read for; 0 while none arrived
    // Coarser copies of its history and own points, for drawing long spans.
    TrendPyramid pyramid;
};

// A span before what the chart keeps that a view wants read from the data files: [from, to),
// reduced to `columns` pixel columns. The ticket names the reading; 0 means none is wanted.
struct TrendOlderSpan {
    qint64 from = 0;
    qint64 to = 0;
    int columns = 0;
    int ticket = 0;
};

// The trending chart's data: which sensors are charted, their names, colours and axes, the
// readings of the recent past from the data files and the points of the run. The series come
// from the charted sensors' header files at activation and from the status grid after the first
// poll cycle; they follow the sensor ID wherever the sensor's row is, and an activation keeps
// them with their points. The chart's own times are shared by all series and each series keeps
// one float per point. A sensor not evaluated in a cycle (its device busy) leaves a gap.
//
// Only the last keepMs of samples stay in memory (setKeepMs), so a run of months holds no more
// than a run of days. The whole run can still be looked at: a view that reaches before the kept
// span asks for that span (ReachBack, olderWanted), whoever reads the data files hands the
// readings back (AddOlder), and they are let go when the view returns to the kept span. When
// samples leave memory while they are held, what leaves is reduced the same way and added to
// them, so a view of the whole run reads the files once and not at every drop.
class TrendData final : public QObject {
    Q_OBJECT
public:
    // Columns of the status grid model (DisplayRole text).
    static constexpr int DeviceColumn = 0;
    static constexpr int SensorColumn = 1;
    static constexpr int ReadingColumn = 2;
    static constexpr int UnitsColumn = 3;
    static constexpr int SensorIdColumn = 5;
    static constexpr int PaletteSize = 24;
    static constexpr int NameLength = 20;

    // Palette entry 1 to 24; other numbers wrap onto the palette.
    static TrendColour PaletteColour(int entry);
    // The axis title of a unit kind: the degree sign and F or C, or "%RH".
    static QString UnitTitle(TrendUnit unit);
    // A row is charted when its Units cell has text that is not a duration in minutes.
    static bool IsChartedUnit(const QString &units);
    static TrendUnit UnitKind(const QString &units);
    // The value of a Reading cell; NaN for a sensor state ("Sensor Open", "No Data", ...) or any
    // other text that is not a number.
    static float ReadingValue(const QString &text);

    explicit TrendData(Clock &clock, QObject *parent = nullptr);

    // The status grid the chart reads; it may be changed or destroyed at any time.
    void setModel(const QAbstractItemModel *model);
    const QAbstractItemModel *model() const { return m_model; }

    // Lays the chart out from the current grid: a charted row whose sensor has a series renames
    // it, one without gets a new series. Series and points already there are kept; a sensor
    // whose unit changed kind starts its line again.
    void Build();
    // The same for sensors known before the grid shows them (their header files).
    void AddSensors(const QList<TrendSensor> &sensors);
    // Appends one point, stamped with the clock's now, to every series; nothing without series.
    void AddReadings();
    // Appends one point at `time`: values[j] for series j (NaN: none; missing ones are NaN).
    void AddPoint(qint64 time, const std::vector<float> &values);
    // The readings before the series' own points. Ignored for an unknown sensor or one that has
    // its history already. Readings not before its first own point are left out. joinMs: the
    // longest stretch between two readings that joins them (the history is already broken
    // where its own stretches are longer); it decides whether the history joins the own points.
    void AddHistory(const QString &sensorId, std::vector<qint64> times, std::vector<float> values,
                    qint64 joinMs);

    // How long samples stay in memory; 0 keeps them all. Older ones are dropped as new points
    // arrive, a few at a time (up to a sixteenth of the span more is held between drops).
    void setKeepMs(qint64 keepMs) { m_keepMs = keepMs; }
    qint64 keepMs() const { return m_keepMs; }
    // Memory holds no sample before this time; LLONG_MIN while nothing was dropped.
    qint64 keptFrom() const { return m_keptFrom; }

    // A view shows [from, to] at `columns` pixel columns. When that reaches before the kept span
    // and the readings held for it do not cover it at about that resolution, olderWanted asks
    // for them; when it does not, what was read is let go.
    void ReachBack(qint64 from, qint64 to, int columns);
    const TrendOlderSpan &olderSpan() const { return m_older; }
    // The readings asked for by the span with this ticket (none from the kept samples on);
    // ignored for another ticket. breakMs: the longest stretch between two of them that joins
    // them, also to the kept samples.
    void AddOlder(int ticket, const QString &sensorId, std::vector<qint64> times, std::vector<float> values,
                  qint64 breakMs);

    int seriesCount() const { return int(m_series.size()); }
    const TrendSeries &series(int index) const { return m_series[size_t(index)]; }
    int seriesOf(const QString &sensorId) const { return m_indexOfSensor.value(sensorId, -1); }
    void setHistoryAsked(int index) { m_series[size_t(index)].historyAsked = true; }
    // The time of the series' first own point, or -1 when it has none yet.
    qint64 firstPointTime(int index) const;
    // All samples of a series in memory, in time order: what was read for a view before the kept
    // span, its history, then its own points.
    TrendSamples samples(int index) const;
    // The samples to draw of a series for [from, to] at `columns` pixel columns: those of
    // samples(), or a coarser choice of them with at most a few per column in the span.
    TrendSamples drawSamples(int index, qint64 from, qint64 to, int columns);
    // Bytes the samples of every series take, with their coarser copies and the shared times.
    size_t memoryBytes() const;
    // The value axes in order; series().axis indexes this list.
    const std::vector<TrendUnit> &axes() const { return m_axes; }
    // The earliest and latest time of any sample the run had, in memory or not; false when there
    // is none.
    bool timeSpan(qint64 &from, qint64 &to) const;
    // Milliseconds since the epoch of each point, in the order they were added.
    const std::vector<qint64> &times() const { return m_times; }
    int pointCount() const { return int(m_times.size()); }

signals:
    // Series were added or renamed, or the axes changed. The points are kept.
    void built();
    // One point was appended to every series.
    void readingsAdded();
    // A series received its history.
    void historyAdded(int series);
    // A view reaches before the kept span: the readings of `span` are wanted from the data files
    // for every series (ticket 0: nothing is wanted any more).
    void olderWanted(const TrendOlderSpan &span);
    // A series received readings from before the kept span.
    void olderAdded(int series);

private:
    QString cell(int row, int column) const;
    // Names the sensor's series, adding one when it has none. True when anything changed.
    bool mergeSensor(const TrendSensor &sensor);
    void layOutAxes();
    // Breaks the line between the history and the own points when they lie too far apart.
    void joinHistory(TrendSeries &series);
    // Drops what lies before the kept span once it holds a sixteenth of the span too much.
    void dropOldSamples(qint64 newest);
    // Before the samples before `cutoff` are dropped: adds them, reduced, to what was read for a
    // view that reaches up to the kept span. False when some series still waits for its readings.
    bool extendOlder(qint64 cutoff);
    // The history and own points of a series; its own points alone.
    TrendSamples keptSamples(const TrendSeries &series) const;
    TrendSamples::Part ownPart(const TrendSeries &series) const;
    // Lets go of the readings from before the kept span and of the wish for them.
    void releaseOlder();
    void includeInSpan(qint64 time);
    // The time of the series' first sample in memory, history or own; -1 when it has none.
    qint64 firstKeptTime(const TrendSeries &series) const;
    // The reading of the row showing the sensor, NaN when no row shows it or the row was not
    // written in this cycle.
    float currentValue(const QHash<QString, int> &rowOfSensor, const TrendSeries &series) const;

    Clock &m_clock;
    QPointer<const QAbstractItemModel> m_model;
    std::vector<TrendSeries> m_series;
    QHash<QString, int> m_indexOfSensor;
    std::vector<TrendUnit> m_axes;
    std::vector<qint64> m_times;
    qint64 m_keepMs = 0;
    qint64 m_keptFrom = std::numeric_limits<qint64>::min();
    // The run's span, kept when its samples leave memory.
    bool m_anySample = false;
    qint64 m_spanFrom = 0;
    qint64 m_spanTo = 0;
    TrendOlderSpan m_older;
    int m_lastTicket = 0;
};
