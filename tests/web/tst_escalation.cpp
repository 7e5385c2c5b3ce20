#include "support_webrig.h"

#include <alarms/Escalation.h>
#include <faults/support_rig.h>
#include <notify/support_notify.h>
#include <notify/support_receiver.h>
#include <support/MailText.h>

#include <QJsonDocument>
#include <QTest>

namespace {
const QString kTemperature = QStringLiteral("Temperature Sensor Port 1");

// The subjects of the messages the SMTP server took, each with its recipients.
QStringList mailSubjects(SmtpTestServer &smtp)
{
    QStringList lines;
    for (const SmtpTestServer::Received &m : smtp.messages())
        lines.append(QString::fromUtf8(m.header("Subject")).section(':', 0, 0) + " > " +
                     m.recipients.join(","));
    return lines;
}

const QByteArray kToken = "escalation-token-0123456789";

// The text of the e-mail the SMTP server took as the n-th.
QString mailText(SmtpTestServer &smtp, int n)
{
    const SmtpTestServer::Received m = smtp.messages().value(n);
    const bool quoted = m.header("Content-Transfer-Encoding").toLower() == "quoted-printable";
    return QString::fromUtf8(quoted ? DecodeQuotedPrintable(m.body()) : m.body());
}

HttpResult acknowledgeOverApi(const WebRig &rig, qint64 alarm, const QByteArray &query = QByteArray())
{
    const QByteArray body = R"({"by": "Ann", "comment": "on my way"})";
    return RawExchange(rig.web->port(),
                       "POST /api/v1/alarms/" + QByteArray::number(alarm) + "/ack" + query +
                           " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
                           "Content-Length: " +
                           QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
}

// A device whose one sensor is in alarm, and a pager channel that does not take alarms (so only
// steps tell it): reminders every 10 minutes, step 1 at 15 (the boss and the pager), step 2 at
// 30 (the director).
SimDevice *setUpChain(WebRig &rig, TestReceiver &pager)
{
    MonitoringFixture &f = rig.f;
    NotifyChannelSettings channel = Channel("pager", "webhook", pager.url());
    channel.events = "device-failure";
    f.t.state.Ini.channels = {channel};
    f.t.state.Ini.escalation.repeatMinutes = 10;
    f.t.state.Ini.escalation.steps = {{1, 15, "boss@example.com", "pager", ""},
                                      {2, 30, "director@example.com", "", ""}};
    f.monitor->notifier.Resume();
    SimDevice *kitchen = f.addDevice("Kitchen", 5, 5, 25, {{0, "Walk-in Freezer", kTemperature}});
    if (kitchen) {
        kitchen->setReading(0, 12.5);
        kitchen->setMinutes(0, 11);
        kitchen->setAlarmByte(0, 1);
    }
    return kitchen;
}

QStringList eventKinds(const TestReceiver &receiver)
{
    QStringList kinds;
    for (const TestReceiver::Request &r : receiver.requests)
        kinds.append(QJsonDocument::fromJson(r.body).object().value("event").toString());
    return kinds;
}
} // namespace

// An alarm nobody takes, end to end: the engine polls a simulated device on a test clock, e-mails
// go to a real SMTP server and channel messages to a real HTTP receiver, and the alarm is
// acknowledged over the web API.
class TestEscalation : public QObject {
    Q_OBJECT
private slots:
    void remindersAndStepsUntilSomeoneAcknowledges()
    {
        WebRig rig(122);
        QString error;
        QVERIFY2(rig.start(error), qPrintable(error));
        MonitoringFixture &f = rig.f;
        TestReceiver pager(QHostAddress(QStringLiteral("127.0.122.250")));
        SimDevice *kitchen = setUpChain(rig, pager);
        QVERIFY(kitchen);
        // Reached from outside through a public address, with a token.
        WebIniSettings web = rig.localSettings();
        web.token = QString::fromLatin1(kToken);
        web.publicUrl = "https://cold-store.example.com/tallyport";
        f.t.state.Ini.web = web;
        QVERIFY2(rig.startWeb(web, error), qPrintable(error));
        const auto metrics = [&rig] {
            return rig.get("/metrics", {{"Authorization", "Bearer " + kToken}}).body;
        };

        rig.runCycle(); // the alarm opens: its e-mail to the device's list
        const qint64 alarm = f.value("SELECT IDNum FROM tblAlarms WHERE AlarmActive = -1").toLongLong();
        QVERIFY(alarm > 0);
        QVERIFY(f.smtp.waitForMessages(1));
        // Every message of the alarm links to its page with the alarm's own key, never the token.
        const QString key =
            f.value(QString("SELECT LinkKey FROM tblEscalations WHERE AlarmID = %1").arg(alarm)).toString();
        const QString page = QString("/alarm/%1?key=%2").arg(alarm).arg(key);
        const QString link = "https://cold-store.example.com/tallyport" + page;
        QVERIFY2(mailText(f.smtp, 0).contains("See or acknowledge this alarm: " + link),
                 qPrintable(mailText(f.smtp, 0)));
        rig.runCycle(9 * 60); // 9 minutes: nothing yet
        rig.runCycle(60);     // 10: the first reminder, to the alarm's own list
        QVERIFY(f.smtp.waitForMessages(2));
        QCOMPARE(mailSubjects(f.smtp).last(), QString("Reminder > alarms@example.com"));

        // The wall clock set an hour forward hurries nothing, an hour back delays nothing.
        f.t.clock.setWallClock(f.t.clock.now().addSecs(3600));
        rig.runCycle(4 * 60); // 14
        QTest::qWait(200);
        QCOMPARE(f.smtp.messages().size(), 2);
        f.t.clock.setWallClock(f.t.clock.now().addSecs(-2 * 3600));
        rig.runCycle(60); // 15: step 1, by e-mail and to the pager
        QVERIFY(f.smtp.waitForMessages(3));
        QCOMPARE(mailSubjects(f.smtp).last(), QString("Escalation > boss@example.com"));
        QVERIFY(WaitForRequests(pager, 1));
        QCOMPARE(eventKinds(pager), QStringList{Escalation::StepKind});
        QVERIFY(metrics().contains("tallyport_escalations_total{step=\"1\"} 1\n"));
        for (int n = 1; n < 3; ++n) // the reminder and the step
            QVERIFY2(mailText(f.smtp, n).contains(link), qPrintable(mailText(f.smtp, n)));
        QVERIFY(QString::fromUtf8(pager.requests.first().body).contains(link));
        // The step's channel message names the alarm's alert as the alarm's own messages do.
        const QJsonObject step = QJsonDocument::fromJson(pager.requests.first().body).object();
        QCOMPARE(step.value("address").toString(), QString("127.0.122.1"));
        QVERIFY(step.value("port").isDouble() && step.value("port").toInt() == 0);
        rig.runCycle(5 * 60); // 20: the second reminder
        QVERIFY(f.smtp.waitForMessages(4));
        QCOMPARE(
            f.rows(QString("SELECT Reminders, StepsDone FROM tblEscalations WHERE AlarmID = %1").arg(alarm)),
            QStringList{"2|1"});

        // A restart (a new run takes up the stored rows) after 12 minutes down: step 2, due
        // meanwhile, goes at once; step 1 is not repeated; one reminder stands for the two missed.
        Escalation restarted(f.t.state, f.monitor->database, f.monitor->outbox);
        restarted.notifier = &f.monitor->notifier;
        f.monitor->response.escalation = &restarted;
        f.monitor->cycle.escalationCheck = [&restarted] { restarted.Check(); };
        f.t.clock.advanceSeconds(12 * 60);
        restarted.Resume(
            [&f](qint64 id, const QString &key) { return f.monitor->response.LinkFor(id, key); });
        QCOMPARE(restarted.followed(), 1);
        rig.runCycle(0); // 32
        QVERIFY(f.smtp.waitForMessages(6));
        QTest::qWait(200);
        QCOMPARE(mailSubjects(f.smtp).mid(4),
                 (QStringList{"Reminder > alarms@example.com", "Escalation > director@example.com"}));
        QCOMPARE(pager.requests.size(), 1);
        QVERIFY(mailText(f.smtp, 5).contains(link));
        const QByteArray counted = metrics();
        QVERIFY(counted.contains("tallyport_alarms_unacknowledged 1\n"));
        // Counted since this run started: step 2 only.
        QVERIFY(counted.contains("tallyport_escalations_total{step=\"2\"} 1\n"));
        QVERIFY(!counted.contains("step=\"1\""));
        for (int n = 0; n < f.smtp.messages().size(); ++n)
            QVERIFY(!f.smtp.messages()[n].data.contains(kToken));
        QVERIFY(!pager.requests.first().body.contains(kToken));

        // The link opens the alarm's page, as the phone shows it, without the token.
        QCOMPARE(rig.get(QString("/alarm/%1").arg(alarm)).status, 401);
        const HttpResult shown = rig.get(page);
        QCOMPARE(shown.status, 200);
        QVERIFY(shown.body.contains("name=\"nonce\""));

        // Acknowledged through the API with the link's key: reminders and steps stop, and each
        // recipient told by a step hears once who took it.
        const HttpResult ack = acknowledgeOverApi(rig, alarm, "?key=" + key.toLatin1());
        QVERIFY2(ack.status == 200, ack.body.constData());
        QVERIFY(f.smtp.waitForMessages(7));
        QCOMPARE(mailSubjects(f.smtp).last(),
                 QString("Acknowledged by Ann > boss@example.com,director@example.com"));
        QVERIFY(WaitForRequests(pager, 2));
        QCOMPARE(eventKinds(pager).last(), Escalation::AcknowledgedKind);
        for (int i = 0; i < 4; ++i)
            rig.runCycle(10 * 60); // 72 minutes
        QTest::qWait(300);
        QCOMPARE(f.smtp.messages().size(), 7);
        QCOMPARE(pager.requests.size(), 2);
        QCOMPARE(f.count("tblEscalations", "Closed = 1"), 1);
        QVERIFY(metrics().contains("tallyport_alarms_unacknowledged 0\n"));

        // A new alarm that ends before its first step: nothing more is sent for it, not even an
        // end to those no step told.
        kitchen->setAlarmByte(0, 0);
        kitchen->setReading(0, 5.0);
        rig.runCycle(); // the first alarm ends
        kitchen->setAlarmByte(0, 1);
        kitchen->setReading(0, 12.5);
        rig.runCycle(); // the second opens
        QVERIFY(f.smtp.waitForMessages(8));
        // The first alarm's key opens neither the ended alarm nor the new one.
        const qint64 second = f.value("SELECT IDNum FROM tblAlarms WHERE AlarmActive = -1").toLongLong();
        QVERIFY(second > alarm);
        QCOMPARE(rig.get(page).status, 403);
        QCOMPARE(rig.get(QString("/alarm/%1?key=%2").arg(second).arg(key)).status, 403);
        rig.runCycle(5 * 60);
        kitchen->setAlarmByte(0, 0);
        kitchen->setReading(0, 5.0);
        rig.runCycle(); // it ends
        for (int i = 0; i < 4; ++i)
            rig.runCycle(10 * 60);
        QTest::qWait(300);
        QCOMPARE(f.smtp.messages().size(), 8);
        QCOMPARE(pager.requests.size(), 2);
        QCOMPARE(f.count("tblEscalations", "Closed = 1"), 2);
    }

    // The database is locked by another program when the alarm starts and stays so past step 1:
    // the alarm cannot be recorded, yet its e-mail, reminder and step go out on time. Once the
    // record is written it carries what was sent; it can then be acknowledged, and nothing goes
    // twice.
    void escalatesWhileTheAlarmCannotBeRecorded()
    {
        WebRig rig(122);
        QString error;
        QVERIFY2(rig.start(error), qPrintable(error));
        MonitoringFixture &f = rig.f;
        TestReceiver pager(QHostAddress(QStringLiteral("127.0.122.250")));
        QVERIFY(setUpChain(rig, pager));
        QVERIFY2(rig.startWeb(rig.localSettings(), error), qPrintable(error));

        ConnectionLock lock;
        QVERIFY(lock.lock(f.t.path("wexa.mdb")));
        rig.runCycle(); // the alarm starts, unrecorded
        QVERIFY(f.smtp.waitForMessages(1));
        rig.runCycle(10 * 60); // 10: the reminder
        QVERIFY(f.smtp.waitForMessages(2));
        // The wall clock moved back meanwhile delays nothing.
        f.t.clock.setWallClock(f.t.clock.now().addSecs(-3600));
        rig.runCycle(5 * 60); // 15: step 1, still without a record
        QVERIFY(f.smtp.waitForMessages(3));
        QVERIFY(WaitForRequests(pager, 1));
        QCOMPARE(mailSubjects(f.smtp).mid(1),
                 (QStringList{"Reminder > alarms@example.com", "Escalation > boss@example.com"}));
        const QString stepText = mailText(f.smtp, 2);
        QVERIFY2(stepText.contains("Alarm: sensor Walk-in Freezer connected to device Kitchen"),
                 qPrintable(stepText));
        QCOMPARE(eventKinds(pager), QStringList{Escalation::StepKind});

        lock.release();
        rig.runCycle(60); // 16: the record is written, with what was sent
        const qint64 alarm = f.value("SELECT IDNum FROM tblAlarms WHERE AlarmActive = -1").toLongLong();
        QVERIFY(alarm > 0);
        QCOMPARE(
            f.rows(QString("SELECT Reminders, StepsDone FROM tblEscalations WHERE AlarmID = %1").arg(alarm)),
            QStringList{"1|1"});
        rig.runCycle(4 * 60); // 20: the second reminder
        QVERIFY(f.smtp.waitForMessages(4));
        rig.runCycle(9 * 60); // 29: nothing
        QTest::qWait(200);
        QCOMPARE(f.smtp.messages().size(), 4);
        rig.runCycle(60); // 30: the third reminder and step 2, at its minute
        QVERIFY(f.smtp.waitForMessages(6));
        QCOMPARE(mailSubjects(f.smtp).mid(4),
                 (QStringList{"Reminder > alarms@example.com", "Escalation > director@example.com"}));

        const HttpResult ack = acknowledgeOverApi(rig, alarm);
        QVERIFY2(ack.status == 200, ack.body.constData());
        QVERIFY(f.smtp.waitForMessages(7));
        QCOMPARE(mailSubjects(f.smtp).last(),
                 QString("Acknowledged by Ann > boss@example.com,director@example.com"));
        QVERIFY(WaitForRequests(pager, 2));
        for (int i = 0; i < 3; ++i)
            rig.runCycle(10 * 60); // 60
        QTest::qWait(300);
        QCOMPARE(f.smtp.messages().size(), 7);
        QCOMPARE(pager.requests.size(), 2);
        QCOMPARE(f.count("tblAlarms"), 1);
        QCOMPARE(f.count("tblEscalations", "Closed = 1"), 1);
    }
};

QTEST_GUILESS_MAIN(TestEscalation)
#include "tst_escalation.moc"
