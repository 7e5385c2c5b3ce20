#pragma once

#include "support_receiver.h"

#include <support/FreshDatabase.h>
#include <support/TestState.h>

#include <core/LocalWait.h>
#include <db/Database.h>
#include <notify/Notifier.h>

#include <QDeadlineTimer>

// A program directory with a fresh database, the notification channels given, and helpers to wait
// for what a receiver gets.
struct NotifyRig {
    explicit NotifyRig(const QList<NotifyChannelSettings> &channels)
    {
        FreshDatabase(t.path(QStringLiteral("wexa.mdb")));
        t.state.Ini.channels = channels;
        t.state.Ini.mail.retryFirstSeconds = 1;
        t.state.Ini.mail.retryMaxSeconds = 2;
        t.state.Config.OrgName = QStringLiteral("Bob's Lab");
    }

    TestState t;
    Database database{t.state};
};

inline NotifyChannelSettings Channel(const QString &name, const QString &type, const QString &url)
{
    NotifyChannelSettings c;
    c.name = name;
    c.type = type;
    c.url = url;
    c.timeoutSeconds = 2;
    return c;
}

inline NotifyEvent AlarmEvent(const QString &kind = QStringLiteral("alarm"))
{
    NotifyEvent e;
    e.kind = kind;
    e.device = QStringLiteral("Freezer 2");
    e.address = QStringLiteral("127.0.0.1");
    e.sensor = QStringLiteral("Bob's freezer");
    e.sensorId = 12;
    e.reading = -3.5;
    e.units = QStringLiteral("°C");
    e.state = QStringLiteral("-3.5");
    e.upperLimit = -10;
    e.lowerLimit = -30;
    e.alarmNumber = 7;
    e.subject = QStringLiteral("Sensor: Bob's freezer has generated an alarm!");
    e.text = QStringLiteral("Bob's freezer connected to server Freezer 2 has generated an alarm!\nToo warm");
    return e;
}

// An event as the window thread stores it for the channels, not yet turned into their messages:
// what a run stopped or killed just after storing it leaves.
inline NotifyEventRow StoredEvent(const NotifyEvent &event, const QString &recordTable, qint64 recordId,
                                  const QDateTime &created, const QStringList &channels)
{
    NotifyEventRow row;
    row.Kind = event.kind;
    row.MessageID = event.id;
    row.RecordTable = recordTable;
    row.RecordID = recordId;
    row.Created = created;
    row.Payload = event.StoredPayload();
    row.Channels = channels;
    return row;
}

// Waits, window events running, until the receiver holds count requests; false after timeoutMs.
inline bool WaitForRequests(TestReceiver &receiver, int count, int timeoutMs = 10000)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (receiver.requests.size() < count) {
        LocalWait wait;
        wait.endOn(&receiver, &TestReceiver::received);
        if (wait.run(int(qMax<qint64>(1, deadline.remainingTime()))) != LocalWait::Outcome::Finished)
            return false;
    }
    return true;
}

// A channel's count as the notification thread reports it once it has carried out every request
// made so far; -1 until then.
inline int Waiting(const Notifier &notifier, const QString &name)
{
    const std::optional<ChannelStatus> c = notifier.upToDate() ? notifier.channel(name) : std::nullopt;
    return c ? c->waitingCount() : -1;
}
inline int Failed(const Notifier &notifier, const QString &name)
{
    const std::optional<ChannelStatus> c = notifier.upToDate() ? notifier.channel(name) : std::nullopt;
    return c ? c->failedTotal() : -1;
}

// Lets events run for ms milliseconds.
inline void Pause(int ms)
{
    LocalWait wait;
    wait.run(ms);
}
