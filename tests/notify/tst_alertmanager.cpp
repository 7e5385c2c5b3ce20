#include "support_notify.h"

#include <faults/support_rig.h>

#include <QFile>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

namespace {
const QHostAddress kAddress(QStringLiteral("127.0.190.10"));
// The devices both collectors watch.
constexpr int kRigOctet = 191;

quint16 FreePort()
{
    QTcpServer probe;
    probe.listen(kAddress);
    return probe.serverPort();
}

// Debian's Alertmanager on a loopback port of its own, with a configuration that routes every
// alert nowhere and no cluster port; stopped by its process when the test ends.
class Alertmanager {
public:
    Alertmanager() : m_port(FreePort())
    {
        QFile config(m_dir.filePath(QStringLiteral("alertmanager.yml")));
        config.open(QIODevice::WriteOnly);
        config.write("route:\n  receiver: nowhere\nreceivers:\n  - name: nowhere\n");
        config.close();
        m_process.setProgram(QStringLiteral("prometheus-alertmanager"));
        m_process.setArguments(
            {QStringLiteral("--config.file=") + config.fileName(),
             QStringLiteral("--storage.path=") + m_dir.filePath(QStringLiteral("data")),
             QStringLiteral("--web.listen-address=%1:%2").arg(kAddress.toString()).arg(m_port),
             QStringLiteral("--cluster.listen-address=")});
        m_process.setStandardErrorFile(QProcess::nullDevice());
        m_process.setStandardOutputFile(QProcess::nullDevice());
        m_process.start();
    }
    ~Alertmanager()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(2000);
    }

    QString url() const { return QStringLiteral("http://%1:%2").arg(kAddress.toString()).arg(m_port); }

    // The body of a GET, or a null array when no answer came.
    QByteArray get(const QString &path)
    {
        QNetworkReply *reply = m_network.get(QNetworkRequest(QUrl(url() + path)));
        LocalWait wait;
        wait.endOn(reply, &QNetworkReply::finished);
        wait.run(5000);
        const QByteArray body = reply->error() == QNetworkReply::NoError ? reply->readAll() : QByteArray();
        reply->deleteLater();
        return body;
    }

    bool waitUntilReady()
    {
        for (int i = 0; i < 100; ++i) {
            if (!get(QStringLiteral("/-/ready")).isNull())
                return true;
            Pause(100);
        }
        return false;
    }

    QJsonArray alerts() { return QJsonDocument::fromJson(get(QStringLiteral("/api/v2/alerts"))).array(); }

    // Posts an alert with these labels, active for an hour.
    bool post(const QJsonObject &labels)
    {
        const QDateTime now = QDateTime::currentDateTimeUtc();
        const QJsonArray alerts{
            QJsonObject{{QStringLiteral("labels"), labels},
                        {QStringLiteral("startsAt"), now.toString(Qt::ISODate)},
                        {QStringLiteral("endsAt"), now.addSecs(3600).toString(Qt::ISODate)}}};
        QNetworkRequest request(QUrl(url() + QStringLiteral("/api/v2/alerts")));
        request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
        QNetworkReply *reply = m_network.post(request, QJsonDocument(alerts).toJson(QJsonDocument::Compact));
        LocalWait wait;
        wait.endOn(reply, &QNetworkReply::finished);
        wait.run(5000);
        const bool taken = reply->error() == QNetworkReply::NoError;
        reply->deleteLater();
        return taken;
    }

private:
    QTemporaryDir m_dir;
    quint16 m_port;
    QProcess m_process;
    QNetworkAccessManager m_network;
};

// One collector: its own program directory and database, its clock following the real one (the
// alerts' times are judged by Alertmanager against its own clock).
struct Collector {
    Collector(const QString &url, const QString &name)
        : rig({[&] {
              NotifyChannelSettings c = Channel(QStringLiteral("am"), QStringLiteral("alertmanager"), url);
              c.repostSeconds = 1;
              return c;
          }()}),
          notifier(std::make_unique<Notifier>(rig.t.state, rig.database)), collector(name)
    {
        rig.database.AddAlarmRecord(12, QDateTime::currentDateTime(), QStringLiteral("Freezer 2"),
                                    QStringLiteral("Bob's freezer"), QStringLiteral("-3.5"), 0, -1, &alarmId);
        rig.t.clock.set(QDateTime::currentDateTime());
        QObject::connect(&tick, &QTimer::timeout, [this] { rig.t.clock.set(QDateTime::currentDateTime()); });
        tick.start(50);
    }

    void notify(const QString &kind, int port = 0)
    {
        NotifyEvent e = AlarmEvent(kind);
        e.port = port;
        e.sensorId = 12 + port;
        e.collector = collector;
        notifier->Notify(e, QStringLiteral("tblAlarms"), alarmId);
    }
    // The program closed and started again.
    void restart()
    {
        notifier->Shutdown(0);
        notifier = std::make_unique<Notifier>(rig.t.state, rig.database);
        notifier->Resume();
    }
    // The alerts it posts again while open, as its notification thread reports them; -1 until it
    // has carried out every request.
    int openAlerts() const
    {
        const auto am = notifier->upToDate() ? notifier->channel(QStringLiteral("am")) : std::nullopt;
        return am ? am->openAlerts() : -1;
    }
    int waiting() const { return Waiting(*notifier, QStringLiteral("am")); }
    int failed() const { return Failed(*notifier, QStringLiteral("am")); }

    NotifyRig rig;
    qint64 alarmId = 0; // an open alarm record of its database
    std::unique_ptr<Notifier> notifier;
    QString collector;
    QTimer tick;
};
} // namespace

class TestAlertmanager : public QObject {
    Q_OBJECT
private slots:
    void alarmIsOneActiveAlertWhileOpenAndResolvedAtItsEnd()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("prometheus-alertmanager")).isEmpty())
            QFAIL("prometheus-alertmanager is not installed (scripts/setup.sh installs it)");
        Alertmanager am;
        QVERIFY(am.waitUntilReady());
        // Two collectors watch the same devices for redundancy.
        Collector first(am.url(), QStringLiteral("north-pc"));
        Collector second(am.url(), QStringLiteral("south-pc"));
        first.notify(QStringLiteral("alarm"));
        second.notify(QStringLiteral("alarm"));
        QTRY_COMPARE_WITH_TIMEOUT(am.alerts().size(), 1, 5000);
        const QJsonObject alert = am.alerts().first().toObject();
        const QJsonObject labels = alert.value(QStringLiteral("labels")).toObject();
        QCOMPARE(labels.value(QStringLiteral("alertname")).toString(), QStringLiteral("TallyportAlarm"));
        QCOMPARE(labels.value(QStringLiteral("device")).toString(), QStringLiteral("Freezer 2"));
        QCOMPARE(labels.value(QStringLiteral("sensor")).toString(), QStringLiteral("Bob's freezer"));
        QCOMPARE(labels.value(QStringLiteral("address")).toString(), QStringLiteral("127.0.0.1"));
        QCOMPARE(labels.value(QStringLiteral("port")).toString(), QStringLiteral("0"));
        QCOMPARE(labels.value(QStringLiteral("site")).toString(), QStringLiteral("Bob's Lab"));
        QCOMPARE(labels.value(QStringLiteral("severity")).toString(), QStringLiteral("critical"));
        QVERIFY(!labels.contains(QStringLiteral("collector")));
        QVERIFY(!labels.contains(QStringLiteral("sensor_id")));
        QCOMPARE(alert.value(QStringLiteral("status")).toObject().value(QStringLiteral("state")).toString(),
                 QStringLiteral("active"));
        QVERIFY(alert.value(QStringLiteral("annotations"))
                    .toObject()
                    .value(QStringLiteral("description"))
                    .toString()
                    .contains(QStringLiteral("Too warm")));

        // Each post runs four re-post intervals ahead: well past that, the re-posts keep it active.
        Pause(6500);
        QCOMPARE(am.alerts().size(), 1);
        QTRY_COMPARE(first.openAlerts(), 1);

        // The first collector restarts and the second stops: the first's re-posts, taken up from
        // its open alarm record, keep the alert active on their own.
        first.restart();
        QTRY_COMPARE(first.openAlerts(), 1);
        second.notifier->Shutdown(0);
        Pause(6500);
        QCOMPARE(am.alerts().size(), 1);

        // Acknowledged: the next re-post says by whom (another alarm's acknowledgement changes
        // nothing); the escalation's messages of the alarm name the same alert, so it stays one.
        first.notifier->Acknowledged(
            {7, QStringLiteral("Freezer 2"), QStringLiteral("Bob's freezer"), "Ann"});
        first.notifier->Acknowledged(
            {8, QStringLiteral("Freezer 2"), QStringLiteral("Bob's freezer"), "Bob"});
        const auto acknowledgedBy = [&am] {
            const QJsonArray alerts = am.alerts();
            return alerts.size() != 1 ? QString("%1 alerts").arg(alerts.size())
                                      : alerts.first()
                                            .toObject()
                                            .value(QStringLiteral("annotations"))
                                            .toObject()
                                            .value(QStringLiteral("acknowledged_by"))
                                            .toString();
        };
        QTRY_COMPARE_WITH_TIMEOUT(acknowledgedBy(), QStringLiteral("Ann"), 5000);
        for (const char *kind : {"alarm-reminder", "alarm-escalation", "alarm-acknowledged"})
            first.notify(QString::fromLatin1(kind));
        QTRY_COMPARE(first.waiting(), 0);
        Pause(2500);
        QCOMPARE(acknowledgedBy(), QStringLiteral("Ann"));

        // The end resolves it; the re-posts stop.
        first.notify(QStringLiteral("alarm-end"));
        QTRY_COMPARE_WITH_TIMEOUT(am.alerts().size(), 0, 5000);
        QTRY_COMPARE(first.openAlerts(), 0);
        QTRY_COMPARE(first.waiting(), 0);
        QCOMPARE(first.failed(), 0);

        // A burst goes in few requests, each alert's states in the order they came: the alarm on
        // port 4 goes alone, then those queued meanwhile; port 5's end follows its start.
        first.notify(QStringLiteral("alarm"), 4);
        for (const int port : {5, 6, 7})
            first.notify(QStringLiteral("alarm"), port);
        first.notify(QStringLiteral("alarm-end"), 5);
        QTRY_COMPARE(first.waiting(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(am.alerts().size(), 3, 5000);
        QStringList open;
        for (const QJsonValue &a : am.alerts())
            open.append(a.toObject()
                            .value(QStringLiteral("labels"))
                            .toObject()
                            .value(QStringLiteral("port"))
                            .toString());
        open.sort();
        QCOMPARE(open, QStringList({QStringLiteral("4"), QStringLiteral("6"), QStringLiteral("7")}));
    }

    // Two collectors watch the same devices, entered in opposite orders, so that their databases
    // give a sensor different keys: an alarm is still one alert, named by the device's address
    // and the sensor's port. An alert an earlier version posted under the database's key is
    // ended at the first start after the upgrade, so that none stays twice.
    void collectorsMakeOneAlertWhateverTheirDatabasesCallTheSensor()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("prometheus-alertmanager")).isEmpty())
            QFAIL("prometheus-alertmanager is not installed (scripts/setup.sh installs it)");
        Alertmanager am;
        QVERIFY(am.waitUntilReady());
        FaultRig north(kRigOctet), south(kRigOctet);
        QString error;
        QVERIFY2(north.start(error) && south.start(error), qPrintable(error));
        QVERIFY(north.addFreezerAndCooler(QStringLiteral("Alpha")) &&
                north.addFreezerAndCooler(QStringLiteral("Bravo")));
        for (const QString name : {QStringLiteral("Bravo"), QStringLiteral("Alpha")})
            QVERIFY(south.addDeviceOf(north, name,
                                      {{0, name + QStringLiteral(" Freezer"), FaultRig::Temperature},
                                       {1, name + QStringLiteral(" Cooler"), FaultRig::Temperature}}));
        south.layOutGrid();
        QVERIFY(north.sensorId(QStringLiteral("Alpha"), 0) != south.sensorId(QStringLiteral("Alpha"), 0));
        NotifyChannelSettings channel =
            Channel(QStringLiteral("am"), QStringLiteral("alertmanager"), am.url());
        channel.repostSeconds = 1;
        // The alerts' times are judged by Alertmanager against its own clock.
        QTimer tick;
        for (FaultRig *rig : {&north, &south}) {
            rig->t.state.Ini.channels = {channel};
            rig->t.clock.set(QDateTime::currentDateTime());
            connect(&tick, &QTimer::timeout, this, [rig] { rig->t.clock.set(QDateTime::currentDateTime()); });
        }
        tick.start(50);
        const auto cycle = [&] {
            north.runCycle(0);
            south.runCycle(0);
        };
        north.device(QStringLiteral("Alpha"))->setAlarmByte(0, 1);
        cycle();
        QTRY_COMPARE_WITH_TIMEOUT(am.alerts().size(), 1, 5000);
        Pause(1500);
        QCOMPARE(am.alerts().size(), 1);
        const QJsonObject alert = am.alerts().first().toObject();
        const QJsonObject labels = alert.value(QStringLiteral("labels")).toObject();
        QCOMPARE(labels.value(QStringLiteral("device")).toString(), QStringLiteral("Alpha"));
        QCOMPARE(labels.value(QStringLiteral("sensor")).toString(), QStringLiteral("Alpha Freezer"));
        QCOMPARE(labels.value(QStringLiteral("address")).toString(),
                 north.device(QStringLiteral("Alpha"))->address().toString());
        QCOMPARE(labels.value(QStringLiteral("port")).toString(), QStringLiteral("0"));
        QCOMPARE(labels.value(QStringLiteral("site")).toString(), QStringLiteral("Test Org"));
        QVERIFY(!labels.contains(QStringLiteral("sensor_id")));
        const QString key = alert.value(QStringLiteral("annotations"))
                                .toObject()
                                .value(QStringLiteral("sensor_id"))
                                .toString();
        QVERIFY2(key == QString::number(north.sensorId(QStringLiteral("Alpha"), 0)) ||
                     key == QString::number(south.sensorId(QStringLiteral("Alpha"), 0)),
                 qPrintable(key));

        // South's alert as a version before the port posted it, and its stored message as that
        // version stored it.
        const QString delivered =
            QStringLiteral("SELECT IDNum FROM tblNotifyQueue WHERE Kind = 'alarm' AND State = 1");
        QTRY_VERIFY(south.value(delivered).isValid());
        const qint64 message = south.value(delivered).toLongLong();
        const qint64 southKey = south.sensorId(QStringLiteral("Alpha"), 0);
        QJsonObject stored =
            QJsonDocument::fromJson(
                south
                    .value(QStringLiteral("SELECT e.Payload FROM tblNotifyEvents e JOIN tblNotifyQueue q "
                                          "ON q.EventID = e.IDNum WHERE q.IDNum = %1")
                               .arg(message))
                    .toString()
                    .toUtf8())
                .object();
        QVERIFY(stored.contains(QStringLiteral("port")));
        stored.remove(QStringLiteral("port"));
        QSqlQuery update(south.reader());
        update.prepare(QStringLiteral("UPDATE tblNotifyQueue SET Payload = ? WHERE IDNum = ?"));
        update.addBindValue(QString::fromUtf8(QJsonDocument(stored).toJson(QJsonDocument::Compact)));
        update.addBindValue(message);
        QVERIFY(update.exec());
        south.closeReader();
        const QJsonObject oldLabels{{QStringLiteral("alertname"), QStringLiteral("TallyportAlarm")},
                                    {QStringLiteral("severity"), QStringLiteral("critical")},
                                    {QStringLiteral("device"), QStringLiteral("Alpha")},
                                    {QStringLiteral("sensor"), QStringLiteral("Alpha Freezer")},
                                    {QStringLiteral("sensor_id"), QString::number(southKey)},
                                    {QStringLiteral("site"), QStringLiteral("Test Org")}};
        QVERIFY(am.post(oldLabels));
        QTRY_COMPARE_WITH_TIMEOUT(am.alerts().size(), 2, 5000);

        // The upgraded south starts: the old alert ends; the one both post stays.
        south.restart(false);
        south.monitor->notifier.Resume();
        QTRY_COMPARE_WITH_TIMEOUT(am.alerts().size(), 1, 5000);
        QVERIFY(am.alerts()
                    .first()
                    .toObject()
                    .value(QStringLiteral("labels"))
                    .toObject()
                    .contains(QStringLiteral("port")));
        QTRY_VERIFY(
            south.value(QStringLiteral("SELECT Payload FROM tblNotifyQueue WHERE IDNum = %1").arg(message))
                .toString()
                .contains(QStringLiteral("\"port\":0")));

        north.device(QStringLiteral("Alpha"))->setAlarmByte(0, 0);
        cycle();
        QTRY_COMPARE_WITH_TIMEOUT(am.alerts().size(), 0, 5000);
    }
};

QTEST_GUILESS_MAIN(TestAlertmanager)
#include "tst_alertmanager.moc"
