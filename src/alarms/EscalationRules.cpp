#include "EscalationRules.h"

#include "EmailAddresses.h"

#include <notify/ChannelRules.h>

namespace {
QString addressText(const EscalationStepSettings &step)
{
    QString text = step.email;
    return text.replace(QLatin1Char(';'), QLatin1Char(','));
}
} // namespace

namespace EscalationRules {

QString Problem(const EscalationStepSettings &step, const QList<NotifyChannelSettings> &channels)
{
    const QStringList names = Channels(step);
    if (addressText(step).trimmed().isEmpty() && names.isEmpty())
        return QStringLiteral("The step tells nobody: give email= addresses or channels= names.");
    if (!addressText(step).trimmed().isEmpty()) {
        QStringList addresses;
        QString error;
        if (!SplitAddressList(addressText(step), addresses, error))
            return error;
    }
    for (const QString &name : names) {
        const bool known = std::any_of(channels.cbegin(), channels.cend(),
                                       [&name](const NotifyChannelSettings &c) { return c.name == name; });
        if (!known)
            return QStringLiteral("There is no notification channel \"%1\" ([notify.%1]).").arg(name);
    }
    return QString();
}

QStringList Addresses(const EscalationStepSettings &step)
{
    QStringList addresses;
    QString error;
    if (!SplitAddressList(addressText(step), addresses, error))
        addresses.clear();
    return addresses;
}

QStringList Channels(const EscalationStepSettings &step)
{
    return ChannelRules::ListOf(step.channels);
}

bool Takes(const EscalationStepSettings &step, const QString &device, const QString &address)
{
    return ChannelRules::FromDevices(step.devices, device, address);
}

bool RenameChannel(QList<EscalationStepSettings> &steps, const QString &from, const QString &to)
{
    bool changed = false;
    for (EscalationStepSettings &step : steps) {
        QStringList names = Channels(step);
        if (!names.contains(from))
            continue;
        names.replace(names.indexOf(from), to);
        step.channels = names.join(QStringLiteral(", "));
        changed = true;
    }
    return changed;
}

} // namespace EscalationRules
