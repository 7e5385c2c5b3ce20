#include "PublicUrl.h"

#include <QUrl>

bool PublicUrlUsable(const QString &text, QString &publicUrl, QString &reason)
{
    QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")) ||
        url.host().isEmpty() || !url.userInfo().isEmpty() || url.hasQuery() || url.hasFragment()) {
        reason = QStringLiteral("publicUrl \"%1\" is not an http:// or https:// address without a user, "
                                "query or fragment")
                     .arg(text);
        return false;
    }
    if (!url.path().endsWith(QLatin1Char('/')))
        url.setPath(url.path() + QLatin1Char('/'));
    publicUrl = url.toString();
    return true;
}
