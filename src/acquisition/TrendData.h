#pragma once

#include <QAbstractItemModel>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>

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

// One line of the chart: a status grid row with a unit.
struct TrendSeries {
    QString name;     // the first 20 characters of the Sensor cell
    int paletteEntry; // 1 to 24
    TrendColour colour;
    TrendUnit unit;
    int axis;                  // index into TrendData::axes()
    QString sensorId;          // the Sensor ID cell of its row: the series follows the sensor
    int row;                   // the grid model row the sensor was in when the chart was built
    std::vector<float> values; // one per entry of TrendData::times(); NaN where there was no value
};

// The trending chart's data, read from the status grid after each poll cycle: which rows are
// charted, their names, colours and axes, and every point of the run. Points are never dropped;
// the times are shared by all series and each series keeps one float per point. A series follows
// its sensor's ID, wherever the sensor's row is; a sensor not evaluated in the cycle (its device
// busy) leaves a gap.
class TrendData final : public QObject {
    Q_OBJECT
public:
    // Columns of the status grid model (DisplayRole text).
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

    // Lays the chart out from the current grid and drops the points of the previous layout.
    void Build();
    // Appends one point, stamped with the clock's now, to every series; nothing without series.
    void AddReadings();

    int seriesCount() const { return int(m_series.size()); }
    const TrendSeries &series(int index) const { return m_series[size_t(index)]; }
    // The value axes in order; series().axis indexes this list.
    const std::vector<TrendUnit> &axes() const { return m_axes; }
    // Milliseconds since the epoch of each point, in the order they were added.
    const std::vector<qint64> &times() const { return m_times; }
    int pointCount() const { return int(m_times.size()); }

signals:
    // The series and axes were laid out anew (the points are gone).
    void built();
    // One point was appended to every series.
    void readingsAdded();

private:
    QString cell(int row, int column) const;
    // The reading of the row showing the sensor, NaN when no row shows it or the row was not
    // written in this cycle.
    float currentValue(const QHash<QString, int> &rowOfSensor, const TrendSeries &series) const;

    Clock &m_clock;
    QPointer<const QAbstractItemModel> m_model;
    std::vector<TrendSeries> m_series;
    std::vector<TrendUnit> m_axes;
    std::vector<qint64> m_times;
};
