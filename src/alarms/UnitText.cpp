#include "UnitText.h"

#include <core/Win1252.h>

namespace {
enum class Unit { Degree, Humidity, None };

// The first model text that matches decides the layout.
Unit unitFor(const QString &model, int port)
{
    if (model.contains(QLatin1String("700-10")) || model.contains(QLatin1String("700-5")))
        return port == 8 || port == 9 ? Unit::None : Unit::Degree;
    if (model.contains(QLatin1String("14")) || model.contains(QLatin1String("13")) ||
        model.contains(QLatin1String("15")))
        return port == 2 || port == 3 ? Unit::None : Unit::Degree;
    if (model.contains(QLatin1String("16"))) {
        if (port == 3)
            return Unit::Humidity;
        return port == 4 || port == 5 ? Unit::None : Unit::Degree;
    }
    if (model.contains(QLatin1String("700-8"))) {
        if (port >= 8)
            return Unit::None;
        return port % 2 == 0 ? Unit::Degree : Unit::Humidity;
    }
    if (model.contains(QLatin1String("740")) || model.contains(QLatin1String("720")))
        return port <= 3 ? Unit::Degree : Unit::None;
    return Unit::None;
}
} // namespace

QString UnitTextForPort(const QString &modelText, int port, int temperatureScale)
{
    switch (unitFor(modelText, port)) {
    case Unit::Degree: {
        // A reply without a printable scale letter (a NUL byte) must not put a control character
        // into the grid, the data files and the chart's unit axes.
        const QChar scale(temperatureScale);
        return TemperatureUnitText(scale.isPrint() && temperatureScale < 256 ? scale : QChar('F'));
    }
    case Unit::Humidity:
        return QStringLiteral("%RH");
    case Unit::None:
        break;
    }
    return QString();
}
