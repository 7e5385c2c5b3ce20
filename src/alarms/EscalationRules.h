#pragma once

#include <core/IniSettings.h>

#include <QString>
#include <QStringList>

// What the steps of [escalate.N] mean: whether a step can work, who it tells, and which alarms
// it takes.
namespace EscalationRules {

// Why the step cannot be used (no recipient, an address that is not one, a channel name that is
// not one of the channels set up), or an empty text when it can.
QString Problem(const EscalationStepSettings &step, const QList<NotifyChannelSettings> &channels);

// The step's e-mail addresses (commas or semicolons between them); empty when none is valid.
QStringList Addresses(const EscalationStepSettings &step);
// The step's channel names.
QStringList Channels(const EscalationStepSettings &step);

// Whether the step takes an alarm of this device (its name and address).
bool Takes(const EscalationStepSettings &step, const QString &device, const QString &address);

// A channel renamed: the steps that named it name it anew. True when a step changed.
bool RenameChannel(QList<EscalationStepSettings> &steps, const QString &from, const QString &to);

} // namespace EscalationRules
