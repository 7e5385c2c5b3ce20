#pragma once

#include "WebSnapshot.h"

#include <core/DateTimeText.h> // IsoTime

#include <QByteArray>
#include <QJsonObject>

// /api/v1/status: the snapshot as one JSON object.
QByteArray StatusJson(const WebSnapshot &snapshot);
// /api/v1/alarms: the alarms, newest first, with their texts and resolutions.
QByteArray AlarmsJson(const QList<AlarmRecord> &alarms);
// An alarm's acknowledgement: alarm, by, at, via, peer, comment.
QJsonObject AckJson(const AlarmAck &ack);
