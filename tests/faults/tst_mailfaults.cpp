// A mail server that is down, too slow, refusing or breaking off: every e-mail the cycle queues
// fails, the failure is kept where the e-mail's record is, and polling and filing go on. Once
// the server is back the messages go out, except those refused for good.
#include "support_rig.h"

#include <alarms/AlarmEvaluation.h>
#include <alarms/Outbox.h>

#include <QTcpServer>
#include <QTest>

Q_DECLARE_METATYPE(SmtpTestServer::Mode)

namespace {
const QString kAlarmMailError = QStringLiteral("There was an error sending an alarm email ");

// A loopback port on which nothing listens.
quint16 ClosedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}
} // namespace

class TestMailFaults : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        m_rig = std::make_unique<FaultRig>(61);
        QString error;
        QVERIFY2(m_rig->start(error), qPrintable(error));
        m_alpha = m_rig->addDevice("Alpha", {{0, "Alpha Freezer", FaultRig::Temperature}});
        m_bravo = m_rig->addDevice("Bravo", {{0, "Bravo Freezer", FaultRig::Temperature}});
        QVERIFY(m_alpha && m_bravo);
        m_rig->layOutGrid();
        m_bravoFreezer = m_rig->sensorId("Bravo", 0);
        // A backup directory that is not there: its episode sends a notice too.
        m_rig->t.state.Config.LogDirectory = m_rig->t.path("unplugged");
        m_rig->saveSettings();
    }
    void cleanup() { m_rig.reset(); }

    void everyNoticeFailsAndIsRecorded_data()
    {
        QTest::addColumn<int>("mode"); // -1: nothing listens
        QTest::addColumn<QString>("rejectPrefix");
        QTest::addColumn<QString>("errorContains");
        QTest::newRow("server down") << -1 << ""
                                     << "connect";
        QTest::newRow("silent past its time-out") << int(SmtpTestServer::Mode::Silent) << ""
                                                  << "within 1 seconds";
        QTest::newRow("refuses at the greeting") << int(SmtpTestServer::Mode::Refuse) << ""
                                                 << "554";
        QTest::newRow("rejects the recipients") << int(SmtpTestServer::Mode::Smtp) << "a"
                                                << "550";
        QTest::newRow("drops the connection mid-message") << int(SmtpTestServer::Mode::Drop) << ""
                                                          << "";
    }
    void everyNoticeFailsAndIsRecorded()
    {
        QFETCH(int, mode);
        QFETCH(QString, rejectPrefix);
        QFETCH(QString, errorContains);
        SmtpTestServer::Options options;
        options.mode = SmtpTestServer::Mode(qMax(0, mode));
        options.rejectPrefix = rejectPrefix;
        SmtpTestServer faulty(options);
        if (mode >= 0)
            QVERIFY2(faulty.start(), qPrintable(faulty.errorOutput()));
        m_rig->t.state.Config.SMTPTimeOut = 1;
        m_rig->useMailPort(mode >= 0 ? faulty.port() : ClosedPort());

        m_alpha->setFault(SimFault::Silent);
        m_bravo->setAlarmByte(0, 1);
        m_rig->runCycle(); // the alarm e-mail and the backup notice fail; Alpha's episode opens
        m_rig->runCycle(); // Alpha's notice fails

        const QString alarmSent = m_rig
                                      ->value("SELECT EmailSent FROM tblAlarms WHERE SensorIDNum = " +
                                              QString::number(m_bravoFreezer))
                                      .toString();
        checkFailureText(alarmSent, kAlarmMailError, errorContains);
        QVERIFY(m_rig->value("SELECT CauseOfAlarm FROM tblAlarms").toString().contains("Bravo Freezer"));
        QVERIFY2(m_rig->t.status.contains(AlarmEvaluation::MailErrorKey),
                 qPrintable(m_rig->t.status.lines().join('\n')));
        checkFailureText(m_rig->value("SELECT EmailSent FROM tblLogFileBackup").toString(), kAlarmMailError,
                         errorContains);
        const QString noticeSent = m_rig->value("SELECT EmailSent FROM tblServerFailures").toString();
        QVERIFY2(noticeSent != "False" && !ParseDateTimeText(noticeSent).isValid(), qPrintable(noticeSent));
        QVERIFY2(noticeSent.contains(errorContains, Qt::CaseInsensitive), qPrintable(noticeSent));
        // The two notices to the administrator each logged their failure.
        QCOMPARE(m_rig->errorLines("SendTextEmail|").size(), 2);
        QCOMPARE(m_rig->count("tblAlarms"), 1);
        QCOMPARE(m_rig->count("tblServerFailures"), 1);
        QCOMPARE(m_rig->count("tblLogFileBackup"), 1);
        QCOMPARE(m_rig->readingsFiled(m_bravoFreezer), 2);
        QVERIFY(m_rig->statusShows(OutcomeLine(*m_rig, "Bravo", ": OK")));

        // The mail server is back. A message refused for good (5xx to every recipient) is not
        // tried again; the others go out at their next attempt, once each, and their records
        // say when.
        const bool refusedForGood = !rejectPrefix.isEmpty();
        m_rig->useMailPort(m_rig->smtp.port());
        m_bravo->setAlarmByte(0, 0);
        m_rig->runCycle();
        m_bravo->setAlarmByte(0, 1);
        m_rig->runCycle();
        m_rig->runCycle(m_rig->t.state.Ini.mail.retryMaxSeconds);
        QCOMPARE(m_rig->count("tblAlarms"), 2);
        const QString secondSent =
            m_rig->value("SELECT EmailSent FROM tblAlarms ORDER BY IDNum DESC LIMIT 1").toString();
        QVERIFY2(ParseDateTimeText(secondSent).isValid(), qPrintable(secondSent));
        QVERIFY(!m_rig->t.status.contains(AlarmEvaluation::MailErrorKey));
        QVERIFY(!m_rig->t.status.contains(Outbox::WaitingKey));
        QCOMPARE(m_rig->mailsWith("Bravo Freezer has generated"), refusedForGood ? 1 : 2);
        QCOMPARE(m_rig->mailsWith("The device: Alpha,"), refusedForGood ? 0 : 1);
        QCOMPARE(m_rig->mailsWith("There was an error writing data log files"), refusedForGood ? 0 : 1);
        QCOMPARE(m_rig->count("tblOutbox"), 0);
        const QStringList records = {
            m_rig->value("SELECT EmailSent FROM tblAlarms ORDER BY IDNum LIMIT 1").toString(),
            m_rig->value("SELECT EmailSent FROM tblServerFailures").toString(),
            m_rig->value("SELECT EmailSent FROM tblLogFileBackup").toString()};
        for (const QString &record : records) {
            if (refusedForGood)
                QVERIFY2(record.contains("no further attempt is made"), qPrintable(record));
            else
                QVERIFY2(ParseDateTimeText(record).isValid(), qPrintable(record));
        }
        QCOMPARE(m_rig->readingsFiled(m_bravoFreezer), 5);
    }

private:
    static void checkFailureText(const QString &text, const QString &prefix, const QString &contains)
    {
        QVERIFY2(text.startsWith(prefix), qPrintable(text));
        const QString marker = QStringLiteral("The email error is:") + QChar(13);
        const qsizetype at = text.indexOf(marker);
        QVERIFY2(at > 0, qPrintable(text));
        const QString error = text.mid(at + marker.size());
        QVERIFY2(!error.trimmed().isEmpty(), qPrintable(text));
        QVERIFY2(error.contains(contains, Qt::CaseInsensitive), qPrintable(text));
    }

    std::unique_ptr<FaultRig> m_rig;
    SimDevice *m_alpha = nullptr;
    SimDevice *m_bravo = nullptr;
    qint64 m_bravoFreezer = 0;
};

QTEST_GUILESS_MAIN(TestMailFaults)
#include "tst_mailfaults.moc"
