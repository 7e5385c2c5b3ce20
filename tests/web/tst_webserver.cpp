#include "support_webrig.h"

#include <web/MetricsText.h>
#include <web/WebServer.h>

#include <support/OutboxSettle.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryFile>
#include <QTest>
#include <QTimer>

using Status = StatusGridModel::SensorStatus;

namespace {
QJsonObject findBy(const QJsonArray &array, const QString &key, const QString &value)
{
    for (const QJsonValue &item : array)
        if (item.toObject().value(key).toString() == value)
            return item.toObject();
    return QJsonObject();
}
} // namespace

// The endpoints over real HTTP, after poll cycles of simulated devices: a normal sensor, one in
// alarm, a device that does not answer (NO DATA) and one busy on a call.
class TestWebServer : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        m_rig = std::make_unique<WebRig>(120);
        QString error;
        QVERIFY2(m_rig->start(error), qPrintable(error));
        QVERIFY(m_rig->addStandardDevices());
        QVERIFY2(m_rig->startWeb(m_rig->localSettings(), error), qPrintable(error));
        // The busy device answered once before it went on a call: its sensor keeps that row.
        m_rig->runCycle();
        m_rig->busy->setFault(SimFault::Busy);
        m_rig->runCycle();
        QVERIFY(m_rig->f.pollTimer->cycleTimes().lastEnd.isValid());
        // The alarm e-mail and the failure notice have gone out.
        QVERIFY(SettleOutbox(m_rig->f.monitor->outbox));
    }
    void cleanupTestCase() { m_rig.reset(); }

    void statusJsonShowsEverySensorAndDevice()
    {
        const QJsonObject status = m_rig->getJson("/api/v1/status");
        const QJsonArray sensors = status.value("sensors").toArray();
        QVERIFY2(sensors.size() == 6, QJsonDocument(sensors).toJson().constData());

        const QJsonObject freezer = findBy(sensors, "sensor", "Walk-in Freezer");
        QCOMPARE(freezer.value("device").toString(), QString("Kitchen"));
        QCOMPARE(freezer.value("value").toDouble(), 5.0);
        QCOMPARE(freezer.value("unit").toString(), QString::fromUtf8("\u00b0F"));
        QCOMPARE(freezer.value("status").toString(), QString("Normal"));
        QCOMPARE(freezer.value("colour").toString(), QString("#00ff00"));

        const QJsonObject fridge = findBy(sensors, "sensor", "Prep Fridge");
        QCOMPARE(fridge.value("status").toString(), QString("ALARM"));
        QCOMPARE(fridge.value("colour").toString(), QString("#ff0000"));

        const QJsonObject engine = findBy(sensors, "sensor", "Engine Room");
        QCOMPARE(engine.value("status").toString(), QString("NO DATA"));
        QCOMPARE(engine.value("reading").toString(), QString("No Data"));
        QVERIFY(engine.value("value").isNull());

        const QJsonObject shed = findBy(sensors, "sensor", "Shed Air");
        QCOMPARE(shed.value("value").toDouble(), 20.0);
        QCOMPARE(shed.value("current").toBool(), false);
        QCOMPARE(freezer.value("current").toBool(), true);

        const QJsonObject door = findBy(sensors, "sensor", "Back Door");
        QVERIFY(door.value("value").isNull()); // a state, not a number

        const QJsonObject special = findBy(sensors, "sensor", WebRig::SpecialSensor);
        QCOMPARE(special.value("device").toString(), WebRig::SpecialDevice);
        QCOMPARE(special.value("value").toDouble(), -3.5);

        const QJsonArray devices = status.value("devices").toArray();
        QCOMPARE(findBy(devices, "name", "Kitchen").value("outcome").toString(), QString("OK"));
        QCOMPARE(findBy(devices, "name", "Phone Shed").value("outcome").toString(), QString("Is busy"));
        QCOMPARE(findBy(devices, "name", "Generator").value("outcome").toString(), QString("FAILED"));
        QCOMPARE(findBy(devices, "name", WebRig::SpecialDevice).value("address").toString(),
                 QString("127.0.120.2"));

        const QJsonArray open = status.value("openAlarms").toArray();
        QCOMPARE(open.size(), 1);
        QCOMPARE(open.first().toObject().value("sensor").toString(), QString("Prep Fridge"));
        QVERIFY(status.value("cycle").toObject().value("lastEnd").toString().startsWith("2026-03-14T"));
        QCOMPARE(status.value("health").toObject().value("ok").toBool(), true);
        // The device lines are given apart; the other lines of the status list as they stand.
        const QJsonArray lines = status.value("statusLines").toArray();
        QVERIFY(!lines.isEmpty());
        for (const QJsonValue &line : lines)
            QVERIFY(!line.toString().startsWith("Communication with server"));
    }

    void metricsCarryValuesStatesAndEscapedLabels()
    {
        const HttpResult result = m_rig->get("/metrics");
        QCOMPARE(result.status, 200);
        QVERIFY(result.headers.value("content-type").startsWith("text/plain; version=0.0.4"));
        const QString text = QString::fromUtf8(result.body);
        const QString kitchenFreezer = "device=\"Kitchen\",sensor=\"Walk-in Freezer\",sensor_id=\"%1\"";
        const qint64 freezerId = m_rig->f.sensorId("Kitchen", 0);
        QVERIFY(text.contains("tallyport_sensor_value{" + kitchenFreezer.arg(freezerId) +
                              QString::fromUtf8(",unit=\"\u00b0F\"} 5\n")));
        QVERIFY(
            text.contains("tallyport_sensor_alarm{device=\"Kitchen\",sensor=\"Prep Fridge\",sensor_id=\"" +
                          QString::number(m_rig->f.sensorId("Kitchen", 1)) + "\"} 1\n"));
        const QString engineLabels = "device=\"Generator\",sensor=\"Engine Room\",sensor_id=\"" +
                                     QString::number(m_rig->f.sensorId("Generator", 0)) + "\"";
        QVERIFY(text.contains("tallyport_sensor_no_data{" + engineLabels + "} 1\n"));
        QVERIFY(!text.contains("tallyport_sensor_value{" + engineLabels));
        QVERIFY(text.contains("tallyport_device_up{device=\"Generator\",address=\"127.0.120.4\"} 0\n"));
        QVERIFY(text.contains("tallyport_device_up{device=\"Phone Shed\",address=\"127.0.120.3\"} 1\n"));
        QVERIFY(text.contains("tallyport_alarms_open 1\n"));
        QVERIFY(text.contains("tallyport_cycle_duration_seconds "));
        QVERIFY(text.contains("tallyport_last_cycle_end_timestamp_seconds "));
        QVERIFY(text.contains("tallyport_emails_waiting 0\n")); // every e-mail delivered
        const QString escapedDevice =
            QString::fromUtf8("device=\"Bob's \\\"Cold\\\" <Room> \\\\ K\u00fchlraum\"");
        const QString escapedSensor =
            QString::fromUtf8("sensor=\"Fach <b>1</b> & \\\"T\u00fcr\\\"\\nzwei \u00d8st\"");
        QVERIFY2(text.contains(escapedDevice + "," + escapedSensor), qPrintable(text));
    }

    void metricsParseWithThePrometheusParser()
    {
        std::function<int()> &waiting = m_rig->web->source().emailsWaiting;
        const std::function<int()> outbox = waiting;
        waiting = [] { return 3; };
        const HttpResult result = m_rig->get("/metrics");
        waiting = outbox;
        QVERIFY(result.body.contains("tallyport_emails_waiting 3\n"));
        QTemporaryFile file;
        QVERIFY(file.open());
        file.write(result.body);
        file.close();
        QProcess checker;
        checker.start("/usr/bin/python3",
                      {QString(TALLYPORT_SOURCE_DIR) + "/tests/web/check_metrics.py", file.fileName(), "6"});
        QVERIFY(checker.waitForFinished(30000));
        QVERIFY2(checker.exitCode() == 0, checker.readAllStandardError().constData());
    }

    void labelEscapingFollowsTheFormat_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("escaped");
        QTest::newRow("plain") << "Freezer 1"
                               << "Freezer 1";
        QTest::newRow("quote") << "a\"b"
                               << "a\\\"b";
        QTest::newRow("backslash") << "C:\\dir\\"
                                   << "C:\\\\dir\\\\";
        QTest::newRow("line feed") << "one\ntwo"
                                   << "one\\ntwo";
        QTest::newRow("non-ASCII kept")
            << QString::fromUtf8("K\u00fchl \u00b0C") << QString::fromUtf8("K\u00fchl \u00b0C");
    }
    void labelEscapingFollowsTheFormat()
    {
        QFETCH(QString, value);
        QFETCH(QString, escaped);
        QCOMPARE(EscapeLabelValue(value), escaped);
    }

    void pageShowsEverythingEscaped()
    {
        const HttpResult result = m_rig->get("/");
        QCOMPARE(result.status, 200);
        QCOMPARE(result.headers.value("content-type"), QByteArray("text/html; charset=utf-8"));
        QVERIFY(result.headers.value("content-security-policy").startsWith("default-src 'none'"));
        const QString html = QString::fromUtf8(result.body);
        QVERIFY(html.contains(QString::fromUtf8("Bob's &quot;Cold&quot; &lt;Room&gt; \\ K\u00fchlraum")));
        QVERIFY(html.contains(QString::fromUtf8("Fach &lt;b&gt;1&lt;/b&gt; &amp; &quot;T\u00fcr&quot;")));
        QVERIFY(!html.contains("<Room>"));
        QVERIFY(!html.contains("<b>1</b>"));
        QVERIFY(html.contains("<td class=\"alarm\">ALARM</td>"));
        QVERIFY(html.contains("<td class=\"nodata\">NO DATA</td>"));
        QVERIFY(html.contains("<td class=\"normal\">Normal</td>"));
        QVERIFY(html.contains(".alarm{background:#ff0000}"));
        QVERIFY(html.contains("Is busy"));
        QVERIFY(html.contains("<tr class=\"stale\"><td>Phone Shed</td>"));
        QVERIFY(html.contains("Rows in italics show an earlier cycle"));
        QVERIFY(html.contains("<td class=\"alarm\">FAILED</td>"));
        QVERIFY(html.contains("<h2>Open alarms</h2>"));
        QVERIFY(html.contains("Prep Fridge"));
        QVERIFY(html.contains("<h2>Recent device failures</h2>"));
        QVERIFY(html.contains("still off line"));
        QVERIFY(html.contains("Last poll cycle ended 3/14/2026"));
        QVERIFY(html.contains("<meta http-equiv=\"refresh\" content=\"60\">"));
        QVERIFY(html.contains("name=\"viewport\""));
        // Nothing from elsewhere and no script.
        QVERIFY(!html.contains("<script"));
        QVERIFY(!html.contains("http://"));
        QVERIFY(!html.contains("https://"));
    }

    void alarmsApiGivesTheNewestWithinLimits()
    {
        const QJsonArray alarms = m_rig->getJson("/api/v1/alarms?limit=1").value("alarms").toArray();
        QCOMPARE(alarms.size(), 1);
        const QJsonObject alarm = alarms.first().toObject();
        QCOMPARE(alarm.value("sensor").toString(), QString("Prep Fridge"));
        QCOMPARE(alarm.value("active").toBool(), true);
        QVERIFY(alarm.value("end").isNull());
        QCOMPARE(alarm.value("minutesOutOfLimits").toInt(), 11);
        QVERIFY(alarm.value("cause").toString().contains("Prep Fridge"));
        QVERIFY(alarm.contains("resolution"));
        QCOMPARE(m_rig->getJson("/api/v1/alarms").value("alarms").toArray().size(), 1);
        for (const char *bad : {"0", "101", "abc", "-1", ""})
            QCOMPARE(m_rig->get(QString("/api/v1/alarms?limit=") + bad).status, 400);
    }

    void unknownPathsAndMethodsAreRefused()
    {
        QCOMPARE(m_rig->get("/nothing").status, 404);
        QCOMPARE(m_rig->get("/metrics/").status, 404);
        QCOMPARE(m_rig->get("/api/v1/status/../../wexa.mdb").status, 404);
        const HttpResult post =
            RawExchange(m_rig->web->port(), "POST /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                                            "Content-Length: 0\r\nConnection: close\r\n\r\n");
        QCOMPARE(post.status, 405);
        QVERIFY2(post.error.isEmpty(), qPrintable(post.error)); // closed as asked
        // No route takes a body: one is refused before it is read.
        const HttpResult withBody =
            RawExchange(m_rig->web->port(), "POST /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                                            "Content-Length: 2\r\nConnection: close\r\n\r\nab");
        QCOMPARE(withBody.status, 413);
        const HttpResult del =
            RawExchange(m_rig->web->port(), "DELETE /api/v1/alarms HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                                            "Connection: close\r\n\r\n");
        QCOMPARE(del.status, 405);
        QCOMPARE(m_rig->f.count("tblAlarms"), 1);
    }

    // HEAD (as uptime checkers often ask) gets GET's status and headers without the body, and the
    // connection goes on with the next request.
    void headIsAnsweredAsGetWithoutItsBody()
    {
        const HttpResult both = RawExchange(
            m_rig->web->port(), "HEAD /healthz HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"
                                "GET /healthz HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
        QCOMPARE(both.status, 200);
        QVERIFY2(both.body.startsWith("HTTP/1.1 200 "), both.body.constData()); // nothing after HEAD's head
        QVERIFY2(both.body.endsWith("\r\n\r\nok\n"), both.body.constData());
        QCOMPARE(both.body.count("ok\n"), 1);
        const HttpResult metrics = RawExchange(
            m_rig->web->port(), "HEAD /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
        QCOMPARE(metrics.status, 200);
        QVERIFY(metrics.body.isEmpty());
        QVERIFY2(metrics.error.isEmpty(), qPrintable(metrics.error));
    }

    // The outbox's count of undelivered e-mails in the metrics, the JSON and the page: an alarm
    // e-mail that cannot reach the mail server waits there, and leaves the count once delivered.
    // An alarm's page, linked from the status page, shows the alarm and a form that posts back with
    // the page's nonce; afterwards the page, the status JSON and the alarm list say who took it.
    void anAlarmsPageTakesItsAcknowledgement()
    {
        const qint64 alarm =
            m_rig->f.value("SELECT IDNum FROM tblAlarms WHERE AlarmActive = -1").toLongLong();
        const QString pagePath = QString("/alarm/%1").arg(alarm);
        const HttpResult status = m_rig->get("/");
        QVERIFY(status.body.contains(QString("<a href=\"alarm/%1\">%1</a>").arg(alarm).toUtf8()));
        QVERIFY(status.body.contains("<td>nobody yet</td>"));
        QVERIFY(status.headers.value("content-security-policy").contains("form-action 'none'"));
        const HttpResult page = m_rig->get(pagePath);
        QCOMPARE(page.status, 200);
        QVERIFY(page.headers.value("content-security-policy").contains("form-action 'self'"));
        QVERIFY(!page.body.contains("http-equiv=\"refresh\""));
        QVERIFY(page.body.contains("Prep Fridge") && page.body.contains("OPEN"));
        QVERIFY(page.body.contains(QString("action=\"%1/ack\"").arg(pagePath).toUtf8()));
        const QRegularExpression nonceField("name=\"nonce\" value=\"([A-Za-z0-9_-]+)\"");
        const QString nonce = nonceField.match(QString::fromUtf8(page.body)).captured(1);
        QCOMPARE(nonce.size(), 22);

        auto postForm = [&](const QByteArray &body) {
            return RawExchange(m_rig->web->port(),
                               "POST " + pagePath.toUtf8() +
                                   "/ack HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                                   "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                                   QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
        };
        // A name missing is refused with the way back; the nonce still serves.
        const HttpResult noName = postForm("by=+&nonce=" + nonce.toLatin1());
        QCOMPARE(noName.status, 400);
        QVERIFY(noName.body.contains("A name is required."));
        const HttpResult done =
            postForm("by=Ann+%3Ci%3EK%C3%B6hler%3C%2Fi%3E&comment=on+my+way&nonce=" + nonce.toLatin1());
        QCOMPARE(done.status, 303);
        QCOMPARE(done.headers.value("location"), pagePath.toUtf8());
        QCOMPARE(postForm("by=Bob&nonce=" + nonce.toLatin1()).status, 403); // spent
        QCOMPARE(m_rig->f.rows("SELECT AckBy, AckVia, AckPeer, AckComment FROM tblAlarmAcks"),
                 QStringList{QString("Ann <i>K\u00f6hler</i>|web page|127.0.0.1|on my way")});

        const HttpResult after = m_rig->get(pagePath);
        QVERIFY(after.body.contains("Acknowledged by <b>Ann &lt;i&gt;K\xc3\xb6hler&lt;/i&gt;</b>"));
        QVERIFY(!after.body.contains("<form"));
        const QJsonObject open =
            m_rig->getJson("/api/v1/status").value("openAlarms").toArray().first().toObject();
        QCOMPARE(open.value("acknowledgement").toObject().value("by").toString(),
                 QString("Ann <i>K\u00f6hler</i>"));
        const QJsonObject listed =
            m_rig->getJson("/api/v1/alarms").value("alarms").toArray().first().toObject();
        QCOMPARE(listed.value("acknowledgement").toObject().value("via").toString(), QString("web page"));
        QCOMPARE(m_rig->get("/alarm/999").status, 404);
        QCOMPARE(m_rig->get("/alarm/0").status, 404);
    }

    void emailsWaitingFollowTheOutbox()
    {
        MonitoringFixture &f = m_rig->f;
        QTcpServer nobody; // a port where no mail server listens
        QVERIFY(nobody.listen(QHostAddress::LocalHost));
        f.t.state.Config.SMTPPort = qint16(nobody.serverPort());
        nobody.close();
        f.monitor->mail.SetUpMailManager();
        m_rig->special->setMinutes(0, 11);
        m_rig->special->setAlarmByte(0, 1);
        m_rig->runCycle();
        QVERIFY(SettleOutbox(f.monitor->outbox));
        QCOMPARE(f.monitor->outbox.waitingCount(), 1);
        QVERIFY(m_rig->get("/metrics").body.contains("tallyport_emails_waiting 1\n"));
        QCOMPARE(m_rig->getJson("/api/v1/status").value("emailsWaiting").toInt(-1), 1);
        QVERIFY(m_rig->get("/").body.contains("E-mails waiting: 1."));

        // The mail server is back: the next attempt delivers it.
        f.t.state.Config.SMTPPort = qint16(f.smtp.port());
        f.monitor->mail.SetUpMailManager();
        m_rig->runCycle(600);
        QVERIFY(SettleOutbox(f.monitor->outbox));
        QCOMPARE(f.monitor->outbox.waitingCount(), 0);
        QVERIFY(m_rig->get("/metrics").body.contains("tallyport_emails_waiting 0\n"));
        QCOMPARE(m_rig->getJson("/api/v1/status").value("emailsWaiting").toInt(-1), 0);
    }

    // Each notification channel's queue in the metrics, the JSON and the page: an alarm of the
    // poll cycle waits in the channel whose receiver is down, and not in one that takes only ends.
    void notificationChannelsShowTheirQueues()
    {
        MonitoringFixture &f = m_rig->f;
        m_rig->special->setAlarmByte(0, 0); // an alarm an earlier case left open ends first
        m_rig->runCycle();
        QTcpServer nobody; // a port where no receiver listens
        QVERIFY(nobody.listen(QHostAddress::LocalHost));
        NotifyChannelSettings down;
        down.name = QStringLiteral("down");
        down.type = QStringLiteral("webhook");
        down.url = QStringLiteral("http://127.0.0.1:%1/hook").arg(nobody.serverPort());
        nobody.close();
        NotifyChannelSettings ends = down;
        ends.name = QStringLiteral("ends");
        ends.events = QStringLiteral("alarm-end");
        f.t.state.Ini.channels = {down, ends};
        m_rig->special->setMinutes(0, 11);
        m_rig->special->setAlarmByte(0, 1);
        m_rig->runCycle();
        const Notifier &notifier = f.monitor->notifier;
        QTRY_VERIFY(notifier.upToDate() && notifier.channel(QStringLiteral("down")) &&
                    !notifier.channel(QStringLiteral("down"))->attemptRunning());
        QCOMPARE(notifier.channel(QStringLiteral("down"))->waitingCount(), 1);
        const QByteArray metrics = m_rig->get("/metrics").body;
        QVERIFY(metrics.contains("tallyport_notifications_waiting{channel=\"down\"} 1\n"));
        QVERIFY(metrics.contains("tallyport_notifications_waiting{channel=\"ends\"} 0\n"));
        QVERIFY(metrics.contains("# TYPE tallyport_notifications_failed_total counter\n"));
        QVERIFY(metrics.contains("tallyport_notifications_failed_total{channel=\"down\"} 0\n"));
        const QJsonArray channels = m_rig->getJson("/api/v1/status").value("notifications").toArray();
        QCOMPARE(channels.size(), 2);
        QCOMPARE(channels[0].toObject().value("waiting").toInt(), 1);
        QVERIFY(m_rig->get("/").body.contains("Notifications waiting for down: 1 (given up: 0)."));
        QTRY_VERIFY(f.t.status.lines().filter(QStringLiteral("Notifications waiting for down: 1")).size() ==
                    1);
        f.t.state.Ini.channels.clear();
        f.monitor->notifier.Resume();
    }

    // Asked while a cycle runs, rows not yet read in it show the cycle before, which is as recent
    // as can be: only the busy device's row is marked as older.
    void rowsAwaitingTheRunningCycleAreNotMarkedOlder()
    {
        SimFaultOptions slow;
        slow.slowDelayMs = 600; // the first device's reply: no row is written before it
        m_rig->kitchen->setFaultOptions(slow);
        m_rig->kitchen->setFault(SimFault::Slow);
        QTest::qWait(WebServer::ReuseMs + 100); // nothing rendered before the cycle is used again
        QJsonObject during;
        QTimer::singleShot(100, [&] { during = m_rig->getJson("/api/v1/status"); });
        m_rig->runCycle();
        m_rig->kitchen->clearFault();
        QVERIFY(during.value("cycle").toObject().value("running").toBool());
        const QJsonArray sensors = during.value("sensors").toArray();
        QCOMPARE(findBy(sensors, "sensor", "Walk-in Freezer").value("current").toBool(), true);
        QCOMPARE(findBy(sensors, "sensor", "Engine Room").value("current").toBool(), true);
        QCOMPARE(findBy(sensors, "sensor", "Shed Air").value("current").toBool(), false);
        QCOMPARE(
            findBy(m_rig->getJson("/api/v1/status").value("sensors").toArray(), "sensor", "Walk-in Freezer")
                .value("current")
                .toBool(),
            true);
    }

    // The health check after a cycle, and each reason it gives when polling does not keep up.
    void healthTurns503WithItsReasonWhenPollingStops()
    {
        QCOMPARE(m_rig->get("/healthz").body, QByteArray("ok\n"));
        PollTimer &timer = *m_rig->f.pollTimer;
        ProgramState &state = m_rig->f.t.state;
        QVERIFY(timer.isRunning());
        QStringList codes;
        auto expect503 = [&](const char *code) {
            const HttpResult result = m_rig->get("/healthz");
            QCOMPARE(result.status, 503);
            QVERIFY2(result.body.startsWith(QByteArray(code) + ": "), result.body.constData());
            codes << QString::fromUtf8(result.body).trimmed();
        };
        // A configuration window stops polling: healthy until 3 x 60 + 60 s have passed.
        timer.StopPollTimer();
        m_rig->f.t.clock.advanceSeconds(240);
        QCOMPARE(m_rig->get("/healthz").status, 200);
        m_rig->f.t.clock.advanceSeconds(1);
        expect503("polling-paused");
        state.ActiveFormName = "frmTreeConfiguration";
        expect503("polling-paused");
        QVERIFY(codes.last().contains("the device window"));
        state.ActiveFormName = "frmMain";

        // The poll timer runs but no cycle ends.
        timer.StartPollTimer();
        m_rig->f.t.clock.advanceSeconds(241);
        expect503("cycle-overdue");

        // A cycle that runs too long: asked from inside the cycle's own wait.
        HttpResult during;
        m_rig->silent->setFault(SimFault::Silent);
        QTimer::singleShot(300, [&] {
            m_rig->f.t.clock.advanceSeconds(300);
            during = m_rig->get("/healthz");
        });
        m_rig->runCycle(0);
        QCOMPARE(during.status, 503);
        QVERIFY2(during.body.startsWith("cycle-hung: "), during.body.constData());
        codes << QString::fromUtf8(during.body).trimmed();
        QCOMPARE(m_rig->get("/healthz").status, 200);

        // The database fails: every cycle ends at once without reading a device.
        m_rig->f.value("ALTER TABLE tblServers RENAME TO tblServersAway");
        m_rig->runCycle();
        expect503("cycle-failed");
        QVERIFY(codes.last().contains("device list"));
        m_rig->f.value("ALTER TABLE tblServersAway RENAME TO tblServers");
        m_rig->runCycle();
        QCOMPARE(m_rig->get("/healthz").status, 200);

        // No sensors: nothing is polled.
        m_rig->f.monitor->grid.ConfigureServerStatusGrid(0);
        timer.StopPollTimer();
        m_rig->f.t.clock.advanceSeconds(241);
        expect503("no-sensors");

        state.setMonitoringActive(false);
        expect503("monitoring-ended");
        state.setMonitoringActive(true);
        codes.removeDuplicates();
        QCOMPARE(codes.size(), 7);
    }

private:
    std::unique_ptr<WebRig> m_rig;
};

QTEST_GUILESS_MAIN(TestWebServer)
#include "tst_webserver.moc"
