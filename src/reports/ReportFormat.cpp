#include "ReportFormat.h"

#include <core/DateTimeText.h>
#include <core/NumberText.h>

#include <cmath>

namespace ReportFormat {

const QString NoData = QStringLiteral("No data in this period");
const QString Removed = QStringLiteral("No longer in the sensor list");

QString Reading(float value)
{
    return FloatText(value);
}

QString PrintedReading(float value)
{
    // Adding zero turns a -0 left by rounding a small negative reading into 0.
    const double rounded = std::round(double(value) * 100.0) / 100.0 + 0.0;
    return rounded == double(value) ? FloatText(value) : FloatText(float(rounded));
}

QString Mean(double value)
{
    const QString text = QString::number(value, 'f', 2);
    return text == QLatin1String("-0.00") ? QStringLiteral("0.00") : text;
}

QString CoveragePercent(const SensorSummary &sensor, int periodHours)
{
    if (periodHours <= 0)
        return QStringLiteral("0.0");
    return QString::number(100.0 * sensor.hoursWithData / periodHours, 'f', 1);
}

QString Minutes(qint64 seconds)
{
    return QString::number(double(seconds) / 60.0, 'f', 1);
}

QString Duration(qint64 seconds)
{
    const qint64 minutes = (seconds + 30) / 60;
    if (minutes < 60)
        return QStringLiteral("%1 min").arg(minutes);
    return QStringLiteral("%1 h %2 min").arg(minutes / 60).arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QString DateTime(const QDateTime &when, const QString &none)
{
    return when.isValid() ? DateTimeText(when) : none;
}

QString OneLine(const QString &text)
{
    return text.simplified();
}

} // namespace ReportFormat
