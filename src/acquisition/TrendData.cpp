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
        series.older = {};
        series.olderTicket = 0;
        series.pyramid.invalidate();
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
    QHash<QString, int> rowOfSensor;
    const int rows = m_model ? m_model->rowCount() : 0;
    for (int row = 0; row < rows; ++row)
        rowOfSensor.insert(cell(row, SensorIdColumn), row);
    std::vector<float> values;
    values.reserve(m_series.size());
    for (const TrendSeries &series : m_series)
        values.push_back(currentValue(rowOfSensor, series));
    AddPoint(m_clock.now().toMSecsSinceEpoch(), values);
}

void TrendData::AddPoint(qint64 time, const std::vector<float> &values)
{
    if (m_series.empty())
        return;
    AppendTrendSample(m_times, time);
    includeInSpan(time);
    for (size_t j = 0; j < m_series.size(); ++j) {
        TrendSeries &series = m_series[j];
        AppendTrendSample(series.values,
                          j < values.size() ? values[j] : std::numeric_limits<float>::quiet_NaN());
        if (series.values.size() == 1)
            joinHistory(series);
    }
    dropOldSamples(time);
    emit readingsAdded();
}

void TrendData::includeInSpan(qint64 time)
{
    m_spanFrom = m_anySample ? std::min(m_spanFrom, time) : time;
    m_spanTo = m_anySample ? std::max(m_spanTo, time) : time;
    m_anySample = true;
}

qint64 TrendData::firstKeptTime(const TrendSeries &series) const
{
    if (!series.historyTimes.empty())
        return series.historyTimes.front();
    return series.values.empty() ? -1 : m_times[size_t(series.firstPoint)];
}

void TrendData::dropOldSamples(qint64 newest)
{
    if (m_keepMs <= 0 || m_times.empty())
        return;
    const qint64 cutoff = newest - m_keepMs;
    // Dropped in batches, so the kept samples move once per sixteenth of the span.
    qint64 oldest = m_times.front();
    for (const TrendSeries &series : m_series)
        if (!series.historyTimes.empty())
            oldest = std::min(oldest, series.historyTimes.front());
    if (oldest >= cutoff - m_keepMs / 16)
        return;
    const bool olderKept = extendOlder(cutoff);
    const size_t shared =
        size_t(std::find_if(m_times.begin(), m_times.end(), [cutoff](qint64 t) { return t >= cutoff; }) -
               m_times.begin());
    m_times.erase(m_times.begin(), m_times.begin() + std::ptrdiff_t(shared));
    for (TrendSeries &series : m_series) {
        const size_t history = DropTrendSamplesBefore(series.historyTimes, series.historyValues, cutoff);
        size_t own = 0;
        if (size_t(series.firstPoint) >= shared) {
            series.firstPoint -= int(shared);
        } else {
            own = std::min(shared - size_t(series.firstPoint), series.values.size());
            series.values.erase(series.values.begin(), series.values.begin() + std::ptrdiff_t(own));
            series.firstPoint = 0;
        }
        series.pyramid.dropFront(int(history + own), cutoff);
        FitTrendCapacity(series.values);
        FitTrendCapacity(series.historyTimes);
        FitTrendCapacity(series.historyValues);
    }
    FitTrendCapacity(m_times);
    m_keptFrom = std::max(m_keptFrom, cutoff);
    // Readings some series still waits for would end where the kept span began before this drop;
    // the next redraw asks for them again.
    if (!olderKept)
        releaseOlder();
}

bool TrendData::extendOlder(qint64 cutoff)
{
    // A span that ends before the kept one loses nothing by the drop.
    if (m_older.ticket == 0 || m_older.to < m_keptFrom || cutoff <= m_older.to)
        return true;
    for (const TrendSeries &series : m_series)
        if (series.olderTicket != m_older.ticket)
            return false;
    const qint64 held = std::max<qint64>((m_older.to - m_older.from) / m_older.columns, 1);
    const int columns = int(std::max<qint64>((cutoff - m_older.to + held - 1) / held, 1));
    for (TrendSeries &series : m_series) {
        TrendReduced dropped = ReduceTrendToColumns(keptSamples(series), m_older.to, cutoff - 1, columns);
        // The sample just after the span stays in memory with the kept ones.
        while (!dropped.times.empty() && dropped.times.back() >= cutoff) {
            dropped.times.pop_back();
            dropped.values.pop_back();
        }
        series.older.times.insert(series.older.times.end(), dropped.times.begin(), dropped.times.end());
        series.older.values.insert(series.older.values.end(), dropped.values.begin(), dropped.values.end());
    }
    m_older.to = cutoff;
    m_older.columns = int((m_older.to - m_older.from + held - 1) / held);
    return true;
}

void TrendData::releaseOlder()
{
    if (m_older.ticket == 0)
        return;
    for (TrendSeries &series : m_series) {
        series.older = {};
        series.olderTicket = 0;
    }
    m_older = {};
    emit olderWanted(m_older);
}

void TrendData::ReachBack(qint64 from, qint64 to, int columns)
{
    if (m_keptFrom == std::numeric_limits<qint64>::min() || from >= m_keptFrom || m_series.empty()) {
        releaseOlder();
        return;
    }
    columns = std::max(columns, 1);
    to = std::max(to, from + 1);
    const qint64 bucket = std::max<qint64>((to - from) / columns, 1);
    if (m_older.ticket != 0) {
        const qint64 held = std::max<qint64>((m_older.to - m_older.from) / m_older.columns, 1);
        if (m_older.from <= from && m_older.to >= std::min(to, m_keptFrom) && held <= 2 * bucket &&
            2 * held >= bucket)
            return;
    }
    // A margin on each side, so the line runs to the edges and a small move reads nothing.
    const qint64 margin = std::max<qint64>((to - from) / 20, 30 * 60 * 1000);
    m_older.from = from - margin;
    m_older.to = std::min(to + margin, m_keptFrom);
    m_older.columns = int(std::max<qint64>((m_older.to - m_older.from + bucket - 1) / bucket, 1));
    m_older.ticket = ++m_lastTicket;
    emit olderWanted(m_older);
}

void TrendData::AddOlder(int ticket, const QString &sensorId, std::vector<qint64> times,
                         std::vector<float> values, qint64 breakMs)
{
    const int index = seriesOf(sensorId);
    if (ticket == 0 || ticket != m_older.ticket || index < 0)
        return;
    TrendSeries &series = m_series[size_t(index)];
    // Nothing from the first sample memory holds on, nor from the kept span on when the span asked
    // for reaches it: an hour's highest reading, drawn half an hour into the hour, may lie there.
    const qint64 kept = firstKeptTime(series);
    qint64 end = kept >= 0 ? kept : std::numeric_limits<qint64>::max();
    if (m_older.to >= m_keptFrom)
        end = std::min(end, m_older.to);
    const auto last = times.begin() + std::ptrdiff_t(std::min(times.size(), values.size()));
    const size_t count = size_t(std::lower_bound(times.begin(), last, end) - times.begin());
    times.resize(count);
    values.resize(count);
    // The readings end before the kept samples begin; the line joins them unless the stretch
    // between is longer than the files' own spacing allows.
    if (count > 0 && !std::isnan(values.back()) && kept >= 0 && breakMs > 0 &&
        kept - times.back() > breakMs) {
        times.push_back(times.back() + 1);
        values.push_back(std::numeric_limits<float>::quiet_NaN());
    }
    series.older.times = std::move(times);
    series.older.values = std::move(values);
    series.olderTicket = ticket;
    emit olderAdded(index);
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
    // Nothing from before what memory keeps.
    DropTrendSamplesBefore(times, values, m_keptFrom);
    series.historyTimes = std::move(times);
    series.historyValues = std::move(values);
    series.joinMs = joinMs;
    if (!series.historyTimes.empty()) {
        includeInSpan(series.historyTimes.front());
        includeInSpan(series.historyTimes.back());
    }
    joinHistory(series);
    series.pyramid.invalidate();
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
    series.pyramid.invalidate();
}

qint64 TrendData::firstPointTime(int index) const
{
    const TrendSeries &series = m_series[size_t(index)];
    return series.values.empty() ? -1 : m_times[size_t(series.firstPoint)];
}

bool TrendData::timeSpan(qint64 &from, qint64 &to) const
{
    if (!m_anySample)
        return false;
    from = m_spanFrom;
    to = m_spanTo;
    return true;
}

namespace {
TrendSamples::Part partOf(const std::vector<qint64> &times, const std::vector<float> &values)
{
    return {times.data(), values.data(), int(std::min(times.size(), values.size()))};
}
} // namespace

TrendSamples::Part TrendData::ownPart(const TrendSeries &series) const
{
    return {m_times.data() + series.firstPoint, series.values.data(), int(series.values.size())};
}

TrendSamples TrendData::keptSamples(const TrendSeries &series) const
{
    return TrendSamples({partOf(series.historyTimes, series.historyValues), ownPart(series)});
}

TrendSamples TrendData::samples(int index) const
{
    const TrendSeries &series = m_series[size_t(index)];
    return TrendSamples({partOf(series.older.times, series.older.values),
                         partOf(series.historyTimes, series.historyValues), ownPart(series)});
}

TrendSamples TrendData::drawSamples(int index, qint64 from, qint64 to, int columns)
{
    TrendSeries &series = m_series[size_t(index)];
    const TrendSamples::Part history = partOf(series.historyTimes, series.historyValues);
    const TrendSamples::Part own = ownPart(series);
    const int level = series.pyramid.choose(TrendSamples({history, own}), from, to, columns);
    const TrendSamples::Part older = partOf(series.older.times, series.older.values);
    if (level < 0)
        return TrendSamples({older, history, own});
    const TrendReduced &coarse = series.pyramid.levelSamples(level);
    return TrendSamples({older, partOf(coarse.times, coarse.values)});
}

size_t TrendData::memoryBytes() const
{
    size_t bytes = m_times.capacity() * sizeof(qint64);
    for (const TrendSeries &series : m_series)
        bytes += series.values.capacity() * sizeof(float) + series.historyTimes.capacity() * sizeof(qint64) +
                 series.historyValues.capacity() * sizeof(float) +
                 series.older.times.capacity() * sizeof(qint64) +
                 series.older.values.capacity() * sizeof(float) + series.pyramid.memoryBytes();
    return bytes;
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

#include "moc_TrendData.cpp"
