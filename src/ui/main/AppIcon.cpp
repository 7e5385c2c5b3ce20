#include "AppIcon.h"

#include <QPainter>

namespace {
QPixmap drawIcon(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(30, 90, 160));
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(0, 0, size, size), size / 6.0, size / 6.0);
    // A bar-chart mark: three rising bars.
    p.setBrush(Qt::white);
    const double w = size / 6.0;
    for (int i = 0; i < 3; ++i) {
        const double h = size * (0.3 + 0.2 * i);
        p.drawRect(QRectF(w * (1 + 1.5 * i), size - w - h, w, h));
    }
    return pixmap;
}
} // namespace

QIcon TallyportIcon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64})
        icon.addPixmap(drawIcon(size));
    return icon;
}

QPixmap SplashPicture(const QString &caption)
{
    QPixmap pixmap(420, 200);
    pixmap.fill(QColor(30, 90, 160));
    QPainter p(&pixmap);
    p.drawPixmap(24, 68, drawIcon(64));
    p.setPen(Qt::white);
    QFont font = p.font();
    font.setPointSize(22);
    font.setBold(true);
    p.setFont(font);
    p.drawText(QRect(104, 60, 300, 40), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Tallyport"));
    font.setPointSize(10);
    font.setBold(false);
    p.setFont(font);
    p.drawText(QRect(104, 100, 300, 30), Qt::AlignLeft | Qt::AlignVCenter, caption);
    return pixmap;
}

QColor ColorFromNumber(int number)
{
    return QColor(number & 0xFF, (number >> 8) & 0xFF, (number >> 16) & 0xFF);
}
