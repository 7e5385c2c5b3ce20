#include "support_webrig.h"

#include <alarms/Escalation.h>
#include <notify/support_notify.h>
#include <notify/support_receiver.h>

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
        NotifyChannelSettings channel = Channel("pager", "webhook", pager.url());
        channel.events = "device-failure"; // not the alarm's own channel: told by the step alone
        f.t.state.Ini.channels = {channel};
        f.t.state.Ini.escalation.repeatMinutes = 10;
        f.t.state.Ini.escalation.steps = {{1, 15, "boss@example.com", "pager", ""},
                                          {2, 30, "director@example.com", "", ""}};
        f.monitor->notifier.Resume();
        SimDevice *kitchen = f.addDevice("Kitchen", 5, 5, 25, {{0, "Walk-in Freezer", kTemperature}});
        QVERIFY(kitchen);
        kitchen->setReading(0, 12.5);
        kitchen->setMinutes(0, 11);
        kitchen->setAlarmByte(0, 1);
        QVERIFY2(rig.startWeb(rig.localSettings(), error), qPrintable(error));

        rig.runCycle(); // the alarm opens: its e-mail to the device's list
        const qint64 alarm = f.value("SELECT IDNum FROM tblAlarms WHERE AlarmActive = -1").toLongLong();
        QVERIFY(alarm > 0);
        QVERIFY(f.smtp.waitForMessages(1));
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
        QVERIFY(rig.get("/metrics").body.contains("tallyport_escalations_total{step=\"1\"} 1\n"));
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
        const QByteArray metrics = rig.get("/metrics").body;
        QVERIFY(metrics.contains("tallyport_alarms_unacknowledged 1\n"));
        // Counted since this run started: step 2 only.
        QVERIFY(metrics.contains("tallyport_escalations_total{step=\"2\"} 1\n"));
        QVERIFY(!metrics.contains("step=\"1\""));

        // Acknowledged through the API: reminders and steps stop, and each recipient told by a
        // step hears once who took it.
        const QByteArray body = R"({"by": "Ann", "comment": "on my way"})";
        const HttpResult ack = RawExchange(
            rig.web->port(), "POST /api/v1/alarms/" + QByteArray::number(alarm) +
                                 "/ack HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
                                 "Content-Length: " +
                                 QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
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
        QVERIFY(rig.get("/metrics").body.contains("tallyport_alarms_unacknowledged 0\n"));

        // A new alarm that ends before its first step: nothing more is sent for it, not even an
        // end to those no step told.
        kitchen->setAlarmByte(0, 0);
        kitchen->setReading(0, 5.0);
        rig.runCycle(); // the first alarm ends
        kitchen->setAlarmByte(0, 1);
        kitchen->setReading(0, 12.5);
        rig.runCycle(); // the second opens
        QVERIFY(f.smtp.waitForMessages(8));
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
};

QTEST_GUILESS_MAIN(TestEscalation)
#include "tst_escalation.moc"
