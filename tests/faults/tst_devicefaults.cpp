// Devices that misbehave while another, healthy device is polled in the same cycles: the healthy
// one keeps its readings and alarms, the broken one gets exactly the records its failure calls for.
#include "support_rig.h"
#include <core/IniSettings.h>

#include <QRandomGenerator>
#include <QTest>

#include <functional>

Q_DECLARE_METATYPE(SimFault)

namespace {
const QString kOk = QStringLiteral(": OK");
const QString kFailed = QStringLiteral(": FAILED");
const QString kBusy = QStringLiteral(": Is busy");

using Tweak = std::function<void(SimFaultOptions &)>;
} // namespace
Q_DECLARE_METATYPE(Tweak)

class TestDeviceFaults : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        m_rig = std::make_unique<FaultRig>(60);
        QString error;
        QVERIFY2(m_rig->start(error), qPrintable(error));
        m_alpha = m_rig->addDevice(
            "Alpha", {{0, "Alpha Freezer", FaultRig::Temperature}, {8, "Alpha Door", FaultRig::Door}});
        m_bravo = m_rig->addDevice("Bravo", {{0, "Bravo Freezer", FaultRig::Temperature}});
        QVERIFY(m_alpha && m_bravo);
        m_rig->layOutGrid();
        m_alphaFreezer = m_rig->sensorId("Alpha", 0);
        m_bravoFreezer = m_rig->sensorId("Bravo", 0);
    }
    void cleanup() { m_rig.reset(); }

    void misbehavingDevice_data()
    {
        QTest::addColumn<SimFault>("fault");
        QTest::addColumn<Tweak>("tweak");
        QTest::addColumn<QString>("outcome");
        const Tweak none = [](SimFaultOptions &) {};
        QTest::newRow("reset mid-reply") << SimFault::ResetMidReply << none << kFailed;
        QTest::newRow("dribble past the time-out")
            << SimFault::Dribble << Tweak([](SimFaultOptions &o) { o.dribbleIntervalMs = 20; }) << kFailed;
        QTest::newRow("dribble in time")
            << SimFault::Dribble << Tweak([](SimFaultOptions &o) { o.dribbleIntervalMs = 1; }) << kOk;
        QTest::newRow("slow past the time-out")
            << SimFault::Slow << Tweak([](SimFaultOptions &o) { o.slowDelayMs = 900; }) << kFailed;
        QTest::newRow("overlong reply") << SimFault::OverlongReply << none << kOk;
        QTest::newRow("flood of a megabyte")
            << SimFault::OverlongReply << Tweak([](SimFaultOptions &o) { o.overlongLength = 1 << 20; })
            << kOk;
        QTest::newRow("garbage") << SimFault::Garbage << none << kFailed;
        QTest::newRow("error text") << SimFault::ErrorText << none << kFailed;
        QTest::newRow("wrong echo") << SimFault::WrongEcho << none << kFailed;
        QTest::newRow("short reply") << SimFault::ShortReply << none << kFailed;
        QTest::newRow("silent") << SimFault::Silent << none << kFailed;
        QTest::newRow("refused") << SimFault::Refused << none << kFailed;
        QTest::newRow("busy") << SimFault::Busy << none << kBusy;
    }
    // Alpha has an open alarm when its fault starts; Bravo goes into alarm during the fault.
    void misbehavingDevice()
    {
        QFETCH(SimFault, fault);
        QFETCH(Tweak, tweak);
        QFETCH(QString, outcome);
        // A notification channel (its receiver down) takes the alarms, the failure and the
        // recovery.
        NotifyChannelSettings hook;
        hook.name = QStringLiteral("hook");
        hook.type = QStringLiteral("webhook");
        hook.url = QStringLiteral("http://127.0.150.250:9/");
        hook.events = QStringLiteral("alarm,device-failure,device-recovered");
        m_rig->t.state.Ini.channels = {hook};
        m_alpha->setAlarmByte(0, 1);
        m_rig->runCycle();
        QCOMPARE(m_rig->count("tblAlarms", openAlarmOf(m_alphaFreezer)), 1);

        tweak(m_alpha->faultOptions());
        m_alpha->setFault(fault);
        m_bravo->setAlarmByte(0, 1);
        for (int cycle = 0; cycle < 3; ++cycle) {
            m_rig->runCycle();
            QVERIFY2(m_rig->statusShows(OutcomeLine(*m_rig, "Alpha", outcome)),
                     qPrintable(m_rig->t.status.lines().join('\n')));
            QVERIFY(m_rig->statusShows(OutcomeLine(*m_rig, "Bravo", kOk)));
        }
        const bool failed = outcome == kFailed;
        // One episode, its notice sent at the second failed poll; busy and answered polls none.
        QCOMPARE(m_rig->count("tblServerFailures"), failed ? 1 : 0);
        QCOMPARE(m_rig->count("tblServerFailures", "BackOnLine = 'False' AND EmailSent <> 'False'"),
                 failed ? 1 : 0);
        // Alpha's alarm stays open through the outage; no second record.
        QCOMPARE(m_rig->count("tblAlarms", "SensorIDNum = " + QString::number(m_alphaFreezer)), 1);
        QCOMPARE(m_rig->count("tblAlarms", openAlarmOf(m_alphaFreezer)), 1);
        checkHealthy(m_bravoFreezer, 4, "Bravo Freezer");
        QCOMPARE(m_rig->readingsFiled(m_alphaFreezer), outcome == kOk ? 4 : 1);

        m_alpha->clearFault();
        m_rig->runCycle();
        QVERIFY(m_rig->statusShows(OutcomeLine(*m_rig, "Alpha", kOk)));
        QCOMPARE(m_rig->count("tblServerFailures", "BackOnLine = 'False'"), 0);
        QCOMPARE(m_rig->readingsFiled(m_alphaFreezer), outcome == kOk ? 5 : 2);
        QCOMPARE(m_rig->tornFiles(), QStringList());
        QCOMPARE(m_rig->mailsWith("Alpha Freezer has generated"), 1);
        QCOMPARE(m_rig->mailsWith("The device: Alpha,"), failed ? 1 : 0);
        // The announced episode's failure and recovery, each an event of its episode's record.
        const QString ofEpisode = QStringLiteral(" AND RecordTable = 'tblServerFailures' AND RecordID = 1");
        QCOMPARE(m_rig->count("tblNotifyEvents", "Kind = 'device-failure'" + ofEpisode), failed ? 1 : 0);
        QCOMPARE(m_rig->count("tblNotifyEvents", "Kind = 'device-recovered'" + ofEpisode), failed ? 1 : 0);
        QCOMPARE(m_rig->count("tblNotifyEvents"), failed ? 4 : 2);
        // Each alarm's event names the address its device was polled at.
        QCOMPARE(m_rig->count("tblNotifyEvents e JOIN tblServers s ON e.Kind = 'alarm' AND "
                              "instr(e.Payload, '\"address\":\"' || s.ServerIPAddress || '\"') > 0"),
                 2);
    }

    void deviceDiesDuringTheCycle_data()
    {
        QTest::addColumn<QString>("dies");
        QTest::addColumn<QString>("healthy");
        // Alpha answers the identify command and is gone before the readings command.
        QTest::newRow("between its two commands") << "Alpha"
                                                  << "Bravo";
        // Bravo, polled after Alpha, goes away while Alpha is being polled.
        QTest::newRow("while the device before it is polled") << "Bravo"
                                                              << "Alpha";
    }
    void deviceDiesDuringTheCycle()
    {
        QFETCH(QString, dies);
        QFETCH(QString, healthy);
        SimDevice *dying = m_rig->device(dies);
        const qint64 healthySensor = m_rig->sensorId(healthy, 0);
        m_rig->device(healthy)->setAlarmByte(0, 1);
        dying->setAlarmByte(0, 1);
        m_rig->runCycle();

        // The first reply Alpha sends in the next cycle ends the dying device.
        connect(
            m_alpha, &SimDevice::replySent, dying, [dying] { dying->stop(); }, Qt::SingleShotConnection);
        m_rig->runCycle();
        QVERIFY(m_rig->statusShows(OutcomeLine(*m_rig, dies, kFailed)));
        QVERIFY(m_rig->statusShows(OutcomeLine(*m_rig, healthy, kOk)));
        m_rig->runCycle();
        QCOMPARE(m_rig->count("tblServerFailures", "BackOnLine = 'False' AND EmailSent <> 'False'"), 1);
        checkHealthy(healthySensor, 3, healthy + " Freezer");

        QVERIFY(dying->start());
        m_rig->runCycle();
        QVERIFY(m_rig->statusShows(OutcomeLine(*m_rig, dies, kOk)));
        QCOMPARE(m_rig->count("tblServerFailures", "BackOnLine <> 'False'"), 1);
        // The dying device's alarm lasted through its absence as one record.
        const qint64 dyingSensor = m_rig->sensorId(dies, 0);
        QCOMPARE(m_rig->count("tblAlarms", "SensorIDNum = " + QString::number(dyingSensor)), 1);
        QCOMPARE(m_rig->count("tblAlarms", openAlarmOf(dyingSensor)), 1);
        QCOMPARE(m_rig->readingsFiled(dyingSensor), 2);
    }

    // A device on the telephone now and then: it is busy for those cycles, never failed, and its
    // alarm opens once however its answers are spread.
    void busyAtRandom()
    {
        QRandomGenerator random(20260314);
        m_alpha->setAlarmByte(0, 1);
        m_bravo->setAlarmByte(0, 1);
        int answered = 0;
        const int cycles = 12;
        for (int cycle = 0; cycle < cycles; ++cycle) {
            const bool busy = random.bounded(2) == 1;
            if (busy)
                m_alpha->setFault(SimFault::Busy, 1);
            m_rig->runCycle();
            QVERIFY(m_rig->statusShows(OutcomeLine(*m_rig, "Alpha", busy ? kBusy : kOk)));
            answered += busy ? 0 : 1;
        }
        QVERIFY(answered > 0 && answered < cycles);
        QCOMPARE(m_rig->count("tblServerFailures"), 0);
        QCOMPARE(m_rig->readingsFiled(m_alphaFreezer), answered);
        QCOMPARE(m_rig->count("tblAlarms", "SensorIDNum = " + QString::number(m_alphaFreezer)), 1);
        checkHealthy(m_bravoFreezer, cycles, "Bravo Freezer");
    }

private:
    static QString openAlarmOf(qint64 sensorId)
    {
        return QStringLiteral("SensorIDNum = %1 AND AlarmEnd IS NULL AND AlarmActive <> 0").arg(sensorId);
    }

    // The healthy device filed every reading, and its alarm has one record and one e-mail.
    void checkHealthy(qint64 sensorId, int readings, const QString &sensorName)
    {
        QCOMPARE(m_rig->readingsFiled(sensorId), readings);
        QCOMPARE(m_rig->count("tblAlarms", "SensorIDNum = " + QString::number(sensorId)), 1);
        QCOMPARE(m_rig->count("tblAlarms", openAlarmOf(sensorId)), 1);
        QCOMPARE(m_rig->mailsWith((sensorName + " has generated").toUtf8()), 1);
        const QString emailSent =
            m_rig->value("SELECT EmailSent FROM tblAlarms WHERE SensorIDNum = " + QString::number(sensorId))
                .toString();
        QVERIFY2(ParseDateTimeText(emailSent).isValid(), qPrintable(emailSent));
    }

    std::unique_ptr<FaultRig> m_rig;
    SimDevice *m_alpha = nullptr;
    SimDevice *m_bravo = nullptr;
    qint64 m_alphaFreezer = 0;
    qint64 m_bravoFreezer = 0;
};

QTEST_GUILESS_MAIN(TestDeviceFaults)
#include "tst_devicefaults.moc"
