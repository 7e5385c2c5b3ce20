#include "WindowOrder.h"

#include <QApplication>
#include <QEvent>

WindowOrder::WindowOrder(QObject *parent) : QObject(parent)
{
    qApp->installEventFilter(this);
}

WindowOrder::~WindowOrder()
{
    qApp->removeEventFilter(this);
}

bool WindowOrder::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Show && watched->isWidgetType()) {
        auto *widget = static_cast<QWidget *>(watched);
        if (widget->isWindow()) {
            m_opened.removeIf([widget](const QPointer<QWidget> &w) { return w.isNull() || w == widget; });
            m_opened.append(widget);
        }
    }
    return false;
}

void WindowOrder::CloseNewestFirst(const QWidget *keep)
{
    // Closing one window may close or open others; work on a copy and look again at each.
    const QList<QPointer<QWidget>> opened = m_opened;
    for (auto it = opened.crbegin(); it != opened.crend(); ++it)
        if (*it && *it != keep && (*it)->isVisible())
            (*it)->close();
    // Windows shown before this watcher existed, in no particular order.
    for (QWidget *window : QApplication::topLevelWidgets())
        if (window != keep && window->isVisible())
            window->close();
}

#include "moc_WindowOrder.cpp"
