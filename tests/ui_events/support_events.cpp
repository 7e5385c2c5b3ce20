#include "support_events.h"

#include <core/DateTimeText.h>

#include <support/FreshDatabase.h>

#include <QAction>
#include <QSqlQuery>

EventsWindow::EventsWindow() : db(t.state, FreshDatabase(t.path(QStringLiteral("wexa.mdb")))), window(t.state)
{
    window.attachEventViews(db);
    window.setAlarmResponse(response);
}

void EventsWindow::openEvents()
{
    find<QAction>("mnuAlarmFrame")->trigger();
}

qint64 EventsWindow::addAlarm(int minutesAgo, const QString &sensor)
{
    qint64 id = 0;
    if (!db.AddAlarmRecord(7, t.clock.now().addSecs(-60 * minutesAgo), QStringLiteral("Lab"), sensor,
                           QStringLiteral("81.5"), 12, -1, &id))
        qFatal("alarm not added: %s", qPrintable(db.lastError()));
    return id;
}

void EventsWindow::addEpisode(const QString &device, bool notified)
{
    qint64 first = 0;
    db.AddServerFailure(3, device);
    db.FirstOpenServerFailure(3, false, first);
    if (notified)
        db.UpdateServerFailureEmailSent(first, device, DateTimeText(t.clock.now()));
}

int EventsWindow::rows(const char *table) const
{
    const QVariant count = value(QStringLiteral("SELECT COUNT(*) FROM ") + QLatin1String(table));
    return count.isValid() ? count.toInt() : -1;
}

QVariant EventsWindow::value(const QString &sql) const
{
    // Read over a connection of its own, as another program would see the file.
    const QString name = QStringLiteral("count-rows");
    QVariant result;
    {
        QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        other.setDatabaseName(db.path());
        QSqlQuery query(other);
        if (other.open() && query.exec(sql) && query.next())
            result = query.value(0);
    }
    QSqlDatabase::removeDatabase(name);
    return result;
}
