#pragma once

#include <acquisition/StatusGridModel.h>
#include <alarms/AlarmResponse.h>
#include <alarms/MailManager.h>
#include <alarms/Outbox.h>
#include <db/Database.h>
#include <ui/main/EventViews.h>
#include <ui/main/MainWindow.h>

#include <support/TestState.h>

#include <QWidget>

// The main window over a fresh database made from the schema, with its event views attached and
// acknowledging through an engine of their own.
struct EventsWindow {
    EventsWindow();

    TestState t;
    Database db;
    MailManager mail{t.state};
    Outbox outbox{t.state, db, mail};
    StatusGridModel grid;
    AlarmResponse response{t.state, db, outbox, grid};
    MainWindow window;

    template <typename T> T *find(const char *name) const
    {
        T *found = window.findChild<T *>(QLatin1String(name));
        if (!found)
            qFatal("no control %s", name);
        return found;
    }
    EventViews &views() const { return *window.eventViews(); }
    // The Events menu item.
    void openEvents();
    // An alarm that started minutesAgo before the test clock.
    qint64 addAlarm(int minutesAgo, const QString &sensor = QStringLiteral("Freezer"));
    // A device failure episode; notified gives it a sent notice.
    void addEpisode(const QString &device, bool notified);
    int rows(const char *table) const;
    // One value of a statement over a connection of its own.
    QVariant value(const QString &sql) const;
};
