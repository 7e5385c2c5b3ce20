#pragma once

#include "WebSnapshot.h"

#include <QByteArray>

// /api/v1/status: the snapshot as one JSON object.
QByteArray StatusJson(const WebSnapshot &snapshot);
// /api/v1/alarms: the alarms, newest first, with their texts and resolutions.
QByteArray AlarmsJson(const QList<AlarmRecord> &alarms);

// A local date-time in ISO 8601 with its offset from UTC; empty for an invalid one.
QString IsoTime(const QDateTime &when);
