#include "TrendData.h"

#include "StatusGridModel.h"

#include <core/Clock.h>

#include <QAbstractItemModel>
#include <QLocale>

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
    m_series.clear();
    m_axes.clear();
    m_times.clear();
    const int rows = m_model ? m_model->rowCount() : 0;
    bool present[3] = {false, false, false};
    for (int row = 0; row < rows; ++row) {
        const QString units = cell(row, UnitsColumn);
        if (!IsChartedUnit(units))
            continue;
        TrendSeries series;
        series.name = cell(row, SensorColumn).left(NameLength);
        series.paletteEntry = int(m_series.size()) % PaletteSize + 1;
        series.colour = PaletteColour(series.paletteEntry);
        series.unit = UnitKind(units);
        series.sensorId = cell(row, SensorIdColumn);
        series.row = row;
        present[int(series.unit)] = true;
        m_series.push_back(std::move(series));
    }
    // Every kind a series is assigned to gets its axis, so no series is left without one.
    for (TrendUnit unit : {TrendUnit::Fahrenheit, TrendUnit::Celsius, TrendUnit::RelativeHumidity})
        if (present[int(unit)])
            m_axes.push_back(unit);
    for (TrendSeries &series : m_series)
        series.axis = int(std::find(m_axes.begin(), m_axes.end(), series.unit) - m_axes.begin());
    emit built();
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
    for (TrendSeries &series : m_series)
        series.values.push_back(currentValue(rowOfSensor, series));
    emit readingsAdded();
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
