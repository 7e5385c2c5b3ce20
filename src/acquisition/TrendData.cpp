#include "TrendData.h"

#include "StatusGridModel.h"

#include <core/Clock.h>

#include <QAbstractItemModel>
#include <QLocale>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace {
constexpr std::array<TrendColour, TrendData::PaletteSize> kPalette{{
    {0, 252, 124},  {106, 106, 255}, {0, 255, 0},     {255, 255, 0},   {0, 0, 255},     {255, 0, 255},
    {0, 255, 255},  {58, 238, 179},  {144, 128, 112}, {112, 25, 25},   {237, 149, 100}, {170, 205, 102},
    {47, 107, 85},  {87, 139, 46},   {140, 230, 240}, {0, 215, 255},   {0, 255, 127},   {255, 112, 132},
    {255, 144, 30}, {205, 197, 122}, {139, 134, 83},  {205, 181, 162}, {205, 238, 178}, {159, 255, 84},
}};

const QChar kDegree(0x00B0);

// Reading texts that mean the sensor gave no value.
const std::array<QLatin1String, 4> kNoValueTexts{QLatin1String("sensor open"),
                                                 QLatin1String("sensor shorted"), QLatin1String("no data"),
                                                 QLatin1String("not connected")};
} // namespace

TrendColour TrendData::PaletteColour(int entry)
{
    const int index = ((entry - 1) % PaletteSize + PaletteSize) % PaletteSize;
    return kPalette[size_t(index)];
}

QString TrendData::UnitTitle(TrendUnit unit)
{
    switch (unit) {
    case TrendUnit::Fahrenheit:
        return QString(kDegree) + QLatin1Char('F');
    case TrendUnit::Celsius:
        return QString(kDegree) + QLatin1Char('C');
    case TrendUnit::RelativeHumidity:
        break;
    }
    return QStringLiteral("%RH");
}

bool TrendData::IsChartedUnit(const QString &units)
{
    return !units.trimmed().isEmpty() && !units.toLower().contains(QLatin1String("minutes"));
}

TrendUnit TrendData::UnitKind(const QString &units)
{
    const QString lower = units.toLower();
    if (lower.contains(QString(kDegree) + QLatin1Char('f')))
        return TrendUnit::Fahrenheit;
    if (lower.contains(QString(kDegree) + QLatin1Char('c')))
        return TrendUnit::Celsius;
    return TrendUnit::RelativeHumidity;
}

float TrendData::ReadingValue(const QString &text)
{
    constexpr float none = std::numeric_limits<float>::quiet_NaN();
    const QString lower = text.trimmed().toLower();
    for (const QLatin1String &state : kNoValueTexts)
        if (lower.contains(state))
            return none;
    bool ok = false;
    const float value = QLocale::c().toFloat(lower, &ok);
    return ok && std::isfinite(value) ? value : none;
}

TrendData::TrendData(Clock &clock, QObject *parent) : QObject(parent), m_clock(clock) {}

void TrendData::setModel(const QAbstractItemModel *model)
{
    m_model = model;
}

QString TrendData::cell(int row, int column) const
{
    if (!m_model || row >= m_model->rowCount() || column >= m_model->columnCount())
        return {};
    return m_model->index(row, column).data(Qt::DisplayRole).toString();
}

void TrendData::Build()
{
    const int rows = m_model ? m_model->rowCount() : 0;
    for (int row = 0; row < rows; ++row) {
        const QString units = cell(row, UnitsColumn);
        if (IsChartedUnit(units))
            mergeSensor({cell(row, SensorIdColumn), cell(row, SensorColumn), cell(row, DeviceColumn), units});
    }
    layOutAxes();
    emit built();
}

void TrendData::AddSensors(const QList<TrendSensor> &sensors)
{
    bool changed = false;
    for (const TrendSensor &sensor : sensors)
        if (IsChartedUnit(sensor.unitText))
            changed = mergeSensor(sensor) || changed;
    if (!changed)
        return;
    layOutAxes();
    emit built();
}

bool TrendData::mergeSensor(const TrendSensor &sensor)
{
    if (sensor.sensorId.isEmpty())
        return false;
    const QString name = sensor.sensorName.left(NameLength);
    const TrendUnit unit = UnitKind(sensor.unitText);
    const int index = seriesOf(sensor.sensorId);
    if (index < 0) {
        TrendSeries series;
        series.name = name;
        series.deviceName = sensor.deviceName;
        series.paletteEntry = int(m_series.size()) % PaletteSize + 1;
        series.colour = PaletteColour(series.paletteEntry);
        series.unit = unit;
        series.axis = 0;
        series.sensorId = sensor.sensorId;
        series.firstPoint = int(m_times.size());
        m_indexOfSensor.insert(sensor.sensorId, int(m_series.size()));
        m_series.push_back(std::move(series));
        return true;
    }
    TrendSeries &series = m_series[size_t(index)];
    bool changed = false;
    if (series.name != name || series.deviceName != sensor.deviceName) {
        series.name = name;
        series.deviceName = sensor.deviceName;
        changed = true;
    }
    if (series.unit != unit) {
        // Its values were read in the other unit and would be drawn against the wrong axis.
        series.unit = unit;
        series.historyTimes.clear();
        series.historyValues.clear();
        series.values.clear();
        series.firstPoint = int(m_times.size());
        changed = true;
    }
    return changed;
}

void TrendData::layOutAxes()
{
    m_axes.clear();
    bool present[3] = {false, false, false};
    for (const TrendSeries &series : m_series)
        present[int(series.unit)] = true;
    // Every kind a series is assigned to gets its axis, so no series is left without one.
    for (TrendUnit unit : {TrendUnit::Fahrenheit, TrendUnit::Celsius, TrendUnit::RelativeHumidity})
        if (present[int(unit)])
            m_axes.push_back(unit);
    for (TrendSeries &series : m_series)
        series.axis = int(std::find(m_axes.begin(), m_axes.end(), series.unit) - m_axes.begin());
}

void TrendData::AddReadings()
{
    if (m_series.empty())
        return;
    m_times.push_back(m_clock.now().toMSecsSinceEpoch());
    QHash<QString, int> rowOfSensor;
    const int rows = m_model ? m_model->rowCount() : 0;
    for (int row = 0; row < rows; ++row)
        rowOfSensor.insert(cell(row, SensorIdColumn), row);
    for (TrendSeries &series : m_series) {
        series.values.push_back(currentValue(rowOfSensor, series));
        if (series.values.size() == 1)
            joinHistory(series);
    }
    emit readingsAdded();
}

void TrendData::AddHistory(const QString &sensorId, std::vector<qint64> times, std::vector<float> values,
                           qint64 joinMs)
{
    const int index = seriesOf(sensorId);
    if (index < 0)
        return;
    TrendSeries &series = m_series[size_t(index)];
    series.historyAsked = true;
    if (!series.historyTimes.empty())
        return;
    const size_t count = std::min(times.size(), values.size());
    const qint64 cutoff = firstPointTime(index);
    const size_t kept =
        cutoff < 0 ? count
                   : size_t(std::lower_bound(times.begin(), times.begin() + count, cutoff) - times.begin());
    times.resize(kept);
    values.resize(kept);
    series.historyTimes = std::move(times);
    series.historyValues = std::move(values);
    series.joinMs = joinMs;
    joinHistory(series);
    emit historyAdded(index);
}

void TrendData::joinHistory(TrendSeries &series)
{
    if (series.historyTimes.empty() || series.values.empty() || series.joinMs <= 0 ||
        std::isnan(series.historyValues.back()))
        return;
    const qint64 last = series.historyTimes.back();
    if (m_times[size_t(series.firstPoint)] - last <= series.joinMs)
        return;
    series.historyTimes.push_back(last + 1);
    series.historyValues.push_back(std::numeric_limits<float>::quiet_NaN());
}

qint64 TrendData::firstPointTime(int index) const
{
    const TrendSeries &series = m_series[size_t(index)];
    return series.values.empty() ? -1 : m_times[size_t(series.firstPoint)];
}

bool TrendData::timeSpan(qint64 &from, qint64 &to) const
{
    bool any = false;
    const auto include = [&](qint64 time) {
        from = any ? std::min(from, time) : time;
        to = any ? std::max(to, time) : time;
        any = true;
    };
    // Histories are in time order; the own points are not when the clock was set back.
    for (const TrendSeries &series : m_series) {
        if (!series.historyTimes.empty()) {
            include(series.historyTimes.front());
            include(series.historyTimes.back());
        }
    }
    if (!m_times.empty()) {
        const auto [low, high] = std::minmax_element(m_times.begin(), m_times.end());
        include(*low);
        include(*high);
    }
    return any;
}

TrendSamples TrendData::samples(int index) const
{
    const TrendSeries &series = m_series[size_t(index)];
    const TrendSamples::Part history{series.historyTimes.data(), series.historyValues.data(),
                                     int(std::min(series.historyTimes.size(), series.historyValues.size()))};
    const TrendSamples::Part own{m_times.data() + series.firstPoint, series.values.data(),
                                 int(series.values.size())};
    return TrendSamples(history, own);
}

float TrendData::currentValue(const QHash<QString, int> &rowOfSensor, const TrendSeries &series) const
{
    constexpr float none = std::numeric_limits<float>::quiet_NaN();
    const int row = rowOfSensor.value(series.sensorId, -1);
    if (row < 0)
        return none;
    // A model that does not say which rows are current (not the status grid) counts as current.
    const QVariant current = m_model->index(row, ReadingColumn).data(StatusGridModel::EvaluatedThisCycleRole);
    if (current.isValid() && !current.toBool())
        return none;
    return ReadingValue(cell(row, ReadingColumn));
}
