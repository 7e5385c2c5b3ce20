#include "ChannelRules.h"

#include <QRegularExpression>
#include <QUrl>

namespace {
QStringList listOf(const QString &text)
{
    QStringList items;
    for (const QString &item : text.split(QLatin1Char(','), Qt::SkipEmptyParts))
        if (!item.trimmed().isEmpty())
            items.append(item.trimmed());
    return items;
}
} // namespace

const QStringList &ChannelRules::Types()
{
    static const QStringList types = {QStringLiteral("webhook"), QStringLiteral("ntfy"),
                                      QStringLiteral("slack"), QStringLiteral("teams"),
                                      QStringLiteral("alertmanager")};
    return types;
}

const QStringList &ChannelRules::EventKinds()
{
    static const QStringList kinds = {QStringLiteral("alarm"),          QStringLiteral("alarm-end"),
                                      QStringLiteral("device-failure"), QStringLiteral("device-recovered"),
                                      QStringLiteral("backup"),         QStringLiteral("system-ok"),
                                      QStringLiteral("shutdown")};
    return kinds;
}

QString ChannelRules::Problem(const NotifyChannelSettings &channel)
{
    static const QRegularExpression namePattern(QStringLiteral("^[A-Za-z0-9_-]{1,40}$"));
    if (!namePattern.match(channel.name).hasMatch())
        return QStringLiteral("The channel's name \"%1\" must be 1 to 40 letters, digits, \"-\" or \"_\".")
            .arg(channel.name);
    if (!Types().contains(channel.type))
        return QStringLiteral("The type \"%1\" is not one of %2.")
            .arg(channel.type, Types().join(QStringLiteral(", ")));
    const QUrl url(channel.url, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")) ||
        url.host().isEmpty())
        return QStringLiteral("The URL \"%1\" is not an http:// or https:// address.").arg(channel.url);
    for (const QString &kind : listOf(channel.events))
        if (!EventKinds().contains(kind))
            return QStringLiteral("The event \"%1\" is not one of %2.")
                .arg(kind, EventKinds().join(QStringLiteral(", ")));
    for (const QString &text : {channel.token, channel.secret, channel.headers})
        if (text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n')))
            return QStringLiteral("A token, secret or header may not hold a line break.");
    for (const QString &header : channel.headers.split(QLatin1Char('|'), Qt::SkipEmptyParts))
        if (!header.trimmed().isEmpty() && header.indexOf(QLatin1Char(':')) < 1)
            return QStringLiteral("The header \"%1\" is not \"Name: value\".").arg(header.trimmed());
    return {};
}

bool ChannelRules::Takes(const NotifyChannelSettings &channel, const QString &kind, const QString &device,
                         const QString &address)
{
    const QStringList kinds = listOf(channel.events);
    if (!kinds.isEmpty() && !kinds.contains(kind))
        return false;
    return FromDevices(channel.devices, device, address);
}

bool ChannelRules::FromDevices(const QString &devicesText, const QString &device, const QString &address)
{
    const QStringList devices = listOf(devicesText);
    if (devices.isEmpty() || (device.isEmpty() && address.isEmpty()))
        return true;
    return devices.contains(device, Qt::CaseInsensitive) ||
           (!address.isEmpty() && devices.contains(address, Qt::CaseInsensitive));
}

QStringList ChannelRules::ListOf(const QString &text)
{
    return listOf(text);
}

QList<QByteArray> ChannelRules::ExtraHeaders(const NotifyChannelSettings &channel)
{
    QList<QByteArray> headers;
    for (const QString &header : channel.headers.split(QLatin1Char('|'), Qt::SkipEmptyParts)) {
        const QString h = header.trimmed();
        if (h.indexOf(QLatin1Char(':')) > 0 && !h.contains(QLatin1Char('\r')) &&
            !h.contains(QLatin1Char('\n')))
            headers.append(h.toUtf8());
    }
    return headers;
}
