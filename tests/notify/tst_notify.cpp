#include "support_notify.h"

#include <alarms/EscalationRules.h>
#include <alarms/EventBrowser.h>
#include <core/BackgroundPriority.h>
#include <core/IniFile.h>
#include <notify/ChannelFormats.h>
#include <notify/ChannelQueue.h>
#include <notify/ChannelRules.h>
#include <support/SlowBuild.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageAuthenticationCode>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>
#include <QTimer>

#include <sys/resource.h>
#include <unistd.h>

namespace {
const QHostAddress kReceiverAddress(QStringLiteral("127.0.190.1"));

QJsonObject JsonOf(const TestReceiver::Request &r)
{
    return QJsonDocument::fromJson(r.body).object();
}

// Runs a statement on a connection of its own, as another program would; first receives the
// first value of its first row.
bool SideExec(const QString &file, const QString &statement, QVariant *first = nullptr)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("side"));
    db.setDatabaseName(file);
    bool done = db.open();
    {
        QSqlQuery query(db);
        done = done && query.exec(statement);
        if (done && first)
            *first = query.next() ? query.value(0) : QVariant();
    }
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("side"));
    return done;
}
int SideCount(const QString &file, const QString &statement)
{
    QVariant value;
    return SideExec(file, statement, &value) ? value.toInt() : -1;
}

// The nice values of this process's threads named `name`.
QList<int> NiceOfThreads(const QString &name)
{
    QList<int> values;
    for (const QString &task :
         QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString dir = QStringLiteral("/proc/self/task/") + task;
        QFile comm(dir + QStringLiteral("/comm"));
        QFile stat(dir + QStringLiteral("/stat"));
        if (!comm.open(QIODevice::ReadOnly) || QString::fromUtf8(comm.readAll()).trimmed() != name ||
            !stat.open(QIODevice::ReadOnly))
            continue;
        // The fields after the name in parentheses; the nice value is the 19th of the line.
        const QList<QByteArray> fields = stat.readAll().split(')').last().trimmed().split(' ');
        values.append(fields.value(16).toInt());
    }
    return values;
}
} // namespace

class TestNotify : public QObject {
    Q_OBJECT
private slots:
    void channelSettingsAreReadAndBadOnesRefused()
    {
        TestState t;
        {
            QSettings ini(t.path(IniFile::FileName), QSettings::IniFormat);
            ini.setValue(QStringLiteral("notify.phone/type"), QStringLiteral("ntfy"));
            ini.setValue(QStringLiteral("notify.phone/url"), QStringLiteral("https://ntfy.example/freezers"));
            ini.setValue(QStringLiteral("notify.phone/events"), QStringLiteral("alarm,alarm-end"));
            ini.setValue(QStringLiteral("notify.odd/type"), QStringLiteral("pager"));
            ini.setValue(QStringLiteral("notify.odd/url"), QStringLiteral("https://pager.example/"));
            ini.setValue(QStringLiteral("notify.ftp/type"), QStringLiteral("webhook"));
            ini.setValue(QStringLiteral("notify.ftp/url"), QStringLiteral("ftp://files.example/"));
            ini.setValue(QStringLiteral("escalation/repeatMinutes"), QStringLiteral("10"));
            ini.setValue(QStringLiteral("escalate.1/afterMinutes"), QStringLiteral("30"));
            ini.setValue(QStringLiteral("escalate.1/channels"), QStringLiteral("phone"));
            ini.setValue(QStringLiteral("escalate.2/afterMinutes"), QStringLiteral("5"));
            ini.setValue(QStringLiteral("escalate.2/email"), QStringLiteral("a@example.com; b@example.com"));
            ini.setValue(QStringLiteral("escalate.3/channels"), QStringLiteral("nosuch"));
            ini.setValue(QStringLiteral("escalate.4/afterMinutes"), QStringLiteral("9"));
            ini.setValue(QStringLiteral("escalate.5/email"), QStringLiteral("not an address"));
            ini.setValue(QStringLiteral("escalate.x/email"), QStringLiteral("c@example.com"));
        }
        IniFile file(t.state);
        QVERIFY(file.Read());
        QCOMPARE(t.state.Ini.channels.size(), 1);
        const NotifyChannelSettings phone = t.state.Ini.channels.first();
        QCOMPARE(phone.name, QStringLiteral("phone"));
        QVERIFY(!phone.insecure);
        QVERIFY(ChannelRules::Takes(phone, QStringLiteral("alarm"), QStringLiteral("A"), QString()));
        QVERIFY(!ChannelRules::Takes(phone, QStringLiteral("system-ok"), QString(), QString()));
        QCOMPARE(t.errors.lines().filter(QStringLiteral("[notify.odd] is not used")).size(), 1);
        QCOMPARE(t.errors.lines().filter(QStringLiteral("[notify.ftp] is not used")).size(), 1);
        // Escalation steps: in the order of their minutes; one naming an unknown channel, telling
        // nobody, or with a bad address or number is left out with a message.
        const EscalationIniSettings &escalation = t.state.Ini.escalation;
        QCOMPARE(escalation.repeatMinutes, 10);
        QCOMPARE(escalation.steps.size(), 2);
        QCOMPARE(escalation.steps[0].number, 2);
        QCOMPARE(EscalationRules::Addresses(escalation.steps[0]),
                 (QStringList{"a@example.com", "b@example.com"}));
        QCOMPARE(escalation.steps[1].number, 1);
        QCOMPARE(EscalationRules::Channels(escalation.steps[1]), QStringList{"phone"});
        QCOMPARE(t.errors.lines()
                     .filter("[escalate.3] is not used: There is no notification channel \"nosuch\"")
                     .size(),
                 1);
        QCOMPARE(t.errors.lines().filter("[escalate.4] is not used: The step tells nobody").size(), 1);
        QCOMPARE(t.errors.lines().filter("[escalate.5] is not used").size(), 1);
        QCOMPARE(t.errors.lines().filter("[escalate.x] is not used").size(), 1);
        // A channel renamed carries its steps along.
        QList<EscalationStepSettings> steps = escalation.steps;
        QVERIFY(EscalationRules::RenameChannel(steps, "phone", "pager"));
        QVERIFY(file.SaveEscalationSteps(steps));
        QCOMPARE(QSettings(t.path(IniFile::FileName), QSettings::IniFormat)
                     .value("escalate.1/channels")
                     .toString(),
                 QString("pager"));

        // A bad channel is never saved; a good one is, and reads back the same.
        NotifyChannelSettings bad = phone;
        bad.name = QStringLiteral("bad");
        bad.url = QStringLiteral("not a url");
        QVERIFY(!file.SaveChannel(bad));
        NotifyChannelSettings hook = phone;
        hook.name = QStringLiteral("hook");
        hook.type = QStringLiteral("webhook");
        hook.devices = QStringLiteral("Freezer 2, 10.0.0.7");
        hook.secret = QStringLiteral("s3cret");
        QVERIFY(file.SaveChannel(hook));
        QVERIFY(file.RemoveChannel(QStringLiteral("phone")));
        QVERIFY(file.Read());
        QCOMPARE(t.state.Ini.channels.size(), 1);
        QCOMPARE(t.state.Ini.channels.first(), hook);
        QVERIFY(ChannelRules::Takes(hook, QStringLiteral("alarm"), QStringLiteral("X"),
                                    QStringLiteral("10.0.0.7")));
        QVERIFY(!ChannelRules::Takes(hook, QStringLiteral("alarm"), QStringLiteral("X"),
                                     QStringLiteral("10.0.0.8")));
        QVERIFY(
            ChannelRules::Takes(hook, QStringLiteral("alarm-end"), QStringLiteral("freezer 2"), QString()));
        QVERIFY(!ChannelRules::Takes(hook, QStringLiteral("shutdown"), QString(), QString()));
    }

    void webhookSendsTheDocumentSignedWithStableIds()
    {
        TestReceiver receiver(kReceiverAddress);
        NotifyChannelSettings hook =
            Channel(QStringLiteral("hook"), QStringLiteral("webhook"), receiver.url());
        hook.secret = QStringLiteral("s3cret");
        hook.token = QStringLiteral("tok");
        hook.headers = QStringLiteral("X-Site: north | X-Floor: 2");
        NotifyRig rig({hook});
        qint64 alarmId = 0;
        QVERIFY(rig.database.AddAlarmRecord(12, rig.t.clock.now(), QStringLiteral("Freezer 2"),
                                            QStringLiteral("Bob's freezer"), QStringLiteral("-3.5"), 11, -1,
                                            &alarmId));
        Notifier notifier(rig.t.state, rig.database);
        notifier.Resume();
        // Texts from users and devices reach the receiver as they are, whatever JSON must escape.
        NotifyEvent alarm = AlarmEvent();
        alarm.text += QStringLiteral("\t\"quoted\" C:\\path \u0001 end\r\n");
        notifier.Notify(alarm, QStringLiteral("tblAlarms"), alarmId);
        // A device's single-precision reading is sent as the device gave it.
        NotifyEvent end = AlarmEvent(QStringLiteral("alarm-end"));
        end.reading = double(-6.2f);
        notifier.Notify(end, QStringLiteral("tblAlarms"), alarmId);
        QVERIFY(WaitForRequests(receiver, 2));
        QCOMPARE(JsonOf(receiver.requests[0]).value(QStringLiteral("text")).toString(), alarm.text);
        QVERIFY2(receiver.requests[1].body.contains("\"reading\":-6.2,"),
                 receiver.requests[1].body.constData());
        for (const TestReceiver::Request &r : std::as_const(receiver.requests)) {
            const QJsonObject doc = JsonOf(r);
            QCOMPARE(r.method, QByteArray("POST"));
            QCOMPARE(r.headers.value("content-type"), QByteArray("application/json"));
            QCOMPARE(r.headers.value("x-tallyport-id"), doc.value(QStringLiteral("id")).toString().toUtf8());
            QCOMPARE(r.headers.value("authorization"), QByteArray("Bearer tok"));
            QCOMPARE(r.headers.value("x-site"), QByteArray("north"));
            QCOMPARE(r.headers.value("x-floor"), QByteArray("2"));
            const QByteArray hmac =
                QMessageAuthenticationCode::hash(r.body, "s3cret", QCryptographicHash::Sha256).toHex();
            QCOMPARE(r.headers.value("x-tallyport-signature"), "sha256=" + hmac);
            QCOMPARE(doc.value(QStringLiteral("sensor")).toString(), QStringLiteral("Bob's freezer"));
            QCOMPARE(doc.value(QStringLiteral("units")).toString(), QStringLiteral("°C"));
            QCOMPARE(doc.value(QStringLiteral("limits")).toObject().value(QStringLiteral("upper")).toDouble(),
                     -10.0);
            QCOMPARE(doc.value(QStringLiteral("alarmNumber")).toInt(), 7);
            QCOMPARE(doc.value(QStringLiteral("organisation")).toString(), QStringLiteral("Bob's Lab"));
            // ISO 8601 with the offset from UTC.
            QVERIFY(
                QDateTime::fromString(doc.value(QStringLiteral("time")).toString(), Qt::ISODate).isValid());
            QVERIFY(doc.value(QStringLiteral("time"))
                        .toString()
                        .contains(QRegularExpression(QStringLiteral("(Z|[+-]\\d\\d:\\d\\d)$"))));
        }
        QCOMPARE(JsonOf(receiver.requests[0]).value(QStringLiteral("reading")).toDouble(), -3.5);
        QCOMPARE(JsonOf(receiver.requests[0]).value(QStringLiteral("event")).toString(),
                 QStringLiteral("alarm"));
        QCOMPARE(JsonOf(receiver.requests[1]).value(QStringLiteral("event")).toString(),
                 QStringLiteral("alarm-end"));
        QVERIFY(JsonOf(receiver.requests[0]).value(QStringLiteral("id")) !=
                JsonOf(receiver.requests[1]).value(QStringLiteral("id")));
        // Each outcome stays with the alarm record once delivered; the alarm's reader in the Events
        // views shows them after the e-mail's.
        EventBrowser events(rig.t.state, rig.database);
        QTRY_VERIFY(events.DisplayAlarms(1) &&
                    events.reader().text.count(QStringLiteral("hook: Delivered ")) == 2);
        const QString text = events.reader().text;
        QVERIFY2(text.contains(QStringLiteral("Notifications:\rhook: Delivered ")), qPrintable(text));
        QCOMPARE(text.count(QStringLiteral("hook: Delivered ")), 2);
        // The grids show them with the e-mail's outcome, for alarms and device failures alike.
        qint64 episode = 0;
        QVERIFY(rig.database.AddServerFailure(3, QStringLiteral("Freezer 2")));
        QVERIFY(rig.database.FirstOpenServerFailure(3, false, episode));
        QVERIFY(rig.database.UpdateServerFailureEmailSent(episode, QStringLiteral("Freezer 2"),
                                                          QStringLiteral("No e-mail address")));
        NotifyEvent failure = AlarmEvent(QStringLiteral("device-failure"));
        notifier.Notify(failure, QStringLiteral("tblServerFailures"), episode);
        QVERIFY(WaitForRequests(receiver, 3));
        const auto tip = [](EventTableModel &grid) {
            grid.refresh();
            return grid.data(grid.index(0, 5), Qt::ToolTipRole).toString();
        };
        QTRY_VERIFY(tip(events.deviceAlarms()).contains(QStringLiteral("\nhook: Delivered ")));
        for (EventTableModel *grid : {static_cast<EventTableModel *>(&events.alarms()),
                                      static_cast<EventTableModel *>(&events.deviceAlarms())})
            QVERIFY2(tip(*grid).startsWith(QStringLiteral("E-mail: ")) &&
                         tip(*grid).contains(QStringLiteral("\nhook: Delivered ")),
                     qPrintable(tip(*grid)));
        QVERIFY(events.deviceAlarms()
                    .data(events.deviceAlarms().index(0, 5), Qt::ToolTipRole)
                    .toString()
                    .startsWith(QStringLiteral("E-mail: No e-mail address\n")));
    }

    void chatFormats_data()
    {
        QTest::addColumn<QString>("type");
        QTest::newRow("ntfy") << "ntfy";
        QTest::newRow("slack") << "slack";
        QTest::newRow("teams") << "teams";
    }
    void chatFormats()
    {
        QFETCH(QString, type);
        TestReceiver receiver(kReceiverAddress);
        NotifyRig rig({Channel(QStringLiteral("chat"), type, receiver.url(QStringLiteral("/freezers")))});
        Notifier notifier(rig.t.state, rig.database);
        // A name with the characters Slack reads as markup.
        NotifyEvent alarm = AlarmEvent();
        alarm.text += QStringLiteral("\nCooler <1> & Co");
        notifier.Notify(alarm);
        notifier.Notify(AlarmEvent(QStringLiteral("alarm-end")));
        QVERIFY(WaitForRequests(receiver, 2));
        for (int i = 0; i < 2; ++i) {
            const TestReceiver::Request &r = receiver.requests[i];
            const QByteArray id = r.headers.value("x-tallyport-id");
            QVERIFY(!id.isEmpty());
            QCOMPARE(r.path, QByteArray("/freezers"));
            // The ID is in the text too, where a reader (or a filter) can tell a repeat.
            if (type == QLatin1String("ntfy")) {
                QCOMPARE(r.headers.value("title"),
                         QByteArray("Sensor: Bob's freezer has generated an alarm!"));
                QCOMPARE(r.headers.value("priority"), i == 0 ? QByteArray("high") : QByteArray("default"));
                QVERIFY(r.headers.value("tags").endsWith(i == 0 ? "alarm" : "alarm-end"));
                QVERIFY(r.body.startsWith("Bob's freezer connected to server Freezer 2"));
                QCOMPARE(r.body.contains("Cooler <1> & Co\n"), i == 0);
                QVERIFY(r.body.endsWith("ID: " + id));
            } else if (type == QLatin1String("slack")) {
                const QString text = JsonOf(r).value(QStringLiteral("text")).toString();
                QVERIFY(text.startsWith(QStringLiteral("*Sensor: Bob's freezer has generated an alarm!*\n")));
                QVERIFY(text.endsWith(QStringLiteral("ID: ") + QString::fromUtf8(id)));
                if (i == 0)
                    QVERIFY2(text.contains(QStringLiteral("Cooler &lt;1&gt; &amp; Co\n")) &&
                                 !text.contains(QLatin1Char('<')),
                             qPrintable(text));
            } else {
                const QJsonObject doc = JsonOf(r);
                QCOMPARE(doc.value(QStringLiteral("type")).toString(), QStringLiteral("message"));
                const QJsonObject attachment =
                    doc.value(QStringLiteral("attachments")).toArray().first().toObject();
                QCOMPARE(attachment.value(QStringLiteral("contentType")).toString(),
                         QStringLiteral("application/vnd.microsoft.card.adaptive"));
                const QJsonArray body = attachment.value(QStringLiteral("content"))
                                            .toObject()
                                            .value(QStringLiteral("body"))
                                            .toArray();
                QCOMPARE(body.size(), 3);
                QVERIFY(body[1]
                            .toObject()
                            .value(QStringLiteral("text"))
                            .toString()
                            .contains(i == 0 ? QStringLiteral("Too warm\nCooler <1> & Co")
                                             : QStringLiteral("Too warm")));
                QCOMPARE(body[2].toObject().value(QStringLiteral("text")).toString(),
                         QStringLiteral("ID: ") + QString::fromUtf8(id));
            }
        }
        // An escalation step or a reminder rings the phone as the alarm does; who took it does not.
        if (type == QLatin1String("ntfy")) {
            for (const char *kind : {"alarm-escalation", "alarm-reminder", "alarm-acknowledged"})
                notifier.Notify(AlarmEvent(QString::fromLatin1(kind)));
            QVERIFY(WaitForRequests(receiver, 5));
            QCOMPARE(receiver.requests[2].headers.value("priority"), QByteArray("high"));
            QCOMPARE(receiver.requests[3].headers.value("priority"), QByteArray("high"));
            QCOMPARE(receiver.requests[4].headers.value("priority"), QByteArray("default"));
        }
    }

    void receiverDownThenUpGetsEachMessageOnceAndRefusalsGiveUp()
    {
        // Nothing listens at first: every attempt fails to connect.
        TestReceiver receiver(kReceiverAddress);
        const QString url = receiver.url();
        receiver.close();
        NotifyChannelSettings hook = Channel(QStringLiteral("hook"), QStringLiteral("webhook"), url);
        hook.events = QStringLiteral("alarm, alarm-end");
        NotifyRig rig({hook});
        {
            Notifier notifier(rig.t.state, rig.database);
            notifier.Notify(AlarmEvent(), QStringLiteral("tblAlarms"), 7);
            notifier.Notify(AlarmEvent(QStringLiteral("alarm-end")), QStringLiteral("tblAlarms"), 7);
            // The first resume, which takes up what an earlier run left, comes before the events
            // just handed over are marked taken in the table: they are not taken twice.
            notifier.Resume();
            for (int round = 0; round < 3; ++round) {
                Pause(300);
                rig.t.clock.advanceSeconds(3);
                notifier.Resume();
            }
            QTRY_COMPARE(Waiting(notifier, QStringLiteral("hook")), 2);
            QTRY_VERIFY(
                rig.t.status.lines().filter(QStringLiteral("Notifications waiting for hook: 2")).size() == 1);
            QStringList outcomes;
            QTRY_VERIFY(rig.database.NotifyOutcomes(QStringLiteral("tblAlarms"), 7, outcomes) &&
                        outcomes.first().contains(QStringLiteral("failed")));
            // The wall clock set forward past retryHours, then back five hours, while they wait:
            // neither gives a message up nor holds its retry back.
            rig.t.state.Ini.mail.retryHours = 1;
            for (const qint64 jump : {3 * 3600, -5 * 3600}) {
                rig.t.clock.setWallClock(rig.t.clock.now().addSecs(jump));
                rig.t.clock.advanceSeconds(3);
                notifier.Resume();
                QStringList after;
                QTRY_VERIFY(rig.database.NotifyOutcomes(QStringLiteral("tblAlarms"), 7, after) &&
                            after.first() != outcomes.first());
                QVERIFY2(after.first().contains(QStringLiteral("failed")), qPrintable(after.first()));
                outcomes = after;
            }
            QTRY_COMPARE(Waiting(notifier, QStringLiteral("hook")), 2);
            rig.t.state.Ini.mail.retryHours = 24;
            // The program closes with both waiting: they stay stored.
            notifier.Shutdown(0);
        }
        // The next run finds the receiver up (answering 503, then 429, then taking everything).
        QVERIFY(receiver.listen());
        receiver.statuses = {503, 429};
        Notifier notifier(rig.t.state, rig.database);
        notifier.Resume();
        for (int round = 0; round < 6 && receiver.requests.size() < 4; ++round) {
            Pause(300);
            rig.t.clock.advanceSeconds(3);
            notifier.Resume();
        }
        QTRY_COMPARE(Waiting(notifier, QStringLiteral("hook")), 0);
        // In the order queued: the alarm refused twice, then taken, then its end.
        QCOMPARE(receiver.requests.size(), 4);
        QStringList ids;
        for (const TestReceiver::Request &r : std::as_const(receiver.requests))
            ids.append(QString::fromUtf8(r.headers.value("x-tallyport-id")));
        QCOMPARE(ids[0], ids[1]);
        QCOMPARE(ids[1], ids[2]);
        QCOMPARE(QSet<QString>(ids.begin(), ids.end()).size(), 2);
        QVERIFY(rig.t.errors.lines().filter(QStringLiteral("given up")).isEmpty());

        // 401 gives the message up at once, with the answer in the error log.
        receiver.statuses = {401};
        notifier.Notify(AlarmEvent(), QStringLiteral("tblAlarms"), 8);
        QVERIFY(WaitForRequests(receiver, 5));
        QTRY_COMPARE(Failed(notifier, QStringLiteral("hook")), 1);
        QCOMPARE(Waiting(notifier, QStringLiteral("hook")), 0);
        QCOMPARE(rig.t.errors.lines().filter(QStringLiteral("given up after 1 attempt(s): HTTP 401")).size(),
                 1);
        QStringList outcomes;
        QVERIFY(rig.database.NotifyOutcomes(QStringLiteral("tblAlarms"), 8, outcomes));
        QVERIFY(outcomes.first().startsWith(QStringLiteral("hook: Given up after 1 attempt(s): HTTP 401")));
        QTRY_VERIFY(rig.t.status.lines().filter(QStringLiteral("Given up: 1")).size() == 1);
        Pause(200);
        rig.t.clock.advanceSeconds(3);
        notifier.Resume();
        Pause(300);
        QCOMPARE(receiver.requests.size(), 5);
    }

    // The receiver recovers inside the pause after an alarm's end failed, and the same sensor
    // alarms again: its new alarm waits for the end, whose retry comes first; another sensor's
    // alarm is not held back meanwhile. A message given up lets those behind it go.
    void anAlertsMessagesGoInOrderWhenTheReceiverRecoversInAPause()
    {
        TestReceiver receiver(kReceiverAddress);
        NotifyRig rig({Channel(QStringLiteral("hook"), QStringLiteral("webhook"), receiver.url())});
        Notifier notifier(rig.t.state, rig.database);
        notifier.Resume();
        const auto event = [](const QString &kind, int port) {
            NotifyEvent e = AlarmEvent(kind);
            e.port = port;
            return e;
        };
        receiver.statuses = {503};
        notifier.Notify(event(QStringLiteral("alarm-end"), 0), QStringLiteral("tblAlarms"), 7);
        QVERIFY(WaitForRequests(receiver, 1));
        QTRY_COMPARE(Waiting(notifier, QStringLiteral("hook")), 1);
        // Back inside the pause: the new alarm of the same sensor waits for the end's retry.
        notifier.Notify(event(QStringLiteral("alarm"), 0), QStringLiteral("tblAlarms"), 8);
        Pause(300);
        QCOMPARE(receiver.requests.size(), 1);
        QTRY_COMPARE(Waiting(notifier, QStringLiteral("hook")), 2);
        // Another sensor's alarm is not held back; taken, it shows the receiver is back: the end
        // is tried again at once, then the alarm behind it goes.
        notifier.Notify(event(QStringLiteral("alarm"), 1), QStringLiteral("tblAlarms"), 9);
        QVERIFY(WaitForRequests(receiver, 4));
        QStringList kinds;
        for (const TestReceiver::Request &r : std::as_const(receiver.requests))
            kinds.append(JsonOf(r).value(QStringLiteral("event")).toString() + QLatin1Char(' ') +
                         QString::number(JsonOf(r).value(QStringLiteral("port")).toInt()));
        QCOMPARE(kinds, QStringList({"alarm-end 0", "alarm 1", "alarm-end 0", "alarm 0"}));
        QCOMPARE(receiver.requests[0].headers.value("x-tallyport-id"),
                 receiver.requests[2].headers.value("x-tallyport-id"));

        // The end fails, then is refused for good at its retry: the alarm behind it goes at once.
        receiver.statuses = {503, 400};
        notifier.Notify(event(QStringLiteral("alarm-end"), 0), QStringLiteral("tblAlarms"), 8);
        QVERIFY(WaitForRequests(receiver, 5));
        notifier.Notify(event(QStringLiteral("alarm"), 0), QStringLiteral("tblAlarms"), 10);
        Pause(300);
        QCOMPARE(receiver.requests.size(), 5);
        rig.t.clock.advanceSeconds(3);
        notifier.Resume();
        QVERIFY(WaitForRequests(receiver, 7));
        QCOMPARE(JsonOf(receiver.requests[5]).value(QStringLiteral("event")).toString(),
                 QStringLiteral("alarm-end"));
        QCOMPARE(JsonOf(receiver.requests[6]).value(QStringLiteral("event")).toString(),
                 QStringLiteral("alarm"));
        QTRY_COMPARE(Waiting(notifier, QStringLiteral("hook")), 0);
        QCOMPARE(Failed(notifier, QStringLiteral("hook")), 1);
    }

    // 700 messages wait while the receiver is down: the channel keeps a window of them in memory
    // and the rest in the table, also after a restart; once the receiver is back each goes once,
    // in the order they were made.
    void aStuckChannelKeepsAWindowOfItsMessagesInMemory()
    {
        TestReceiver receiver(kReceiverAddress);
        const QString url = receiver.url();
        receiver.close();
        NotifyRig rig({Channel(QStringLiteral("hook"), QStringLiteral("webhook"), url)});
        constexpr int kMessages = 700;
        std::unique_ptr<ChannelQueue> queue;
        int mostInMemory = 0;
        // As the notification thread does: the outcomes are stored after each run.
        const auto makeQueue = [&] {
            queue =
                std::make_unique<ChannelQueue>(rig.t.state, rig.database, rig.t.state.Ini.channels.first());
            connect(queue.get(), &ChannelQueue::attemptFinished, this, [&] {
                queue->StoreChanges(queue->Changes());
                mostInMemory = std::max(mostInMemory, queue->waitingInMemory());
            });
        };
        makeQueue();
        QStringList ids;
        for (int i = 0; i < kMessages; ++i) {
            NotifyEvent e = AlarmEvent(i % 2 ? QStringLiteral("alarm-end") : QStringLiteral("alarm"));
            e.port = i % 5;
            e.id = QStringLiteral("message-%1").arg(i);
            ids.append(e.id);
            queue->Enqueue(e, e.StoredPayload(), 0, QString(), 0, true,
                           {Moment::now(rig.t.clock), rig.t.clock.now()});
            if (i % 100 == 99 || i == kMessages - 1)
                queue->StoreChanges(queue->Changes());
        }
        queue->StartDue();
        // The first message of each of the five sensors fails; the others wait behind them.
        QTRY_VERIFY(queue->nextAttemptTime().isValid() && !queue->attemptRunning() &&
                    !queue->firstAttemptDue());
        QCOMPARE(queue->waitingCount(), kMessages);
        QVERIFY2(queue->waitingInMemory() <= ChannelQueue::Window,
                 qPrintable(QString::number(queue->waitingInMemory())));

        queue->Stop();
        makeQueue();
        queue->Resume();
        QCOMPARE(queue->waitingCount(), kMessages);
        QVERIFY(queue->waitingInMemory() <= ChannelQueue::Window);

        QVERIFY(receiver.listen());
        rig.t.clock.advanceSeconds(3);
        queue->Resume();
        QVERIFY(WaitForRequests(receiver, kMessages, 30000));
        QTRY_COMPARE(queue->waitingCount(), 0);
        Pause(200);
        QStringList received;
        for (const TestReceiver::Request &r : std::as_const(receiver.requests))
            received.append(QString::fromUtf8(r.headers.value("x-tallyport-id")));
        QCOMPARE(received, ids);
        QVERIFY2(mostInMemory <= ChannelQueue::Window, qPrintable(QString::number(mostInMemory)));
    }

    void aReceiverThatNeverAnswersHoldsUpNoOtherChannel()
    {
        TestReceiver silent(kReceiverAddress);
        silent.silent = true;
        TestReceiver quick(QHostAddress(QStringLiteral("127.0.190.2")));
        NotifyRig rig({Channel(QStringLiteral("stuck"), QStringLiteral("webhook"), silent.url()),
                       Channel(QStringLiteral("quick"), QStringLiteral("slack"), quick.url())});
        Notifier notifier(rig.t.state, rig.database);
        QElapsedTimer clock;
        clock.start();
        notifier.Notify(AlarmEvent());
        NotifyEvent otherSensor = AlarmEvent();
        otherSensor.port = 4;
        notifier.Notify(otherSensor);
        QVERIFY(WaitForRequests(quick, 2));
        QVERIFY(WaitForRequests(silent, 1));
        QVERIFY2(clock.elapsed() < 1500 * SlowBuildFactor, qPrintable(QString::number(clock.elapsed())));
        QTRY_COMPARE(Waiting(notifier, QStringLiteral("stuck")), 2);
        // Delivery yields to the poll cycle: its threads run at a lower priority than the window's.
        const int windowNice = getpriority(PRIO_PROCESS, id_t(getpid()));
        QCOMPARE(NiceOfThreads(QStringLiteral("notifications")),
                 QList<int>{windowNice + BackgroundNiceIncrement});
        QCOMPARE(NiceOfThreads(QStringLiteral("notify-http")),
                 QList<int>(2, windowNice + BackgroundNiceIncrement));
        // The request times out after its channel's time-out; the other sensor's message gets its
        // first attempt and the first waits for its retry.
        QVERIFY(WaitForRequests(silent, 2, 4000));
        QTRY_COMPARE(Waiting(notifier, QStringLiteral("stuck")), 2);
    }

    // Messages go to the receiver in runs. A stop while one of them waits for its answer keeps
    // what the receiver took before: the next start sends only the rest, in order.
    void aStopInARunKeepsWhatTheReceiverTook()
    {
        TestReceiver receiver(kReceiverAddress);
        // The three go in one run; the receiver keeps the third waiting.
        receiver.statuses = {200, 200, 0};
        NotifyRig rig({Channel(QStringLiteral("hook"), QStringLiteral("webhook"), receiver.url())});
        {
            Notifier notifier(rig.t.state, rig.database);
            for (const qint64 record : {21, 22, 23})
                notifier.Notify(AlarmEvent(), QStringLiteral("tblAlarms"), record);
            QVERIFY(WaitForRequests(receiver, 3));
            notifier.Shutdown(0);
        }
        QStringList outcomes;
        QVERIFY(rig.database.NotifyOutcomes(QStringLiteral("tblAlarms"), 22, outcomes));
        QVERIFY2(outcomes.first().startsWith(QStringLiteral("hook: Delivered")),
                 qPrintable(outcomes.first()));
        QVERIFY(rig.database.NotifyOutcomes(QStringLiteral("tblAlarms"), 23, outcomes));
        QVERIFY2(outcomes.first().contains(QStringLiteral("Waiting")), qPrintable(outcomes.first()));

        // The shutdown notice, which gets one attempt and had none before the stop, was given up
        // then: sent after the next start it would mislead.
        QCOMPARE(rig.t.errors.lines().filter(QStringLiteral("the shutdown message")).size(), 1);
        QVERIFY(rig.t.errors.lines()
                    .filter(QStringLiteral("the shutdown message"))
                    .first()
                    .endsWith(QStringLiteral("Tallyport stopped before it was sent.")));

        Notifier notifier(rig.t.state, rig.database);
        notifier.Resume();
        // Only the alarm left.
        QVERIFY(WaitForRequests(receiver, 4));
        QTRY_COMPARE(Waiting(notifier, QStringLiteral("hook")), 0);
        Pause(300);
        QStringList ids;
        for (const TestReceiver::Request &r : std::as_const(receiver.requests))
            ids.append(QString::fromUtf8(r.headers.value("x-tallyport-id")));
        QCOMPARE(ids.size(), 4);
        QCOMPARE(ids[2], ids[3]);
        QCOMPARE(QSet<QString>(ids.begin(), ids.end()).size(), 3);
        QVERIFY(receiver.requests.last().body.contains("\"event\":\"alarm\""));
    }

    // Every channel's outcomes go in one commit. One the database refuses is stored at the next
    // try, and nothing is sent twice, even across a restart.
    void outcomesRefusedByTheDatabaseAreStoredAtTheNextTry()
    {
        TestReceiver hookReceiver(kReceiverAddress);
        TestReceiver chatReceiver(QHostAddress(QStringLiteral("127.0.190.2")));
        NotifyRig rig({Channel(QStringLiteral("hook"), QStringLiteral("webhook"), hookReceiver.url()),
                       Channel(QStringLiteral("chat"), QStringLiteral("slack"), chatReceiver.url())});
        const auto sql = [&rig](const QString &statement) {
            return SideExec(rig.t.path(QStringLiteral("wexa.mdb")), statement);
        };
        const auto outcomes = [&rig] {
            QStringList lines;
            rig.database.NotifyOutcomes(QStringLiteral("tblAlarms"), 31, lines);
            return lines.join(QLatin1Char('|'));
        };
        {
            Notifier notifier(rig.t.state, rig.database);
            notifier.Notify(AlarmEvent(), QStringLiteral("tblAlarms"), 31);
            QVERIFY(sql(QStringLiteral("CREATE TRIGGER refuse_chat BEFORE UPDATE ON tblNotifyQueue WHEN "
                                       "NEW.Channel = 'chat' BEGIN SELECT RAISE(ABORT, 'injected'); END")));
            QVERIFY(WaitForRequests(hookReceiver, 1));
            QVERIFY(WaitForRequests(chatReceiver, 1));
            QTRY_VERIFY(!rig.t.errors.lines().filter(QStringLiteral("injected")).isEmpty());
            QTRY_COMPARE(outcomes().count(QStringLiteral("Delivered")), 1);
            QCOMPARE(outcomes().count(QStringLiteral("chat: Waiting to be sent")), 1);
            QVERIFY(sql(QStringLiteral("DROP TRIGGER refuse_chat")));
            notifier.Resume();
            QTRY_COMPARE(outcomes().count(QStringLiteral("Delivered")), 2);
            notifier.Shutdown(0);
        }
        Notifier notifier(rig.t.state, rig.database);
        notifier.Resume();
        // The alarm is not sent again (nor the shutdown notice that had no attempt).
        QTRY_COMPARE(Waiting(notifier, QStringLiteral("chat")), 0);
        Pause(300);
        QCOMPARE(chatReceiver.requests.size(), 1);
        QCOMPARE(hookReceiver.requests.size(), 1);
    }

    // An event is stored once, with its record, and each channel's message refers to it. One
    // stored just before a stop, never handed to its channels, goes at the next start, once; its
    // message for a channel the settings no longer have waits for the channel to come back.
    void eventsAreStoredOnceAndOneLeftBeforeAStopGoesAtTheNextStart()
    {
        TestReceiver hookReceiver(kReceiverAddress);
        TestReceiver chatReceiver(QHostAddress(QStringLiteral("127.0.190.2")));
        TestReceiver laterReceiver(QHostAddress(QStringLiteral("127.0.190.3")));
        NotifyRig rig({Channel(QStringLiteral("hook"), QStringLiteral("webhook"), hookReceiver.url()),
                       Channel(QStringLiteral("chat"), QStringLiteral("slack"), chatReceiver.url())});
        const QString file = rig.t.path(QStringLiteral("wexa.mdb"));
        NotifyEvent left = AlarmEvent();
        left.id = QStringLiteral("left-before-the-stop");
        NotifyEventRow row = StoredEvent(left, QStringLiteral("tblAlarms"), 41, rig.t.clock.now(),
                                         {QStringLiteral("hook"), QStringLiteral("later")});
        QVERIFY(rig.database.AddNotifyEvent(row));
        // A daily OK the run left unexpanded when it was killed: it had its one attempt never, and
        // goes now with a line in the error log instead of misleading.
        NotifyEventRow notice = row;
        notice.Kind = QStringLiteral("system-ok");
        notice.MessageID = QStringLiteral("daily-ok-of-a-killed-run");
        notice.RecordTable.clear();
        notice.RecordID = 0;
        notice.Retries = false;
        QVERIFY(rig.database.AddNotifyEvent(notice));
        {
            Notifier notifier(rig.t.state, rig.database);
            notifier.Resume();
            notifier.Notify(AlarmEvent(QStringLiteral("system-ok")));
            QVERIFY(WaitForRequests(hookReceiver, 2));
            QVERIFY(WaitForRequests(chatReceiver, 1));
            QCOMPARE(hookReceiver.requests[0].headers.value("x-tallyport-id"),
                     QByteArray("left-before-the-stop"));
            QStringList outcomes;
            QTRY_VERIFY(rig.database.NotifyOutcomes(QStringLiteral("tblAlarms"), 41, outcomes) &&
                        outcomes.size() == 2 &&
                        outcomes.first().startsWith(QStringLiteral("hook: Delivered")));
            QCOMPARE(outcomes.last(), QStringLiteral("later: Waiting to be sent"));
            // The record's message keeps its outcome and reads its payload from the event; the
            // notice, which belongs to no record, leaves nothing behind once delivered.
            QTRY_COMPARE(SideCount(file, QStringLiteral("SELECT COUNT(*) FROM tblNotifyQueue")), 2);
            QCOMPARE(SideCount(file, QStringLiteral("SELECT COUNT(*) FROM tblNotifyQueue WHERE Payload = '' "
                                                    "AND EventID = %1")
                                         .arg(row.IDNum)),
                     2);
            QCOMPARE(
                SideCount(file, QStringLiteral("SELECT COUNT(*) FROM tblNotifyQueue WHERE Channel = 'later' "
                                               "AND State = 0 AND RecordID = 41")),
                1);
            QCOMPARE(SideCount(file, QStringLiteral("SELECT COUNT(*) FROM tblNotifyEvents")), 1);
            QCOMPARE(SideCount(file, QStringLiteral("SELECT Expanded FROM tblNotifyEvents")), 1);
            QCOMPARE(rig.t.errors.lines().filter(QStringLiteral("1 notice(s) left by the last run")).size(),
                     1);
            notifier.Shutdown(0);
        }
        rig.t.state.Ini.channels.append(
            Channel(QStringLiteral("later"), QStringLiteral("webhook"), laterReceiver.url()));
        Notifier notifier(rig.t.state, rig.database);
        notifier.Resume();
        QVERIFY(WaitForRequests(laterReceiver, 1));
        QCOMPARE(laterReceiver.requests[0].headers.value("x-tallyport-id"),
                 QByteArray("left-before-the-stop"));
        QTRY_COMPARE(Waiting(notifier, QStringLiteral("hook")), 0);
        QTRY_COMPARE(Waiting(notifier, QStringLiteral("later")), 0);
        Pause(300);
        QCOMPARE(hookReceiver.requests.size(), 2);
        QCOMPARE(laterReceiver.requests.size(), 1);
        for (const TestReceiver::Request &r : std::as_const(hookReceiver.requests))
            QVERIFY(r.headers.value("x-tallyport-id") != "daily-ok-of-a-killed-run");
    }

    // Steps, reminders and acknowledgements are stored as alarm messages with their stage: a
    // version that knows only the alarm's own kinds sends them as the alarm (its alert, its
    // priority), and this one sends them as made, as it does those stored under their own kind.
    void escalationMessagesAreStoredAsAlarmsWithTheirStage()
    {
        TestReceiver receiver(kReceiverAddress);
        const QString url = receiver.url();
        receiver.close();
        NotifyRig rig({Channel(QStringLiteral("hook"), QStringLiteral("webhook"), url)});
        const QString file = rig.t.path(QStringLiteral("wexa.mdb"));
        const QStringList kinds{"alarm-reminder", "alarm-escalation", "alarm-acknowledged"};
        NotifyEvent before = AlarmEvent(kinds[0]);
        before.id = kinds[0];
        NotifyEventRow row = StoredEvent(before, QString(), 0, rig.t.clock.now(), {QStringLiteral("hook")});
        row.Payload = QString::fromUtf8(before.Json()); // as the version before stored it
        QVERIFY(rig.database.AddNotifyEvent(row));
        const NotifyChannelSettings am = Channel(QStringLiteral("am"), QStringLiteral("alertmanager"), url);
        const NotifyChannelSettings phone = Channel(QStringLiteral("phone"), QStringLiteral("ntfy"), url);
        const auto labels = [&](const NotifyEvent &e) {
            const QJsonArray alerts =
                QJsonDocument::fromJson(ChannelFormats::AlertsRequest(am, {e}, rig.t.clock.now()).body)
                    .array();
            return alerts.first().toObject().value(QStringLiteral("labels")).toObject();
        };
        {
            Notifier notifier(rig.t.state, rig.database);
            notifier.Resume();
            for (const QString &kind : kinds.mid(1)) {
                NotifyEvent e = AlarmEvent(kind);
                e.id = kind;
                notifier.Notify(e, QString(), 0, true, QStringList{QStringLiteral("hook")});
            }
            QTRY_COMPARE(Waiting(notifier, QStringLiteral("hook")), 3);
            notifier.Shutdown(0);
        }
        for (const QString &kind : kinds.mid(1)) {
            const QString where = QStringLiteral(" WHERE MessageID = '%1'").arg(kind);
            QVariant queued, event, payload;
            QVERIFY(SideExec(file, QStringLiteral("SELECT Kind FROM tblNotifyQueue") + where, &queued));
            QVERIFY(SideExec(file, QStringLiteral("SELECT Kind FROM tblNotifyEvents") + where, &event));
            QVERIFY(SideExec(file, QStringLiteral("SELECT Payload FROM tblNotifyEvents") + where, &payload));
            QCOMPARE(queued.toString(), QStringLiteral("alarm"));
            QCOMPARE(event.toString(), QStringLiteral("alarm"));
            // The older reading: the kind is the payload's "event"; the stage is not known.
            const QJsonObject o = QJsonDocument::fromJson(payload.toString().toUtf8()).object();
            QCOMPARE(o.value(QStringLiteral("stage")).toString(), kind.mid(6));
            NotifyEvent older = NotifyEvent::FromStoredPayload(payload.toString());
            QCOMPARE(older.kind, kind);
            older.kind = o.value(QStringLiteral("event")).toString();
            QCOMPARE(older.kind, QStringLiteral("alarm"));
            NotifyEvent alarm = AlarmEvent();
            alarm.organisation = rig.t.state.Config.OrgName;
            QCOMPARE(labels(older), labels(alarm));
            QVERIFY(
                ChannelFormats::Request(phone, older, rig.t.clock.now()).headers.contains("Priority: high"));
        }
        // This version sends each as made: the webhook's document as before, with no stage.
        QVERIFY(receiver.listen());
        Notifier notifier(rig.t.state, rig.database);
        for (int round = 0; round < 6 && receiver.requests.size() < 3; ++round) {
            rig.t.clock.advanceSeconds(3);
            notifier.Resume();
            Pause(300);
        }
        QCOMPARE(receiver.requests.size(), 3);
        for (int i = 0; i < 3; ++i) {
            const QJsonObject doc = JsonOf(receiver.requests[i]);
            QCOMPARE(doc.value(QStringLiteral("event")).toString(), kinds[i]);
            QCOMPARE(doc.value(QStringLiteral("id")).toString(), kinds[i]);
            QVERIFY(!doc.contains(QStringLiteral("stage")));
        }
        QTRY_COMPARE(Waiting(notifier, QStringLiteral("hook")), 0);
    }

    // An alarm's messages go out at once and are written in a pause of the poll cycle's writes,
    // with the mark that their event was taken (until then the stored event stands for them, and
    // a stop sends them again at the next start); a cycle that never pauses has them written
    // after the longest delay all the same.
    void messagesAreWrittenInThePausesOfTheCycle()
    {
        TestReceiver receiver(kReceiverAddress);
        NotifyRig rig({Channel(QStringLiteral("hook"), QStringLiteral("webhook"), receiver.url())});
        const QString file = rig.t.path(QStringLiteral("wexa.mdb"));
        Notifier notifier(rig.t.state, rig.database);
        notifier.Resume();
        QTimer busyCycle;
        // A loaded machine can pause the busy cycle itself: the longest time between the starts
        // of its writes bounds the pauses the thread could have written in.
        QElapsedTimer sinceWrite;
        qint64 longestGap = 0;
        connect(&busyCycle, &QTimer::timeout, this, [&] {
            if (sinceWrite.isValid())
                longestGap = std::max(longestGap, sinceWrite.elapsed());
            sinceWrite.start();
            rig.database.DeleteSystemErrors();
        });
        const auto hadPause = [&] {
            return std::max(longestGap, sinceWrite.isValid() ? sinceWrite.elapsed() : 0) >=
                   NotifyHost::QuietMs;
        };
        busyCycle.start(5);
        const auto messages = [&file](int recordId) {
            return SideCount(file,
                             QStringLiteral("SELECT COUNT(*) FROM tblNotifyQueue q JOIN tblNotifyEvents e ON "
                                            "e.IDNum = q.EventID WHERE q.RecordID = %1 AND q.State = 1 AND "
                                            "e.Expanded = 1")
                                 .arg(recordId));
        };
        QElapsedTimer sinceAlarm;
        sinceAlarm.start();
        notifier.Notify(AlarmEvent(), QStringLiteral("tblAlarms"), 42);
        QVERIFY(WaitForRequests(receiver, 1));
        // Nothing is written yet unless the cycle paused (these reads on its thread may make one).
        const int queued = SideCount(file, QStringLiteral("SELECT COUNT(*) FROM tblNotifyQueue"));
        const int expanded = SideCount(file, QStringLiteral("SELECT Expanded FROM tblNotifyEvents"));
        if (!hadPause()) {
            QCOMPARE(queued, 0);
            QCOMPARE(expanded, 0);
        }
        QTRY_COMPARE_WITH_TIMEOUT(messages(42), 1, 15000);
        QVERIFY2(sinceAlarm.elapsed() >= 1000 || hadPause(),
                 qPrintable(QStringLiteral("written after %1 ms; longest pause of the cycle %2 ms")
                                .arg(sinceAlarm.elapsed())
                                .arg(longestGap)));

        busyCycle.stop();
        sinceAlarm.restart();
        notifier.Notify(AlarmEvent(QStringLiteral("alarm-end")), QStringLiteral("tblAlarms"), 42);
        QTRY_COMPARE(messages(42), 2);
        QVERIFY2(sinceAlarm.elapsed() < 4000, qPrintable(QString::number(sinceAlarm.elapsed())));
        QCOMPARE(receiver.requests.size(), 2);
    }
};

QTEST_GUILESS_MAIN(TestNotify)
#include "tst_notify.moc"
