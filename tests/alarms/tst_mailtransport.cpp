#include "support_mail.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

namespace {
// A loopback port with nothing listening on it.
quint16 ClosedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}
} // namespace

class TestMailTransport : public QObject {
    Q_OBJECT
private slots:
    void unreachableServerFailsInTimeWhileTheWindowRuns_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("errorPart");
        QTest::newRow("down") << "down"
                              << "127.0.0.1";
        QTest::newRow("refuses") << "refuse"
                                 << "554 5.3.2 Test server is not accepting mail";
        QTest::newRow("never answers") << "silent"
                                       << "did not complete the exchange within 2 seconds";
    }
    void unreachableServerFailsInTimeWhileTheWindowRuns()
    {
        QFETCH(QString, server);
        QFETCH(QString, errorPart);
        SmtpTestServer smtp({.mode = server == QLatin1String("silent") ? SmtpTestServer::Mode::Silent
                                                                       : SmtpTestServer::Mode::Refuse});
        quint16 port = ClosedPort();
        if (server != QLatin1String("down")) {
            QVERIFY(smtp.start());
            port = smtp.port();
        }
        MailFixture f;
        f.Config().SMTPTimeOut = 2;
        f.useServer(port);

        // A zero-time timer stands in for the window's painting: it must keep firing.
        int ticks = 0;
        QTimer paint;
        paint.setInterval(0);
        QObject::connect(&paint, &QTimer::timeout, [&] { ++ticks; });
        paint.start();
        QElapsedTimer clock;
        clock.start();
        QString error;
        QVERIFY(!f.mail.SendTestEmail(QStringLiteral("t@acme.test"), error));
        const qint64 elapsed = clock.elapsed();
        paint.stop();

        QVERIFY2(error.contains(errorPart), qPrintable(error));
        QVERIFY2(elapsed < 4000, qPrintable(QString::number(elapsed)));
        if (server == QLatin1String("silent")) {
            QVERIFY2(elapsed >= 1900, qPrintable(QString::number(elapsed)));
            QVERIFY2(ticks > 100, qPrintable(QString::number(ticks)));
        }
        QCOMPARE(f.t.errors.lines(), QStringList({"SendTestEmail|" + error}));
        QVERIFY(f.lastResult().contains("<Outcome>Failed</Outcome>"));
        QVERIFY(f.sentLog().contains("| FAILED | Test |"));
    }

    void missingSettingsGiveReadableErrors()
    {
        MailFixture f;
        f.Config().SMTPHost = QString();
        f.mail.SetUpMailManager();
        QString error;
        QVERIFY(!f.mail.SendTestEmail(QStringLiteral("t@acme.test"), error));
        QCOMPARE(error, QStringLiteral("No SMTP server has been programmed."));

        f.Config().SMTPHost = QStringLiteral("127.0.0.1");
        f.Config().FromAddress = QString();
        f.useServer(ClosedPort());
        QVERIFY(!f.mail.SendTestEmail(QStringLiteral("t@acme.test"), error));
        QCOMPARE(error, QStringLiteral("The sender e-mail address has not been programmed."));
        QVERIFY(!f.mail.SendTestEmail(QStringLiteral("no address"), error));
        QCOMPARE(error, QStringLiteral("\"no address\" is not a valid e-mail address."));
    }

    void settingsAreReadAsStored()
    {
        MailFixture f;
        f.Config().SMTPHost = QStringLiteral("  mail.acme.test  ");
        f.Config().SMTPPort = 0;
        f.Config().SMTPTimeOut = 0;
        f.Config().UseSSL = 1;
        f.Config().AuthenticationRequired = 1;
        f.Config().AuthenticationMethod = QString();
        f.Config().SMTPUserName = QStringLiteral(" bob ");
        f.Config().LoginDomain = QStringLiteral("ACME");
        f.mail.SetUpMailManager();
        const SmtpServer &s = f.mail.server();
        QCOMPARE(s.url(), QStringLiteral("smtps://mail.acme.test:465"));
        QCOMPARE(s.timeoutSeconds, 60);
        // A record saved before any method was chosen uses what the settings window shows.
        QCOMPARE(s.authMethod, QStringLiteral("LOGIN"));
        QCOMPARE(s.userName, QStringLiteral("bob"));
        QCOMPARE(s.loginDomain, QStringLiteral("ACME"));
    }

    void tlsConnections_data()
    {
        QTest::addColumn<bool>("implicitTls");
        QTest::addColumn<bool>("trustCertificate");
        QTest::addColumn<bool>("sent");
        QTest::newRow("STARTTLS offered, private certificate") << false << false << true;
        QTest::newRow("SSL/TLS, trusted certificate") << true << true << true;
        QTest::newRow("SSL/TLS, untrusted certificate") << true << false << false;
    }
    void tlsConnections()
    {
        QFETCH(bool, implicitTls);
        QFETCH(bool, trustCertificate);
        QFETCH(bool, sent);
        SmtpTestServer server(
            {.user = QStringLiteral("bob"),
             .password = QStringLiteral("secret"),
             .requireAuth = true,
             .tls = implicitTls ? SmtpTestServer::Tls::Implicit : SmtpTestServer::Tls::StartTls});
        QVERIFY2(server.start(), qPrintable(server.errorOutput()));
        MailFixture f;
        f.Config().UseSSL = implicitTls ? 1 : 0;
        f.Config().AuthenticationRequired = 1;
        f.Config().AuthenticationMethod = QStringLiteral("PLAIN");
        f.Config().SMTPUserName = QStringLiteral("bob");
        f.Config().SMTPPassword = QStringLiteral("secret");
        if (trustCertificate)
            f.mail.setCertificateAuthorityFile(server.certificateFile());
        f.useServer(server.port());
        QString error;
        QCOMPARE(f.mail.SendTestEmail(QStringLiteral("t@acme.test"), error), sent);
        if (sent) {
            QVERIFY(server.waitForMessages(1));
            QVERIFY(server.messages().first().tls);
            QCOMPARE(server.messages().first().authMechanism, QStringLiteral("PLAIN"));
        } else {
            QVERIFY2(error.contains(QLatin1String("certificate"), Qt::CaseInsensitive), qPrintable(error));
        }
    }
};

QTEST_GUILESS_MAIN(TestMailTransport)
#include "tst_mailtransport.moc"
