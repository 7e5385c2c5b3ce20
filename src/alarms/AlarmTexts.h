#pragma once

#include <QString>
#include <QtGlobal>

// The program's words for sensor states and alarms. Line breaks inside messages are a single
// carriage return (character 13).

// A reading as decimal text: at most seven significant digits, no trailing zeros, no decimal
// point for whole numbers, never an exponent (72.5, 68, -4.3, 0.05).
QString NumberText(float value);

// The state text of one reading for a sensor of the given type (tested case-insensitively by
// substring). Returns true for a real reading and false for a code (not connected, open,
// shorted, no data). A digital input (door, dry contact, water) with a reading other than 0 or
// 1 gets the reading's own number text.
bool SensorStateText(float reading, const QString &sensorType, QString &stateText);

// The message of a new alarm: the alarm's cause and the body of its e-mail. Returns true when the
// message was built.
bool AlarmMessageText(QString &message, qint64 minutesOutOfLimits, const QString &deviceName,
                      const QString &sensorName, const QString &sensorType, const QString &stateText,
                      const QString &unitText, const QString &sensorNotes);
