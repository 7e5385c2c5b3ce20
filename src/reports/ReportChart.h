#pragma once

#include "Report.h"

#include <QFont>
#include <QRectF>

class QPainter;

// One sensor's chart over the report's period: the band from each hour's minimum to its maximum
// and the line of the hourly means, broken where hours have no readings; a value axis with round
// steps and a time axis marked by days (by hours for a period of two days or less). A sensor
// without readings gets its frame and "No data in this period".
void PaintSensorChart(QPainter &painter, const QRectF &area, const SensorSummary &sensor,
                      const ReportPeriod &period, const QFont &font);

// Round axis steps for [low, high]: about `count` of them, each 1, 2 or 5 times a power of ten.
QList<double> AxisSteps(double low, double high, int count);
