#pragma once

#include <QString>

class EditorLayout;
class QGridLayout;
class QGroupBox;
class QWidget;

// The grids of a sensor editor. They share one row height, so that the rows of the notes and
// calibration frames line up with the sensor rows beside them: row 0 holds the headings, row
// i + 1 sensor i.
namespace SensorTable {

// The sensor table: kind caption, name, limits, normal state, time and reading, as far as the
// layout has them.
QGroupBox *Build(const EditorLayout &layout, QWidget *parent);
// frmNotes "Sensor Notes": one notes box per sensor.
QGroupBox *BuildNotes(const EditorLayout &layout, QWidget *parent);
// The rows of frmCal: name, actual temperature and correction of each calibrated sensor; the
// widgets belong to frame, the grid to whatever layout the caller puts it in.
QGridLayout *BuildCalibrationRows(const EditorLayout &layout, QWidget *frame);

// A grid with the shared row height for rows 0 to rows (set on parent when given).
QGridLayout *NewGrid(QWidget *parent, int rows);

} // namespace SensorTable
