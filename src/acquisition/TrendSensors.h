#pragma once

#include "TrendData.h"

#include <QList>
#include <QString>

class Database;

// The sensors the next poll cycles will chart, known before any of them is read: the named
// sensors of every enabled device, in the order the cycle reads them, with the name and unit
// their header file holds ("Sensor-<id>.dat" in directory). A sensor without a header file has
// never had a reading and is left out, as is one whose unit is not charted (doors, water, power).
QList<TrendSensor> ChartedSensors(Database &database, const QString &directory);
