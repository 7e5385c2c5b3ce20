#include "support_webrig.h"

#include <acquisition/SensorDataFiles.h>
#include <core/DateTimeText.h>
#include <web/MetricsText.h>
#include <web/WebServer.h>

#include <support/OutboxSettle.h>

#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTcpServer>
#include <QTemporaryDir>
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

// Appends one reading every minute of [from, to) to the sensor's monthly files: 3, 3.5, 4, 4.5, 5
// over and over (a mean of 4 in every whole hour).
void appendReadings(const QString &dir, int sensorId, const QDateTime &from, const QDateTime &to)
{
    int i = 0;
    for (QDateTime t = from; t < to; t = t.addSecs(60), ++i) {
        QFile file(SensorInstantaneousPath(dir, sensorId, QDate(t.date().year(), t.date().month(), 1)));
        QVERIFY(file.open(QIODevice::Append));
        file.write(InstantaneousRecord{DateTimeText(t), 3.0f + float(i % 5) * 0.5f}.encode());
    }
}

// One statistics record per clock hour of [from, to) but for the hours in [gapFrom, gapTo): 60
// readings from 2 to 6, a mean of 4.
void writeHours(const QString &dir, int sensorId, const QDateTime &from, const QDateTime &to,
                const QDateTime &gapFrom, const QDateTime &gapTo)
{
    QByteArray bytes;
    for (QDateTime t(from.date(), QTime(from.time().hour(), 0)); t < to; t = t.addSecs(3600)) {
        if (t >= gapFrom && t < gapTo)
            continue;
        HourlyStatisticsRecord r{DateTimeText(t), 240.0f, 2.0f, 6.0f, 60};
        bytes += r.encode();
    }
    QFile file(SensorStatisticsPath(dir, sensorId));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

int countOf(const QByteArray &text, const QByteArray &part)
{
    return int(text.count(part));
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

    // The whole text, byte for byte, for a snapshot with every family: what scrapers and the
    // shipped rules read must not move when the rendering changes.
    void metricsTextIsExactlyTheExpositionFormat()
    {
        WebSnapshot s;
        s.sensors = {SensorView{"Kitchen", "Freezer", "1234.567890123456", "\u00b0F", Status::Normal, 7,
                                1234.567890123456, true},
                     SensorView{"Bob's \"Cold\" \\", "Door\nTwo", "Open", "", Status::Alarm, 12, {}, true},
                     SensorView{"Shed", "Probe", "No Data", "%RH", Status::NoData, 3, {}, false},
                     SensorView{"Shed", "Tiny", "-0.000012", "C", Status::Unset, 40, -0.000012, true}};
        s.devices = {DeviceView{"Kitchen", "10.0.0.2", DeviceView::Outcome::Ok},
                     DeviceView{"Shed", "10.0.0.3", DeviceView::Outcome::Failed},
                     DeviceView{"Phone", "10.0.0.4", DeviceView::Outcome::Busy},
                     DeviceView{"New", "10.0.0.5", DeviceView::Outcome::Unknown}};
        s.cycle.lastDurationMs = 1234;
        s.cycle.lastEnd = QDateTime::fromMSecsSinceEpoch(1773484200123);
        s.openAlarms = {AlarmRecord(), AlarmRecord()};
        s.openAlarms[0].Ack.AlarmID = 5;
        s.escalationSteps = {{1, 3}, {2, 1}};
        s.emailsWaiting = 0;
        s.channels = {ChannelView{"ops \"room\"", "ntfy", 2, 1}};
        // Written out line by line: the code generator of the test class reads this file too.
        const QByteArray expected =
            "# HELP tallyport_sensor_value The sensor's latest reading in its unit; absent while it shows a "
            "state or no data.\n"
            "# TYPE tallyport_sensor_value gauge\n"
            "tallyport_sensor_value{device=\"Kitchen\",sensor=\"Freezer\",sensor_id=\"7\",unit=\"°F\"} "
            "1234.56789012346\n"
            "tallyport_sensor_value{device=\"Shed\",sensor=\"Tiny\",sensor_id=\"40\",unit=\"C\"} -1.2e-05\n"
            "# HELP tallyport_sensor_alarm 1 while the sensor has an active alarm, else 0.\n"
            "# TYPE tallyport_sensor_alarm gauge\n"
            "tallyport_sensor_alarm{device=\"Kitchen\",sensor=\"Freezer\",sensor_id=\"7\"} 0\n"
            "tallyport_sensor_alarm{device=\"Bob's \\\"Cold\\\" "
            "\\\\\",sensor=\"Door\\nTwo\",sensor_id=\"12\"} 1\n"
            "tallyport_sensor_alarm{device=\"Shed\",sensor=\"Probe\",sensor_id=\"3\"} 0\n"
            "tallyport_sensor_alarm{device=\"Shed\",sensor=\"Tiny\",sensor_id=\"40\"} 0\n"
            "# HELP tallyport_sensor_no_data 1 while the sensor's device gives no data (NO DATA), else 0.\n"
            "# TYPE tallyport_sensor_no_data gauge\n"
            "tallyport_sensor_no_data{device=\"Kitchen\",sensor=\"Freezer\",sensor_id=\"7\"} 0\n"
            "tallyport_sensor_no_data{device=\"Bob's \\\"Cold\\\" "
            "\\\\\",sensor=\"Door\\nTwo\",sensor_id=\"12\"} 0\n"
            "tallyport_sensor_no_data{device=\"Shed\",sensor=\"Probe\",sensor_id=\"3\"} 1\n"
            "tallyport_sensor_no_data{device=\"Shed\",sensor=\"Tiny\",sensor_id=\"40\"} 0\n"
            "# HELP tallyport_device_up 1 when the device answered in the last cycle (OK or busy), 0 when it "
            "failed.\n"
            "# TYPE tallyport_device_up gauge\n"
            "tallyport_device_up{device=\"Kitchen\",address=\"10.0.0.2\"} 1\n"
            "tallyport_device_up{device=\"Shed\",address=\"10.0.0.3\"} 0\n"
            "tallyport_device_up{device=\"Phone\",address=\"10.0.0.4\"} 1\n"
            "# HELP tallyport_cycle_duration_seconds How long the last poll cycle took.\n"
            "# TYPE tallyport_cycle_duration_seconds gauge\n"
            "tallyport_cycle_duration_seconds 1.234\n"
            "# HELP tallyport_last_cycle_end_timestamp_seconds When the last poll cycle ended, in Unix "
            "time.\n"
            "# TYPE tallyport_last_cycle_end_timestamp_seconds gauge\n"
            "tallyport_last_cycle_end_timestamp_seconds 1773484200.123\n"
            "# HELP tallyport_alarms_open The number of alarm records still active.\n"
            "# TYPE tallyport_alarms_open gauge\n"
            "tallyport_alarms_open 2\n"
            "# HELP tallyport_alarms_unacknowledged Active alarms nobody has acknowledged yet.\n"
            "# TYPE tallyport_alarms_unacknowledged gauge\n"
            "tallyport_alarms_unacknowledged 1\n"
            "# HELP tallyport_escalations_total Alarms an escalation step was taken for since Tallyport "
            "started.\n"
            "# TYPE tallyport_escalations_total counter\n"
            "tallyport_escalations_total{step=\"1\"} 3\n"
            "tallyport_escalations_total{step=\"2\"} 1\n"
            "# HELP tallyport_emails_waiting E-mails waiting in the outbox to be delivered.\n"
            "# TYPE tallyport_emails_waiting gauge\n"
            "tallyport_emails_waiting 0\n"
            "# HELP tallyport_notifications_waiting Messages waiting in a notification channel's queue.\n"
            "# TYPE tallyport_notifications_waiting gauge\n"
            "tallyport_notifications_waiting{channel=\"ops \\\"room\\\"\"} 2\n"
            "# HELP tallyport_notifications_failed_total Messages a notification channel gave up since "
            "Tallyport started.\n"
            "# TYPE tallyport_notifications_failed_total counter\n"
            "tallyport_notifications_failed_total{channel=\"ops \\\"room\\\"\"} 1\n";
        QCOMPARE(MetricsText(s), expected);
    }

    // The metrics and the status JSON are rendered off the server's thread: requests on one
    // connection are still answered in their order, those that come while one is rendered get
    // the same body, HEAD gets none, and the requests after them are answered.
    void renderedElsewhereTheAnswersKeepTheirOrder()
    {
        m_rig->web->Refresh(); // what the views show changed: the text is made afresh
        const QByteArray get = "GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
        const HttpResult result = RawExchange(
            m_rig->web->port(), get + "GET /api/v1/status HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n" +
                                    "HEAD /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n" + get +
                                    "GET /healthz HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
        QVERIFY2(result.error.isEmpty(), qPrintable(result.error));
        QCOMPARE(result.status, 200);
        // The first answer's body, then each later answer whole.
        QList<QByteArray> answers;
        qsizetype from = 0;
        for (qsizetype at = result.body.indexOf("HTTP/1.1 "); from >= 0;
             at = result.body.indexOf("HTTP/1.1 ", at + 1)) {
            answers << result.body.mid(from, at < 0 ? -1 : at - from);
            from = at;
        }
        QCOMPARE(answers.size(), 5);
        const auto bodyOf = [](const QByteArray &answer) {
            return answer.mid(answer.indexOf("\r\n\r\n") + 4);
        };
        const QByteArray metrics = answers[0];
        QVERIFY(metrics.startsWith("# HELP tallyport_sensor_value "));
        QVERIFY(bodyOf(answers[1]).startsWith("{") && bodyOf(answers[1]).contains("\"sensors\""));
        QVERIFY(answers[2].contains("Content-Length: " + QByteArray::number(metrics.size()) + "\r\n"));
        QVERIFY(bodyOf(answers[2]).isEmpty());
        QCOMPARE(bodyOf(answers[3]), metrics);
        QVERIFY(answers[4].startsWith("HTTP/1.1 200") || answers[4].startsWith("HTTP/1.1 503"));
        QVERIFY(!bodyOf(answers[4]).startsWith("#"));
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

    // A sensor's page and history over a day of readings with a gap and an ended alarm, and a
    // year of hourly statistics with days missing; a sensor with no readings at all; the refusals.
    void sensorPagesAndHistoryShowThePast()
    {
        WebRig &rig = *m_rig;
        // The readings the cycles wrote lie more than a day back.
        rig.f.t.clock.advanceSeconds(2 * 86400);
        const QDateTime now = rig.f.t.clock.now();
        const QString dir = rig.f.t.state.programDirectory();
        const int id = int(rig.f.sensorId("Kitchen", 0));
        appendReadings(dir, id, now.addSecs(-24 * 3600), now.addSecs(-14 * 3600));
        appendReadings(dir, id, now.addSecs(-6 * 3600), now.addSecs(-60));
        writeHours(dir, id, now.addDays(-366), now.addSecs(-25 * 3600), now.addDays(-110), now.addDays(-100));
        AlarmRecord ended;
        ended.SensorIDNum = id;
        ended.AlarmStart = now.addSecs(-20 * 3600);
        ended.AlarmEnd = now.addSecs(-18 * 3600);
        ended.Server = "Kitchen";
        ended.Sensor = "Walk-in Freezer";
        QVERIFY(rig.f.monitor->database.RecordAlarm(ended));
        SensorColumns limits;
        limits.limits = SensorColumns::Limits{"8", "-2", "10"};
        QVERIFY(rig.f.monitor->database.SaveSensorColumns(rig.f.deviceId("Kitchen"), 0,
                                                          "Temperature Sensor Port 1", limits));

        // The status page links each row to its sensor's page.
        QVERIFY(rig.get("/").body.contains(
            QString("<a href=\"sensor/%1\">Walk-in Freezer</a>").arg(id).toUtf8()));

        // The day: two runs of readings either side of the gap, the alarm shaded from 20 to 18
        // hours back (4/24 and 2/24 of the plot's 426 columns from its left at 46), both limits.
        const HttpResult day = rig.get(QString("/sensor/%1").arg(id));
        QCOMPARE(day.status, 200);
        QVERIFY(day.headers.value("content-security-policy").startsWith("default-src 'none'"));
        QCOMPARE(countOf(day.body, "<svg class=\"chart\""), 1);
        QCOMPARE(countOf(day.body, "class=\"range\""), 2);
        QCOMPARE(countOf(day.body, "class=\"mean\""), 2);
        QVERIFY2(day.body.contains("class=\"alarm-period\" x=\"117.0\" y=\"10\" width=\"35.5\""),
                 day.body.constData());
        QCOMPARE(countOf(day.body, "class=\"limit\""), 2);
        QVERIFY(day.body.contains("<dt>Upper limit</dt><dd>8</dd>"));
        QVERIFY(day.body.contains("Drawn from every reading."));
        QVERIFY(!day.body.contains("<script"));
        QVERIFY(day.body.contains("<a href=\"../\">All sensors</a>"));
        QVERIFY(day.body.contains(QString("<a href=\"%1?span=1y\">year</a>").arg(id).toUtf8()));

        // The same day as JSON by the hour: 60 readings an hour, none in the gap.
        const QString from = IsoTime(now.addSecs(-24 * 3600));
        const QString query = QString("/api/v1/sensors/%1/history?from=%2&to=%3&step=3600")
                                  .arg(id)
                                  .arg(QString::fromLatin1(QUrl::toPercentEncoding(from)),
                                       QString::fromLatin1(QUrl::toPercentEncoding(IsoTime(now))));
        QJsonObject history = rig.getJson(query);
        QCOMPARE(history.value("step").toDouble(), 3600.0);
        QCOMPARE(history.value("source").toString(), QString("readings"));
        QCOMPARE(history.value("sensor").toString(), QString("Walk-in Freezer"));
        QJsonArray points = history.value("points").toArray();
        QCOMPARE(points.size(), 24);
        QCOMPARE(points[0].toObject().value("time").toString(), from);
        QCOMPARE(points[0].toObject().value("count").toInt(), 60);
        QCOMPARE(points[0].toObject().value("min").toDouble(), 3.0);
        QCOMPARE(points[0].toObject().value("max").toDouble(), 5.0);
        QCOMPARE(points[0].toObject().value("mean").toDouble(), 4.0);
        for (int hour = 10; hour < 18; ++hour) {
            QCOMPARE(points[hour].toObject().value("count").toInt(), 0);
            QVERIFY(points[hour].toObject().value("mean").isNull());
        }
        QCOMPARE(points[18].toObject().value("count").toInt(), 60);
        // A step finer than 2,000 points allow is coarsened, to whole seconds.
        history = rig.getJson(QString("/api/v1/sensors/%1/history?step=1").arg(id));
        QCOMPARE(history.value("step").toDouble(), 44.0);
        QVERIFY(history.value("points").toArray().size() <= 2000);

        // The year from the hourly statistics: 5-hour steps, the ten days missing are gaps.
        history =
            rig.getJson(QString("/api/v1/sensors/%1/history?from=%2")
                            .arg(id)
                            .arg(QString::fromLatin1(QUrl::toPercentEncoding(IsoTime(now.addDays(-365))))));
        QCOMPARE(history.value("source").toString(), QString("hourly"));
        QCOMPARE(history.value("step").toDouble(), 5 * 3600.0);
        points = history.value("points").toArray();
        const QDateTime yearAgo = now.addDays(-365);
        const QDateTime firstHour(yearAgo.date(), QTime(yearAgo.time().hour(), 0));
        QCOMPARE(points.size(), (firstHour.secsTo(now) + 5 * 3600 - 1) / (5 * 3600));
        QCOMPARE(points[10].toObject().value("count").toInt(), 300);
        QCOMPARE(points[10].toObject().value("mean").toDouble(), 4.0);
        QCOMPARE(points[10].toObject().value("max").toDouble(), 6.0);
        QCOMPARE(points[(365 - 105) * 24 / 5].toObject().value("count").toInt(), 0);
        const HttpResult year = rig.get(QString("/sensor/%1?span=1y").arg(id));
        QCOMPARE(year.status, 200);
        QVERIFY(countOf(year.body, "class=\"range\"") >= 2);
        QVERIFY(year.body.contains("Drawn from the hourly statistics."));
        QVERIFY(year.body.contains("<b>year</b>"));

        // Two requests sent at once on one connection are answered in their order: the chart drawn
        // on the worker thread first, the health check, answered at once, after it.
        const HttpResult both = RawExchange(
            rig.web->port(), QString("GET /sensor/%1?span=30d HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"
                                     "GET /healthz HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n")
                                 .arg(id)
                                 .toLatin1());
        QCOMPARE(both.status, 200);
        // (No cycle has ended for the two days the clock moved.)
        const qsizetype health = both.body.indexOf("HTTP/1.1 503 Service Unavailable\r\n");
        QVERIFY2(health > both.body.indexOf("</html>"), both.body.right(300).constData());
        QVERIFY(both.body.mid(health).contains("\r\n\r\ncycle-overdue: "));

        // No readings at all: an empty chart that says so, and points without figures.
        const int silent = int(rig.f.sensorId("Generator", 0));
        const HttpResult none = rig.get(QString("/sensor/%1?span=7d").arg(silent));
        QCOMPARE(none.status, 200);
        QVERIFY(none.body.contains("No readings in this span."));
        QCOMPARE(countOf(none.body, "class=\"range\""), 0);
        points = rig.getJson(QString("/api/v1/sensors/%1/history").arg(silent)).value("points").toArray();
        QVERIFY(!points.isEmpty());
        for (const QJsonValue &p : points)
            QCOMPARE(p.toObject().value("count").toInt(), 0);

        // Refusals: an unknown sensor, a malformed, offsetless or reversed range, a bad step or span.
        const HttpResult unknown = rig.get("/sensor/99999");
        QCOMPARE(unknown.status, 404);
        QVERIFY(unknown.body.contains("No such sensor"));
        QCOMPARE(rig.get("/api/v1/sensors/99999/history").status, 404);
        const QString base = QString("/api/v1/sensors/%1/history?").arg(id);
        for (const char *bad :
             {"from=yesterday", "from=2026-03-14T10:00:00",
              "to=2026-03-14T10:00:00Z&from=2026-03-14T11:00:00Z", "step=0", "step=-5", "step=1.5"}) {
            const HttpResult refused = rig.get(base + bad);
            QCOMPARE(refused.status, 400);
            QVERIFY2(!QJsonDocument::fromJson(refused.body).object().value("error").toString().isEmpty(),
                     refused.body.constData());
        }
        QCOMPARE(rig.get(base + "from=2026-03-14T10:00:00%2B01:00&to=2026-03-14T11:00:00+01:00").status, 200);
        QCOMPARE(rig.get(QString("/sensor/%1?span=2w").arg(id)).status, 400);
        // A cycle now, so the health check below starts from a cycle that just ended.
        rig.runCycle();
    }

    // The status page and a sensor's page as a real browser gets them with the token in the
    // address: the chart is drawn and every link keeps the token. With TALLYPORT_SCREENSHOTS set,
    // pictures of both at a phone's width go there (for docs/).
    void aBrowserShowsThePagesWithTheToken()
    {
        const QByteArray token = "browser-token-0123456789";
        WebIniSettings settings = m_rig->localSettings();
        settings.token = QString::fromLatin1(token);
        QString reason;
        QVERIFY2(m_rig->startWeb(settings, reason), qPrintable(reason));
        const int id = int(m_rig->f.sensorId("Kitchen", 0));
        const QString query = "?token=" + token;
        const QRegularExpression href("href=\"([^\"]*)\"");
        for (const QString &page : {QString("/"), QString("/sensor/%1").arg(id)}) {
            const QString dom = browse(page + query, {"--dump-dom"});
            QVERIFY2(dom.contains("</html>"), qPrintable(dom.left(2000)));
            int links = 0;
            for (auto m = href.globalMatch(dom); m.hasNext(); ++links) {
                const QString target = m.next().captured(1);
                QVERIFY2(target.contains("token=" + token), qPrintable(page + ": " + target));
            }
            if (page == "/") {
                QVERIFY(dom.contains(QString("href=\"sensor/%1?token=").arg(id)));
                QVERIFY(links >= 5);
            } else {
                QVERIFY(dom.contains("<svg class=\"chart\""));
                QVERIFY(dom.contains("class=\"range\""));
                QCOMPARE(links,
                         3 + 1 +
                             int(m_rig->f.count("tblAlarms",
                                                QString("SensorIDNum = %1 AND AlarmActive <> 0").arg(id))));
            }
        }
        const QString pictures = qEnvironmentVariable("TALLYPORT_SCREENSHOTS");
        if (!pictures.isEmpty()) {
            QDir().mkpath(pictures);
            const std::tuple<QString, QString, int> shots[] = {
                {"/", "status-page-phone", 1250}, {QString("/sensor/%1").arg(id), "sensor-page-phone", 860}};
            for (const auto &[page, name, height] : shots)
                browse(page + query,
                       {QString("--window-size=390,%1").arg(height), "--force-device-scale-factor=2",
                        "--hide-scrollbars", "--screenshot=" + QDir(pictures).filePath(name + ".png")});
        }
        QVERIFY2(m_rig->startWeb(m_rig->localSettings(), reason), qPrintable(reason));
    }

    // The Grafana dashboard and the Prometheus rules shipped for sites on Prometheus ask only for
    // metrics /metrics serves (with every feature on), or Prometheus's own "up"; promtool takes
    // the rules.
    void dashboardAndRulesUseServedMetrics()
    {
        WebSnapshot all;
        all.now = QDateTime::currentDateTime();
        all.sensors = {SensorView{"D", "S", "1.5", "C", Status::Alarm, 1, 1.5, true}};
        all.devices = {DeviceView{"D", "10.0.0.2", DeviceView::Outcome::Ok}};
        all.cycle.lastEnd = all.now;
        all.cycle.lastDurationMs = 1200;
        all.openAlarms = {AlarmRecord()};
        all.emailsWaiting = 2;
        all.escalationSteps = {{1, 3}};
        all.channels = {ChannelView{"ops", "ntfy", 1, 0}};
        QSet<QString> served{"up"};
        const QRegularExpression typeLine("^# TYPE (\\S+) ", QRegularExpression::MultilineOption);
        for (auto m = typeLine.globalMatch(QString::fromUtf8(MetricsText(all))); m.hasNext();)
            served.insert(m.next().captured(1));

        const auto readFile = [](const QString &path) {
            QFile file(QString(TALLYPORT_SOURCE_DIR) + path);
            return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
        };
        // Every query of the dashboard: its panels' expressions and its variables' queries.
        QJsonParseError error;
        const QJsonDocument dashboard =
            QJsonDocument::fromJson(readFile("/packaging/grafana/tallyport-dashboard.json").toUtf8(), &error);
        QCOMPARE(error.error, QJsonParseError::NoError);
        QString dashboardQueries;
        const QRegularExpression queryText("\"(?:expr|definition)\": \"((?:[^\"\\\\]|\\\\.)*)\"");
        const QString dashboardText = QString::fromUtf8(dashboard.toJson(QJsonDocument::Indented));
        for (auto m = queryText.globalMatch(dashboardText); m.hasNext();)
            dashboardQueries += m.next().captured(1) + '\n';
        QString ruleQueries;
        const QRegularExpression exprLine("^\\s*expr: (.*)$", QRegularExpression::MultilineOption);
        for (auto m = exprLine.globalMatch(readFile("/packaging/prometheus/tallyport-rules.yml"));
             m.hasNext();)
            ruleQueries += m.next().captured(1) + '\n';
        QVERIFY(dashboard.object().value("panels").toArray().size() >= 8);

        // A name before a label matcher, or any name of ours, must be served.
        const QRegularExpression metric("\\b(tallyport_[a-z0-9_]+|[a-zA-Z_:][a-zA-Z0-9_:]*(?=\\{))");
        QSet<QString> used[2];
        int i = 0;
        for (const QString &queries : {dashboardQueries, ruleQueries}) {
            for (auto m = metric.globalMatch(queries); m.hasNext();) {
                const QString name = m.next().captured(1);
                QVERIFY2(served.contains(name), qPrintable(name + " is not served"));
                used[i].insert(name);
            }
            ++i;
        }
        for (const char *family : {"tallyport_sensor_value", "tallyport_sensor_alarm", "tallyport_device_up",
                                   "tallyport_cycle_duration_seconds", "tallyport_alarms_open",
                                   "tallyport_emails_waiting", "tallyport_notifications_waiting", "up"})
            QVERIFY2(used[0].contains(family), family);
        for (const char *family :
             {"up", "tallyport_last_cycle_end_timestamp_seconds", "tallyport_sensor_alarm",
              "tallyport_device_up", "tallyport_emails_waiting"})
            QVERIFY2(used[1].contains(family), family);

        QProcess promtool;
        promtool.start(
            "promtool",
            {"check", "rules", QString(TALLYPORT_SOURCE_DIR) + "/packaging/prometheus/tallyport-rules.yml"});
        QVERIFY2(promtool.waitForFinished(30000), "promtool (Debian's prometheus package) did not run");
        QVERIFY2(promtool.exitCode() == 0, promtool.readAll().constData());
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
    // Runs Debian's chromium headless on a page of the rig's server (the test's event loop serves
    // it meanwhile) and returns what it printed.
    QString browse(const QString &pathAndQuery, const QStringList &arguments)
    {
        QTemporaryDir profile;
        QProcess chromium;
        chromium.setProcessChannelMode(QProcess::SeparateChannels);
        chromium.start("chromium",
                       QStringList{"--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
                                   "--disable-background-networking", "--disable-component-update",
                                   "--disable-dev-shm-usage", "--user-data-dir=" + profile.path()} +
                           arguments + QStringList{m_rig->url(pathAndQuery).toString()});
        if (!chromium.waitForStarted(10000)) {
            qWarning() << "chromium (Debian's package) did not start:" << chromium.errorString();
            return QString();
        }
        QElapsedTimer waited;
        waited.start();
        while (chromium.state() != QProcess::NotRunning && waited.elapsed() < 60000)
            QTest::qWait(20);
        if (chromium.state() != QProcess::NotRunning) {
            chromium.kill();
            chromium.waitForFinished(5000);
        }
        return QString::fromUtf8(chromium.readAllStandardOutput());
    }

    std::unique_ptr<WebRig> m_rig;
};

QTEST_GUILESS_MAIN(TestWebServer)
#include "tst_webserver.moc"
