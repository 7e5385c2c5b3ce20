#include "support_mail.h"

#include <alarms/AlarmTexts.h>
#include <alarms/DatabaseMailSource.h>
#include <alarms/MailMessage.h>

#include <core/DateTimeText.h>

#include <db/Database.h>
#include <db/SchemaFile.h>

#include <QTest>
#include <QTimer>

namespace {
const QString CR(QChar(13));
} // namespace

class TestMailManager : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY2(m_server.start(), qPrintable(m_server.errorOutput())); }

    void alarmEmailGoesToEveryDeviceAddress()
    {
        MailFixture f;
        f.useServer(m_server.port());
        f.devices.devices[7] = {QStringLiteral("Lab"), QStringLiteral("a@x.test\r\nb@y.test\r\n")};
        QString message;
        QVERIFY(AlarmMessageText(message, 15, QStringLiteral("Lab"), QStringLiteral("Freezer 2"),
                                 QStringLiteral("Temperature"), QStringLiteral("12.5"),
                                 QStringLiteral("\u00b0F"), QString()));
        const int before = int(m_server.messages().size());
        QString error;
        QVERIFY2(f.mail.SendAlarmEmail(7, QStringLiteral("Freezer 2"), message, error), qPrintable(error));
        QVERIFY(error.isEmpty());
        QVERIFY(m_server.waitForMessages(before + 1));

        const SmtpTestServer::Received got = m_server.messages().last();
        QCOMPARE(got.mailFrom, QStringLiteral("vkl@acme.test"));
        QCOMPARE(got.recipients, QStringList({"a@x.test", "b@y.test"}));
        QCOMPARE(got.header("From"), QByteArray("\"Quellmark VKL\" <vkl@acme.test>"));
        QCOMPARE(got.header("To"), QByteArray("a@x.test, b@y.test"));
        QCOMPARE(got.header("Subject"), QByteArray("Sensor: Freezer 2 has generated an alarm!"));
        QCOMPARE(got.header("Date"), MailEncoding::DateHeader(f.t.clock.now()));
        QVERIFY(got.header("Message-ID").endsWith("@acme.test>"));
        const QString body = "This email has been sent by: " + CR + "Acme Cold Storage" + CR +
                             "1 Harbour Road" + CR + CR +
                             "Freezer 2 connected to server Lab has generated an alarm!" + CR + CR + message;
        // The measuring-sensor text carries a degree sign: the body travels as UTF-8.
        QCOMPARE(got.header("Content-Transfer-Encoding"), QByteArray("quoted-printable"));
        QCOMPARE(DecodeQuotedPrintable(got.body()), OnTheWire(body));

        QVERIFY(f.sentLog().contains("| SENT | Alarm | smtp://127.0.0.1:"));
        QVERIFY(f.sentLog().contains("To: a@x.test, b@y.test"));
        QVERIFY(f.lastResult().contains("<Outcome>Sent</Outcome>"));
        QVERIFY(f.lastResult().contains("250 2.0.0 Ok: queued as TEST"));
    }

    void alarmEmailPreconditions()
    {
        MailFixture f;
        f.useServer(m_server.port());
        f.devices.devices[1] = {QStringLiteral("Lab"), QStringLiteral("not an address,")};
        const int before = int(m_server.messages().size());
        QString error;
        QVERIFY(!f.mail.SendAlarmEmail(1, QStringLiteral("Freezer"), QStringLiteral("x"), error));
        QVERIFY(error.contains(QLatin1String("not an address")));
        // A device that cannot be read is an error of its own, logged.
        QVERIFY(!f.mail.SendAlarmEmail(99, QStringLiteral("Freezer"), QStringLiteral("x"), error));
        QCOMPARE(error, QStringLiteral("Device 99 was not found."));
        QCOMPARE(f.t.errors.lines(), QStringList({"SendAlarmEmail|Device 99 was not found."}));
        QCOMPARE(m_server.messages().size(), before);
        QVERIFY(f.lastResult().isEmpty());
    }

    void alarmEmailReadsTheDeviceFromTheDatabase()
    {
        MailFixture f;
        f.useServer(m_server.port());
        const QString path = f.t.path(QStringLiteral("wexa.mdb"));
        QString error;
        QVERIFY2(CreateDatabaseFromSchema(QStringLiteral(TALLYPORT_SOURCE_DIR "/resources/schema.sql"), path,
                                          false, error),
                 qPrintable(error));
        Database db(f.t.state, path);
        QVERIFY(db.AddServer(QStringLiteral("Bob's freezer room"), QStringLiteral("RX700-8"),
                             QStringLiteral("10.0.0.9"), QString(), 1, QString(),
                             QStringLiteral("a@x.test\r\nb@y.test"), -1));
        QList<ServerRecord> rows;
        int count = 0;
        QVERIFY(db.RecordServers(rows, count) && count == 1);
        DatabaseMailSource source(db);
        f.mail.setDeviceSource(&source);

        const int before = int(m_server.messages().size());
        QVERIFY2(f.mail.SendAlarmEmail(int(rows.first().IDNum), QStringLiteral("Freezer"),
                                       QStringLiteral("x"), error),
                 qPrintable(error));
        QVERIFY(m_server.waitForMessages(before + 1));
        const SmtpTestServer::Received got = m_server.messages().last();
        QCOMPARE(got.recipients, QStringList({"a@x.test", "b@y.test"}));
        QVERIFY(
            got.body().contains("Freezer connected to server Bob's freezer room has generated an alarm!"));

        QVERIFY(!f.mail.SendAlarmEmail(int(rows.first().IDNum) + 1, QStringLiteral("Freezer"),
                                       QStringLiteral("x"), error));
        QVERIFY(!error.isEmpty());
        QVERIFY(f.t.errors.lines().last().startsWith(QLatin1String("SendAlarmEmail|")));
    }

    void administratorNotices_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QString>("line");
        QTest::newRow("text") << "text"
                              << "Message from Quellmark VKL-E"
                              << " The device: Lab, did not respond to 3 request(s) for data.";
        QTest::newRow("system OK") << "ok"
                                   << "Quellmark VKL-E is up and running!"
                                   << " Tallyport is up and running.";
        QTest::newRow("shutdown")
            << "shutdown"
            << "Quellmark VKL-E has been shutdown!"
            << " Tallyport has been shut down 3/14/2026 10:30:00 AM and is no longer logging data.";
    }
    void administratorNotices()
    {
        QFETCH(QString, kind);
        QFETCH(QString, subject);
        QFETCH(QString, line);
        MailFixture f;
        f.useServer(m_server.port());
        const int before = int(m_server.messages().size());
        QString error;
        if (kind == QLatin1String("text"))
            QVERIFY(f.mail.SendTextEmail(
                QStringLiteral("The device: Lab, did not respond to 3 request(s) for data"), error));
        else if (kind == QLatin1String("ok"))
            QVERIFY(f.mail.SendSytemOKEmail());
        else
            f.mail.SendShutdownEmail();
        QVERIFY(m_server.waitForMessages(before + 1));

        const SmtpTestServer::Received got = m_server.messages().last();
        QCOMPARE(got.recipients, QStringList({"it@acme.test"}));
        QCOMPARE(got.header("To"), QByteArray("\"IT Support Team\" <it@acme.test>"));
        QCOMPARE(got.header("From"), QByteArray("\"Quellmark VKL-E\" <vkl@acme.test>"));
        QCOMPARE(QString::fromUtf8(got.header("Subject")), subject);
        QCOMPARE(got.header("Content-Transfer-Encoding"), QByteArray("7bit"));
        QCOMPARE(got.body(), OnTheWire("This email has been sent by:" + CR + "Acme Cold Storage" + CR +
                                       "1 Harbour Road" + CR + CR + line + CR + CR));
        QVERIFY(f.lastResult().contains("<Outcome>Sent</Outcome>"));
        QVERIFY(f.t.errors.lines().isEmpty());
    }

    void blankFailureAddressSendsNothing()
    {
        MailFixture f;
        f.Config().AdminEmailAddress = QStringLiteral("   ");
        f.useServer(m_server.port());
        const int before = int(m_server.messages().size());
        QString error;
        QVERIFY(!f.mail.SendTextEmail(QStringLiteral("Anything"), error));
        QCOMPARE(error, QStringLiteral("Device failure email address has not been programmed."));
        QVERIFY(!f.mail.SendSytemOKEmail());
        f.mail.SendShutdownEmail();
        QVERIFY(!m_server.waitForMessages(before + 1, 300));
        QVERIFY(f.sentLog().isEmpty());
        QVERIFY(f.lastResult().isEmpty());
    }

    void testEmailKeepsThePreviousResultOnSuccess()
    {
        MailFixture f;
        f.useServer(m_server.port());
        QFile marker(f.t.state.programFile(QLatin1String(MailManager::LastResultName)));
        QVERIFY(marker.open(QIODevice::WriteOnly));
        marker.write("<previous/>");
        marker.close();

        const int before = int(m_server.messages().size());
        QString error;
        QVERIFY2(f.mail.SendTestEmail(QStringLiteral("tester@acme.test"), error), qPrintable(error));
        QVERIFY(m_server.waitForMessages(before + 1));
        const SmtpTestServer::Received got = m_server.messages().last();
        QCOMPARE(got.header("To"), QByteArray("\"Quellmark VKL-E Test Message\" <tester@acme.test>"));
        QCOMPARE(got.header("Subject"), QByteArray("Message from Quellmark VKL-E"));
        QCOMPARE(got.body(),
                 OnTheWire("This test email has been sent by Acme Cold Storage located at 1 Harbour "
                           "Road.  " +
                           CR));
        QCOMPARE(f.lastResult(), QByteArray("<previous/>"));
        QVERIFY(f.sentLog().contains("| SENT | Test |"));

        // A failed test replaces it, and says why.
        QVERIFY(!f.mail.SendTestEmail(QStringLiteral("refused@acme.test"), error));
        QVERIFY2(error.contains(QLatin1String("550 5.1.1")), qPrintable(error));
        QVERIFY(f.lastResult().contains("<Outcome>Failed</Outcome>"));
        QVERIFY(f.lastResult().contains("Recipient address rejected"));
        QVERIFY(f.sentLog().contains("| FAILED | Test |"));
        QCOMPARE(f.t.errors.lines().size(), 1);
        QVERIFY(f.t.errors.lines().first().startsWith(QLatin1String("SendTestEmail|")));
    }

    void failedNoticesAreLoggedUnderTheirOwnNames()
    {
        MailFixture f;
        f.Config().AdminEmailAddress = QStringLiteral("refused-it@acme.test");
        f.useServer(m_server.port());
        QString error;
        QVERIFY(!f.mail.SendTextEmail(QStringLiteral("Backup failed"), error));
        QVERIFY(error.contains(QLatin1String("550")));
        // The daily notice counts as attempted even when it failed.
        QVERIFY(f.mail.SendSytemOKEmail());
        f.mail.SendShutdownEmail();
        const QStringList lines = f.t.errors.lines();
        QCOMPARE(lines.size(), 2);
        QVERIFY(lines.at(0).startsWith(QLatin1String("SendTextEmail|")));
        QVERIFY(lines.at(1).startsWith(QLatin1String("SendSytemOKEmail|")));
        QCOMPARE(f.sentLog().count("| FAILED |"), 3);
    }

    void dataFromDevicesCannotBreakTheMessage()
    {
        MailFixture f;
        f.useServer(m_server.port());
        const QString sensor = QStringLiteral("K\u00fchlraum\r\nBcc: everyone@acme.test");
        f.devices.devices[2] = {QStringLiteral("Ost-Geb\u00e4ude"), QStringLiteral("a@x.test")};
        // Notes with lines that look like the end of the data or a stuffed dot.
        const QString notes = QStringLiteral(".\r\n..two dots\r\n.\r\nQUIT");
        QString message;
        AlarmMessageText(message, 3, QStringLiteral("Ost"), sensor, QStringLiteral("Temperature"),
                         QStringLiteral("5"), QString(), notes);
        const int before = int(m_server.messages().size());
        QString error;
        QVERIFY2(f.mail.SendAlarmEmail(2, sensor, message, error), qPrintable(error));
        QVERIFY(m_server.waitForMessages(before + 1));
        const SmtpTestServer::Received got = m_server.messages().last();
        QCOMPARE(got.recipients, QStringList({"a@x.test"}));
        for (const QByteArray &line : got.headers().split('\n'))
            QVERIFY2(!line.startsWith("Bcc"), got.headers().constData());
        QVERIFY(got.header("Subject").startsWith("=?UTF-8?B?"));
        QCOMPARE(got.header("Content-Transfer-Encoding"), QByteArray("quoted-printable"));
        QVERIFY(got.body().endsWith("Notes for K=C3=BChlraum\r\nBcc: everyone@acme.test:\r\n.\r\n..two "
                                    "dots\r\n.\r\nQUIT\r\n"));
    }

    void authenticationOffSendsWithoutAuth()
    {
        SmtpTestServer server({.user = QStringLiteral("bob"), .password = QStringLiteral("secret")});
        QVERIFY(server.start());
        MailFixture f;
        f.Config().AuthenticationRequired = 0;
        f.Config().AuthenticationMethod = QStringLiteral("LOGIN");
        f.Config().SMTPUserName = QStringLiteral("bob");
        f.Config().SMTPPassword = QStringLiteral("secret");
        f.useServer(server.port());
        QCOMPARE(f.mail.server().authMethod, QStringLiteral("NONE"));
        QString error;
        QVERIFY2(f.mail.SendTestEmail(QStringLiteral("t@acme.test"), error), qPrintable(error));
        QVERIFY(server.waitForMessages(1));
        QCOMPARE(server.messages().first().authMechanism, QString());
        QVERIFY(f.sentLog().contains("no authentication"));
    }

    void authenticationMethods_data()
    {
        QTest::addColumn<QString>("method");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("sent");
        QTest::newRow("LOGIN") << "LOGIN"
                               << "secret" << true;
        QTest::newRow("PLAIN, lower case setting") << "  plain "
                                                   << "secret" << true;
        QTest::newRow("CRAM-MD5") << "CRAM-MD5"
                                  << "secret" << true;
        QTest::newRow("LOGIN, wrong password") << "LOGIN"
                                               << "wrong" << false;
        QTest::newRow("PLAIN, wrong password") << "PLAIN"
                                               << "wrong" << false;
    }
    void authenticationMethods()
    {
        QFETCH(QString, method);
        QFETCH(QString, password);
        QFETCH(bool, sent);
        SmtpTestServer server({.user = QStringLiteral("bob@acme.test"),
                               .password = QStringLiteral("secret"),
                               .requireAuth = true});
        QVERIFY(server.start());
        MailFixture f;
        f.Config().AuthenticationRequired = 1;
        f.Config().AuthenticationMethod = method;
        f.Config().SMTPUserName = QStringLiteral("bob@acme.test");
        f.Config().SMTPPassword = password;
        f.useServer(server.port());
        QString error;
        QCOMPARE(f.mail.SendTestEmail(QStringLiteral("t@acme.test"), error), sent);
        if (sent) {
            QVERIFY(server.waitForMessages(1));
            QCOMPARE(server.messages().first().authMechanism, method.trimmed().toUpper());
            QCOMPARE(server.messages().first().login, QStringLiteral("bob@acme.test"));
        } else {
            QVERIFY2(error.contains(QLatin1String("535 5.7.8 Authentication credentials invalid")),
                     qPrintable(error));
            QVERIFY(!f.lastResult().contains("wrong"));
            QVERIFY(!f.sentLog().contains("wrong"));
        }
    }

    void serverRequiringAuthRefusesAnonymousMail()
    {
        SmtpTestServer server(
            {.user = QStringLiteral("bob"), .password = QStringLiteral("secret"), .requireAuth = true});
        QVERIFY(server.start());
        MailFixture f;
        f.useServer(server.port());
        QString error;
        QVERIFY(!f.mail.SendTextEmail(QStringLiteral("x"), error));
        QVERIFY2(error.contains(QLatin1String("530")), qPrintable(error));
    }

    void shutdownDuringASendDeliversBoth()
    {
        MailFixture f;
        f.useServer(m_server.port());
        const int before = int(m_server.messages().size());
        // The close handler runs inside the wait of a mail in flight: it clears the flag and sends
        // the shutdown notice. Neither mail is cut short.
        bool closed = false;
        QTimer::singleShot(0, &f.t.state, [&] {
            f.t.state.setMonitoringActive(false);
            f.mail.SendShutdownEmail();
            closed = true;
        });
        QString error;
        QVERIFY2(f.mail.SendTestEmail(QStringLiteral("t@acme.test"), error), qPrintable(error));
        QVERIFY(closed);
        QVERIFY(m_server.waitForMessages(before + 2));
        QStringList subjects;
        for (const SmtpTestServer::Received &got : m_server.messages().mid(before))
            subjects.append(QString::fromUtf8(got.header("Subject")));
        subjects.sort();
        QCOMPARE(subjects,
                 QStringList({"Message from Quellmark VKL-E", "Quellmark VKL-E has been shutdown!"}));
    }

private:
    SmtpTestServer m_server{{.rejectPrefix = QStringLiteral("refused")}};
};

QTEST_GUILESS_MAIN(TestMailManager)
#include "tst_mailmanager.moc"
