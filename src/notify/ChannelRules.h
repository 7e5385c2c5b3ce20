#pragma once

#include <core/IniSettings.h>

#include <QStringList>

// What a notification channel's settings mean: the types and event kinds there are, whether a
// channel's settings can be used, and which events it takes.
namespace ChannelRules {

// The channel types, as written in type=.
const QStringList &Types();
// The kinds of event, as written in events= and sent as "event".
const QStringList &EventKinds();

// Why the channel cannot be used (no valid name, an unknown type or event kind, a URL that is not
// http:// or https:// with a host), or an empty text when it can.
QString Problem(const NotifyChannelSettings &channel);

// Whether the channel takes an event of this kind from this device (device and address empty
// for events that come from no device).
bool Takes(const NotifyChannelSettings &channel, const QString &kind, const QString &device,
           const QString &address);

// Whether an event from this device passes a devices= list (names or addresses, comma-separated;
// empty: every device).
bool FromDevices(const QString &devicesText, const QString &device, const QString &address);
// The items of a comma-separated list, trimmed, empty ones left out.
QStringList ListOf(const QString &text);

// The "Name: value" headers of headers=, each checked to hold no line break.
QList<QByteArray> ExtraHeaders(const NotifyChannelSettings &channel);

} // namespace ChannelRules
