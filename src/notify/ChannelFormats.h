#pragma once

#include "HttpTransport.h"
#include "NotifyEvent.h"

#include <core/IniSettings.h>

#include <QList>

// The request each type of channel sends for an event: the webhook's JSON document, ntfy's text
// with its headers, Slack's and Teams' message formats, and Alertmanager's alerts.
namespace ChannelFormats {

// The request for one event; now is when it is sent (Alertmanager's alerts run from then).
HttpRequest Request(const NotifyChannelSettings &channel, const NotifyEvent &event, const QDateTime &now);

// Alertmanager: the alerts of the events in one post, each open one running until
// now + 4 x repostSeconds unless its end is known.
HttpRequest AlertsRequest(const NotifyChannelSettings &channel, const QList<NotifyEvent> &events,
                          const QDateTime &now);
// Alertmanager: the end, now, of open alerts posted by a version that named the sensor by its
// database key (the label sensor_id) rather than by the device's address and port.
HttpRequest EndsBeforePortRequest(const NotifyChannelSettings &channel, const QList<NotifyEvent> &events,
                                  const QDateTime &now);
// Events of the same alert (an alarm and its end) share this key; in any channel the messages of
// one key go in the order they were made.
QString AlertKey(const NotifyEvent &event);
// Alertmanager: whether the event opens an alert that stays open until an event of its key ends it.
bool OpensAlert(const QString &kind);
bool EndsAlert(const QString &kind);

// "sha256=" and the hex HMAC-SHA256 of the body under the key.
QByteArray Signature(const QByteArray &key, const QByteArray &body);

} // namespace ChannelFormats
