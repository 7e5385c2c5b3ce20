#include "support_webrig.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <cstdio>

namespace {
const QByteArray kToken = QByteArrayLiteral("k3y-Of-Sixteen+Chars/x");
// Clients of these tests connect from here.
const QString kClient = QStringLiteral("127.0.160.1");
const QByteArray kHealthRequest =
    QByteArrayLiteral("GET /healthz HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");

QList<QPair<QByteArray, QByteArray>> bearer(const QByteArray &token)
{
    return {{"Authorization", "Bearer " + token}};
}

// Bytes a client has flushed lie in the server's receive queue, but the server reads them only
// in a later turn of its event loop; a connection taken before that looks idle. Turns of the loop
// let it read them, so a test that asserts which connection gives its place up does not race.
void LetTheServerReadWhatWasSent()
{
    QTest::qWait(200);
}

QString dataFile(const char *name)
{
    return QString(TALLYPORT_SOURCE_DIR) + "/tests/web/data/" + name;
}
} // namespace

// What keeps the server safe: the token, the addresses it refuses, HTTPS, and requests it
// answers with 4xx without letting them cost memory, sockets or error-log lines.
class TestWebSecurity : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        m_rig = std::make_unique<WebRig>(121);
        QString error;
        QVERIFY2(m_rig->start(error), qPrintable(error));
    }
    void cleanup() { m_rig.reset(); }

    void tokenIsRequiredOnEveryEndpoint()
    {
        WebIniSettings settings = m_rig->localSettings();
        settings.token = QString::fromLatin1(kToken);
        QString reason;
        QVERIFY2(m_rig->startWeb(settings, reason), qPrintable(reason));
        for (const char *path : {"/", "/api/v1/status", "/api/v1/alarms", "/metrics", "/healthz", "/nothing",
                                 "/sensor/1", "/api/v1/sensors/1/history"}) {
            const HttpResult none = m_rig->get(path);
            QCOMPARE(none.status, 401);
            QCOMPARE(none.headers.value("www-authenticate"), QByteArray("Bearer realm=\"Tallyport\""));
            QCOMPARE(m_rig->get(path, bearer(kToken + "x")).status, 401);
            QCOMPARE(m_rig->get(path, bearer(kToken.left(kToken.size() - 1))).status, 401);
            QCOMPARE(m_rig->get(path, {{"Authorization", "Basic " + kToken}}).status, 401);
            // No sensor 1 in this run.
            const int expected = QByteArray(path) == "/nothing" || QByteArray(path).contains("sensor") ? 404
                                 : QByteArray(path) == "/healthz"                                      ? 503
                                                                                                       : 200;
            QCOMPARE(m_rig->get(path, bearer(kToken)).status, expected);
        }
        QCOMPARE(m_rig->get("/", {{"authorization", "bearer " + kToken}}).status, 200);
        // The page alone may carry the token in its address (it reloads itself with it).
        const QString query =
            "?token=" + QString::fromLatin1(QUrl::toPercentEncoding(QString::fromLatin1(kToken)));
        QCOMPARE(m_rig->get("/" + query).status, 200);
        QCOMPARE(m_rig->get("/?token=wrong-token-of-length").status, 401);
        QCOMPARE(m_rig->get("/metrics" + query).status, 401);
        QCOMPARE(m_rig->get("/api/v1/status" + query).status, 401);
        QCOMPARE(m_rig->get("/api/v1/sensors/1/history" + query).status, 401);

        // A sensor's page opened with the token keeps it on every link: the other spans, its
        // alarm's page, the status page.
        QVERIFY(
            m_rig->f.addDevice("Kitchen", 5, 5, 25, {{0, "Walk-in Freezer", "Temperature Sensor Port 1"}}));
        const qint64 sensor = m_rig->f.sensorId("Kitchen", 0);
        AlarmRecord open;
        open.SensorIDNum = sensor;
        open.AlarmStart = m_rig->f.t.clock.now().addSecs(-600);
        open.AlarmActive = true;
        open.CurrentData = "50%1 <b>"; // neither a place to fill nor markup
        QVERIFY(m_rig->f.monitor->database.RecordAlarm(open));
        m_rig->web->Refresh();
        const QString page = QString("/sensor/%1").arg(sensor);
        QCOMPARE(m_rig->get(page).status, 401);
        QCOMPARE(m_rig->get(page + "?token=wrong-token-of-length").status, 401);
        const HttpResult withToken = m_rig->get(page + query);
        QCOMPARE(withToken.status, 200);
        const QRegularExpression link("href=\"([^\"]*)\"");
        int links = 0;
        for (auto m = link.globalMatch(QString::fromUtf8(withToken.body)); m.hasNext(); ++links) {
            const QString target = m.next().captured(1);
            QVERIFY2(target.endsWith(query.mid(1)), qPrintable(target));
        }
        QCOMPARE(links, 3 + 1 + 1); // three other spans, the alarm, the status page
        QVERIFY(withToken.body.contains("<td>50%1 &lt;b&gt;</td>"));
        QVERIFY(
            withToken.body.contains(QString("href=\"../alarm/%1?token=")
                                        .arg(m_rig->f.value("SELECT MAX(IDNum) FROM tblAlarms").toLongLong())
                                        .toUtf8()));
    }

    void unsafeSettingsDoNotStart_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("token");
        QTest::addColumn<QString>("certificate");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("reason");
        QTest::newRow("all addresses, no token") << "0.0.0.0"
                                                 << ""
                                                 << ""
                                                 << ""
                                                 << "needs a token";
        QTest::newRow("LAN address, no token") << "192.168.1.20"
                                               << ""
                                               << ""
                                               << ""
                                               << "needs a token";
        QTest::newRow("IPv6 any, no token") << "::"
                                            << ""
                                            << ""
                                            << ""
                                            << "needs a token";
        QTest::newRow("host name") << "localhost"
                                   << ""
                                   << ""
                                   << ""
                                   << "is not an IP address";
        QTest::newRow("short token") << "127.0.0.1"
                                     << "short"
                                     << ""
                                     << ""
                                     << "at least 16 characters";
        QTest::newRow("token with blank") << "127.0.0.1"
                                          << "sixteen chars and more"
                                          << ""
                                          << ""
                                          << "no blanks";
        QTest::newRow("certificate alone") << "127.0.0.1"
                                           << "" << dataFile("test-cert.pem") << ""
                                           << "both a certificate and a key";
        QTest::newRow("missing certificate") << "127.0.0.1"
                                             << ""
                                             << "nowhere.pem" << dataFile("test-key.pem") << "cannot be read";
        QTest::newRow("key as certificate")
            << "127.0.0.1"
            << "" << dataFile("test-key.pem") << dataFile("test-key.pem") << "no certificate";
        QTest::newRow("certificate as key")
            << "127.0.0.1"
            << "" << dataFile("test-cert.pem") << dataFile("test-cert.pem") << "no private key";
        QTest::newRow("key of another certificate")
            << "127.0.0.1"
            << "" << dataFile("test-cert.pem") << dataFile("other-key.pem")
            << "does not belong to the certificate";
    }
    void unsafeSettingsDoNotStart()
    {
        QFETCH(QString, address);
        QFETCH(QString, token);
        QFETCH(QString, certificate);
        QFETCH(QString, key);
        QFETCH(QString, reason);
        WebIniSettings settings = m_rig->localSettings();
        settings.address = address;
        settings.token = token;
        settings.certificate = certificate;
        settings.key = key;
        QVERIFY(!m_rig->web->Apply(settings));
        QVERIFY(!m_rig->web->isRunning());
        const QStringList lines = m_rig->f.t.status.lines().filter(WebService::StatusKey);
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines.first().startsWith("Remote access: not started: ") && lines.first().contains(reason),
                 qPrintable(lines.first()));
        QCOMPARE(m_rig->f.count("tblErrors", "myFunction = 'Remote access'"), 1);
    }

    void aPortInUseIsReportedAndRetriedAtTheNextActivation()
    {
        QTcpServer other;
        QVERIFY(other.listen(QHostAddress::LocalHost));
        WebIniSettings settings = m_rig->localSettings();
        settings.port = other.serverPort();
        QVERIFY(!m_rig->web->Apply(settings));
        QVERIFY(m_rig->f.t.status.contains(
            QString("Remote access: not started: port %1 is in use").arg(settings.port)));
        other.close();
        QVERIFY(m_rig->web->Apply(settings));
        QVERIFY(m_rig->f.t.status.contains(
            QString("Remote access: serving http://127.0.0.1:%1/").arg(settings.port)));
        settings.enabled = false;
        QVERIFY(!m_rig->web->Apply(settings));
        QVERIFY(m_rig->f.t.status.lines().filter(WebService::StatusKey).isEmpty());
        QVERIFY(!m_rig->web->isRunning());
    }

    // Without a token only requests addressed to this computer are answered, so that a web page
    // cannot read the status through a name it points at 127.0.0.1; with a token any name is
    // fine (the page cannot know the token).
    void rebindingHostsAreRefusedWithoutAToken_data()
    {
        QTest::addColumn<QByteArray>("hostLine");
        QTest::addColumn<bool>("withToken");
        QTest::addColumn<int>("status");
        QTest::newRow("127.0.0.1") << QByteArray("Host: 127.0.0.1\r\n") << false << 200;
        QTest::newRow("127.0.0.1 with port") << QByteArray("Host: 127.0.0.1:8080\r\n") << false << 200;
        QTest::newRow("localhost") << QByteArray("Host: LocalHost:80\r\n") << false << 200;
        QTest::newRow("[::1] with port") << QByteArray("Host: [::1]:8080\r\n") << false << 200;
        QTest::newRow("listed name") << QByteArray("Host: tallyport.lan:8080\r\n") << false << 200;
        QTest::newRow("rebound name") << QByteArray("Host: attacker.example\r\n") << false << 421;
        QTest::newRow("rebound name with port")
            << QByteArray("Host: attacker.example:8080\r\n") << false << 421;
        QTest::newRow("a name ending in a loopback one")
            << QByteArray("Host: evil127.0.0.1\r\n") << false << 421;
        QTest::newRow("no Host") << QByteArray() << false << 421;
        // An address literal cannot be rebound: any loopback one names this computer.
        QTest::newRow("other loopback address") << QByteArray("Host: 127.0.0.5:8080\r\n") << false << 200;
        QTest::newRow("a name that starts like one")
            << QByteArray("Host: 127.0.0.1.attacker.example\r\n") << false << 421;
        QTest::newRow("an address of another computer") << QByteArray("Host: 192.0.2.7\r\n") << false << 421;
        QTest::newRow("any name with the token") << QByteArray("Host: attacker.example\r\n") << true << 200;
    }
    void rebindingHostsAreRefusedWithoutAToken()
    {
        QFETCH(QByteArray, hostLine);
        QFETCH(bool, withToken);
        QFETCH(int, status);
        WebIniSettings settings = m_rig->localSettings();
        settings.hosts = " Tallyport.lan , other.lan";
        if (withToken)
            settings.token = QString::fromLatin1(kToken);
        QVERIFY(m_rig->web->Apply(settings));
        const QByteArray token = withToken ? "Authorization: Bearer " + kToken + "\r\n" : QByteArray();
        for (const QByteArray path :
             {QByteArray("/metrics"), QByteArray("/sensor/7"), QByteArray("/api/v1/sensors/7/history")}) {
            const HttpResult result =
                RawExchange(m_rig->web->port(),
                            "GET " + path + " HTTP/1.1\r\n" + hostLine + token + "Connection: close\r\n\r\n");
            // Sensor 7 does not exist: a request let through finds nothing.
            QCOMPARE(result.status, status == 200 && path != "/metrics" ? 404 : status);
        }
    }

    // Served on a loopback address of its own, a browser pointed there is answered (its Host
    // names that address).
    void aRequestAddressedToTheServedAddressIsAnswered()
    {
        WebIniSettings settings = m_rig->localSettings();
        settings.address = "127.0.121.5";
        QVERIFY(m_rig->web->Apply(settings));
        QVERIFY2(m_rig->web->url().startsWith("http://127.0.121.5:"), qPrintable(m_rig->web->url()));
        QCOMPARE(m_rig->get("/").status, 200);
        QCOMPARE(m_rig->get("/metrics").status, 200);
    }

    void anyAddressServesWithAToken()
    {
        WebIniSettings settings = m_rig->localSettings();
        settings.address = "0.0.0.0";
        settings.token = QString::fromLatin1(kToken);
        QVERIFY(m_rig->web->Apply(settings));
        const QUrl url(QString("http://127.0.0.1:%1/healthz").arg(m_rig->web->port()));
        QCOMPARE(HttpGet(url).status, 401);
        QCOMPARE(HttpGet(url, bearer(kToken)).status, 503); // no cycle has run
        // Over plain HTTP the token crosses the network readable: the status list says so while
        // it serves the network.
        const QStringList warning = m_rig->f.t.status.lines().filter(WebService::PlainNetworkKey);
        QCOMPARE(warning.size(), 1);
        QVERIFY2(warning.first().contains("set a certificate and key"), qPrintable(warning.first()));
        QVERIFY(m_rig->web->Apply(m_rig->localSettings()));
        QVERIFY(m_rig->f.t.status.lines().filter(WebService::PlainNetworkKey).isEmpty());
        QVERIFY(m_rig->web->Apply(settings));
        settings.enabled = false;
        QVERIFY(!m_rig->web->Apply(settings));
        QVERIFY(m_rig->f.t.status.lines().filter(WebService::PlainNetworkKey).isEmpty());
    }

    void httpsWithCertificateAndKey()
    {
        if (!QSslSocket::supportsSsl())
            QSKIP("No TLS library");
        WebIniSettings settings = m_rig->localSettings();
        settings.certificate = dataFile("test-cert.pem");
        settings.key = dataFile("test-key.pem");
        QString reason;
        QVERIFY2(m_rig->startWeb(settings, reason), qPrintable(reason));
        QVERIFY(m_rig->web->url().startsWith("https://127.0.0.1:"));
        QNetworkAccessManager manager;
        QNetworkRequest request(m_rig->url("/metrics"));
        QNetworkReply *reply = manager.get(request);
        // The test certificate is its own issuer.
        connect(reply, &QNetworkReply::sslErrors, reply, [reply] { reply->ignoreSslErrors(); });
        QVERIFY(QTest::qWaitFor([reply] { return reply->isFinished(); }, 10000));
        QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 200);
        QVERIFY(reply->readAll().contains("tallyport_alarms_open 0"));
        delete reply;
        // Plain HTTP on the HTTPS port gets no page.
        QCOMPARE(
            RawExchange(m_rig->web->port(), "GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", 3000).status,
            0);
    }

    // A key or certificate file that changes is read again without a restart, whether or not
    // the server started with them: a key that does not belong to the certificate keeps or
    // stops the server with the cause in the status list and the error log; the right key
    // brings it back.
    void changedCertificateFilesAreReadAgain()
    {
        if (!QSslSocket::supportsSsl())
            QSKIP("No TLS library");
        const QString dir = m_rig->f.t.dir.path();
        QVERIFY(QFile::copy(dataFile("test-cert.pem"), dir + "/web-cert.pem"));
        QVERIFY(QFile::copy(dataFile("other-key.pem"), dir + "/web-key.pem"));
        WebIniSettings settings = m_rig->localSettings();
        settings.certificate = "web-cert.pem";
        settings.key = "web-key.pem";
        const auto statusLine = [this] {
            const QStringList lines = m_rig->f.t.status.lines().filter(WebService::StatusKey);
            return lines.size() == 1 ? lines.first() : lines.join(" | ");
        };
        QVERIFY(!m_rig->web->Apply(settings));
        QVERIFY2(statusLine().contains("does not belong to the certificate"), qPrintable(statusLine()));
        QCOMPARE(m_rig->f.count("tblErrors", "myFunction = 'Remote access'"), 1);
        const auto replaceKey = [&](const char *source) {
            QFile::remove(dir + "/web-key.pem.new");
            QVERIFY(QFile::copy(dataFile(source), dir + "/web-key.pem.new"));
            QVERIFY(std::rename(QFile::encodeName(dir + "/web-key.pem.new").constData(),
                                QFile::encodeName(dir + "/web-key.pem").constData()) == 0);
        };
        replaceKey("test-key.pem");
        QTRY_VERIFY_WITH_TIMEOUT(m_rig->web->isRunning(), 5000);
        QVERIFY2(statusLine().startsWith("Remote access: serving https://"), qPrintable(statusLine()));

        replaceKey("other-key.pem");
        QTRY_VERIFY_WITH_TIMEOUT(!m_rig->web->isRunning(), 5000);
        QVERIFY2(statusLine().contains("does not belong to the certificate"), qPrintable(statusLine()));
        QCOMPARE(m_rig->f.count("tblErrors", "myFunction = 'Remote access'"), 2);
        replaceKey("test-key.pem");
        QTRY_VERIFY_WITH_TIMEOUT(m_rig->web->isRunning(), 5000);
        QVERIFY2(statusLine().startsWith("Remote access: serving https://"), qPrintable(statusLine()));
    }

    void badRequestsGet4xxAndCostNothing_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("status");
        QTest::newRow("not HTTP") << QByteArray("HELLO\r\n\r\n") << 400;
        QTest::newRow("HTTP/2 preface") << QByteArray("PRI * HTTP/2.0\r\n\r\nSM\r\n\r\n") << 400;
        QTest::newRow("header without colon") << QByteArray("GET / HTTP/1.1\r\nHost x\r\n\r\n") << 400;
        QTest::newRow("control character") << QByteArray("GET / HTTP/1.1\r\nHost: a\x01"
                                                         "b\r\n\r\n")
                                           << 400;
        QTest::newRow("upgrade") << QByteArray("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: Upgrade\r\n"
                                               "Upgrade: websocket\r\n\r\n")
                                 << 400;
        QTest::newRow("huge head") << "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Fill: " +
                                          QByteArray(20000, 'a') + "\r\n\r\n"
                                   << 431;
        QTest::newRow("huge address") << "GET /" + QByteArray(20000, 'a') + " HTTP/1.1\r\n\r\n" << 431;
        QTest::newRow("huge body") << "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 100000\r\n\r\n" +
                                          QByteArray(100000, 'b')
                                   << 413;
        QTest::newRow("unfinished") << QByteArray("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n") << 408;
    }
    void badRequestsGet4xxAndCostNothing()
    {
        QFETCH(QByteArray, request);
        QFETCH(int, status);
        ConnectionLimits limits;
        limits.idleMs = 600;
        m_rig->web->setLimits(limits);
        QString reason;
        QVERIFY2(m_rig->startWeb(m_rig->localSettings(), reason), qPrintable(reason));
        const HttpResult result = RawExchange(m_rig->web->port(), request);
        QCOMPARE(result.status, status);
        QVERIFY2(result.error.isEmpty(), qPrintable(result.error)); // the server closed the connection
        QCOMPARE(m_rig->f.count("tblErrors"), 0);
        // The server goes on answering.
        QCOMPARE(m_rig->get("/healthz").status, 503);
    }

    // Framing the server does not take is refused at once, rather than waited for: a body where
    // none is taken (413), framing two parties could read differently (400), and a bad request
    // after a good one on the same connection.
    void framingProblemsAreRefusedAtOnce()
    {
        struct Case {
            const char *name;
            QByteArray request;
            int status;
        };
        const QList<Case> cases{
            {"body promised", "GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 100\r\n\r\n", 413},
            {"body sent", "POST / HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 4\r\n\r\nabcd", 413},
            {"chunked body", "POST / HTTP/1.1\r\nHost: 127.0.0.1\r\nTransfer-Encoding: chunked\r\n\r\n", 413},
            {"two lengths",
             "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 0\r\ncontent-length: 0\r\n\r\n", 400},
            {"length and chunked",
             "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 0\r\nTransfer-Encoding: chunked\r\n\r\n",
             400},
            {"negative length", "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: -1\r\n\r\n", 400},
            {"length not a number", "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 0x10\r\n\r\n", 400},
            {"two hosts", "GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\nHost: attacker.example\r\n\r\n", 400},
            {"target naming another host",
             "GET http://attacker.example/metrics HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", 400},
            {"second request bad",
             "GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"
             "GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\n\r\n",
             400},
        };
        ConnectionLimits limits;
        limits.idleMs = 5000;
        m_rig->web->setLimits(limits);
        QString reason;
        QVERIFY2(m_rig->startWeb(m_rig->localSettings(), reason), qPrintable(reason));
        for (const Case &c : cases) {
            QElapsedTimer time;
            time.start();
            const HttpResult result = RawExchange(m_rig->web->port(), c.request);
            QVERIFY2(result.status == c.status, qPrintable(c.name + QStringLiteral(": ") + result.body));
            QVERIFY2(result.error.isEmpty(), c.name); // the server closed the connection
            QVERIFY2(time.elapsed() < 2500,
                     qPrintable(c.name + QStringLiteral(" took %1 ms").arg(time.elapsed())));
        }
        QCOMPARE(m_rig->f.count("tblErrors"), 0);
        QCOMPARE(m_rig->get("/healthz").status, 503); // the server goes on answering
    }

    void idleConnectionsAreClosedAndMakeRoom()
    {
        ConnectionLimits limits;
        limits.idleMs = 500;
        limits.maxConnections = 3;
        m_rig->web->setLimits(limits);
        QString reason;
        QVERIFY2(m_rig->startWeb(m_rig->localSettings(), reason), qPrintable(reason));
        QList<std::shared_ptr<QTcpSocket>> held;
        for (int i = 0; i < 3; ++i) {
            held.append(OpenConnection(m_rig->web->port(), QHostAddress(kClient)));
            QVERIFY(held.last());
        }
        QTRY_COMPARE(m_rig->web->openConnections(), 3);
        // Every place is taken by a connection that has sent nothing: the oldest makes room.
        const HttpResult surplus =
            RawExchange(m_rig->web->port(), kHealthRequest, 10000, QHostAddress(kClient));
        QVERIFY2(surplus.body.startsWith("no-sensors"), surplus.body.constData());
        QTRY_VERIFY(held[0]->state() == QAbstractSocket::UnconnectedState);
        QCOMPARE(held[1]->state(), QAbstractSocket::ConnectedState);
        // Idle connections are closed.
        for (const auto &socket : held)
            QVERIFY(
                QTest::qWaitFor([&] { return socket->state() == QAbstractSocket::UnconnectedState; }, 5000));
        QCOMPARE(m_rig->web->openConnections(), 0);
    }

    // Connections whose complete heads promise a body that never comes fill every place: each
    // is refused at once, and the health check is answered.
    void promisedBodiesDoNotBlindTheHealthCheck()
    {
        QString reason;
        QVERIFY2(m_rig->startWeb(m_rig->localSettings(), reason), qPrintable(reason));
        const quint16 port = m_rig->web->port();
        const QHostAddress from(kClient);
        const HttpResult alone = RawExchange(port, kHealthRequest, 10000, from);
        QList<std::shared_ptr<QTcpSocket>> promising =
            fillEveryPlace("GET /healthz HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 100\r\n\r\n");
        QCOMPARE(promising.size(), ConnectionLimits().maxConnections);
        QTest::qWait(300);
        const HttpResult health = RawExchange(port, kHealthRequest, 10000, from);
        QCOMPARE(health.status, alone.status);
        QCOMPARE(health.body, alone.body);
        for (const auto &socket : promising) {
            QTRY_VERIFY(socket->state() == QAbstractSocket::UnconnectedState);
            QVERIFY(socket->readAll().startsWith("HTTP/1.1 413 "));
        }
        // Every request of a connection is checked, not only its first.
        const std::unique_ptr<QTcpSocket> kept =
            OpenConnection(port, from, "GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        QVERIFY(kept);
        QTRY_VERIFY(kept->bytesAvailable() > 0);
        QVERIFY(kept->readAll().startsWith("HTTP/1.1 200 "));
        kept->write("GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 100\r\n\r\n");
        QTRY_VERIFY(kept->state() == QAbstractSocket::UnconnectedState);
        QVERIFY(kept->readAll().startsWith("HTTP/1.1 413 "));

        // Where a route takes a body, connections waiting for theirs give their places up.
        ConnectionLimits limits;
        limits.bodyLimit = [](const QByteArray &, const QString &path) { return path == "/form" ? 64 : 0; };
        m_rig->web->setLimits(limits);
        QVERIFY2(m_rig->startWeb(m_rig->localSettings(), reason), qPrintable(m_rig->web->url()));
        promising = fillEveryPlace("POST /form HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 10\r\n\r\n");
        QCOMPARE(m_rig->web->openConnections(), limits.maxConnections);
        QCOMPARE(RawExchange(m_rig->web->port(), kHealthRequest, 10000, from).body, alone.body);
        QTRY_VERIFY(promising.first()->state() == QAbstractSocket::UnconnectedState);
        QVERIFY(promising.first()->readAll().startsWith("HTTP/1.1 503 "));
        QCOMPARE(promising.at(1)->state(), QAbstractSocket::ConnectedState);
    }

    // Clients that send their request heads a byte at a time fill every place, from the same
    // address as a well-behaved client (as every local client is): the connection that has waited
    // longest gives its place up, and the well-behaved client is answered.
    void tricklingClientsDoNotShutOutOthers()
    {
        QString reason;
        QVERIFY2(m_rig->startWeb(m_rig->localSettings(), reason), qPrintable(reason));
        const quint16 port = m_rig->web->port();
        const QHostAddress from(kClient);
        const HttpResult alone = RawExchange(port, kHealthRequest, 10000, from);
        const QList<std::shared_ptr<QTcpSocket>> slow = fillEveryPlace("GET / HTTP/1.1\r\nX-Slow: ");
        QCOMPARE(m_rig->web->openConnections(), ConnectionLimits().maxConnections);
        QTimer trickle;
        connect(&trickle, &QTimer::timeout, this, [&slow] {
            for (const auto &socket : slow)
                socket->write("a");
        });
        trickle.start(100);
        QTest::qWait(300);

        const HttpResult health = RawExchange(port, kHealthRequest, 10000, from);
        QCOMPARE(health.status, alone.status);
        QCOMPARE(health.body, alone.body);
        const HttpResult metrics = RawExchange(
            port, "GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n", 10000, from);
        QCOMPARE(metrics.status, 200);
        QVERIFY(metrics.body.contains("tallyport_alarms_open 0"));
        // The first to connect made room (its request begun gets 503); the others still send.
        QTRY_VERIFY(slow[0]->state() == QAbstractSocket::UnconnectedState);
        QVERIFY(slow[0]->readAll().startsWith("HTTP/1.1 503 "));
        for (int i = 1; i < slow.size(); ++i)
            QVERIFY2(slow[i]->state() == QAbstractSocket::ConnectedState, qPrintable(QString::number(i)));
    }

    // However steadily its bytes come, a request must be complete within its time.
    void aRequestSentByteByByteIsCutOff()
    {
        ConnectionLimits limits;
        limits.headMs = 600;
        m_rig->web->setLimits(limits);
        QString reason;
        QVERIFY2(m_rig->startWeb(m_rig->localSettings(), reason), qPrintable(reason));
        const QByteArray request = "GET / HTTP/1.1\r\nX-Slow: " + QByteArray(200, 'a');
        std::unique_ptr<QTcpSocket> client = OpenConnection(m_rig->web->port(), QHostAddress(kClient), "G");
        QVERIFY(client);
        QElapsedTimer time;
        time.start();
        QByteArray received;
        connect(client.get(), &QTcpSocket::readyRead, this, [&] { received += client->readAll(); });
        qsizetype sent = 1;
        QTimer trickle;
        connect(&trickle, &QTimer::timeout, this, [&] { client->write(request.mid(sent++, 1)); });
        trickle.start(50);
        QVERIFY(QTest::qWaitFor([&] { return client->state() == QAbstractSocket::UnconnectedState; }, 5000));
        QVERIFY2(time.elapsed() >= 500 && time.elapsed() < 2500, qPrintable(QString::number(time.elapsed())));
        QVERIFY2(received.startsWith("HTTP/1.1 408 "), received.constData());
    }

    // Where clients come from different addresses each has a share of the places (an IPv6
    // address: its /64 network): a new connection beyond it takes the place of one of its own
    // address, also of one waiting for its body (a request begun gets 503), and a full server
    // takes that of the connection of any address that has waited longest.
    void eachAddressHasAShareOfThePlaces()
    {
        ConnectionLimits limits;
        limits.maxConnections = 6;
        limits.maxPerPeer = 3;
        limits.bodyLimit = [](const QByteArray &method, const QString &path) {
            return method == "POST" && path == "/form" ? 64 : 0;
        };
        m_rig->web->setLimits(limits);
        WebIniSettings settings = m_rig->localSettings();
        settings.address = "0.0.0.0";
        settings.token = QString::fromLatin1(kToken);
        QString reason;
        QVERIFY2(m_rig->startWeb(settings, reason), qPrintable(reason));
        const quint16 port = m_rig->web->port();
        const QHostAddress a("127.0.161.1"), b("127.0.161.2");
        const QByteArray bodyUnderWay = "POST /form HTTP/1.1\r\nContent-Length: 5\r\n\r\nab";
        const QByteArray metrics =
            "GET /metrics HTTP/1.1\r\nAuthorization: Bearer " + kToken + "\r\nConnection: close\r\n\r\n";
        const auto open = [](const std::unique_ptr<QTcpSocket> &socket) {
            return socket->state() == QAbstractSocket::ConnectedState;
        };
        const std::unique_ptr<QTcpSocket> b1 = OpenConnection(port, b), b2 = OpenConnection(port, b);
        const std::unique_ptr<QTcpSocket> a1 = OpenConnection(port, a, "GET / HT");
        const std::unique_ptr<QTcpSocket> a2 = OpenConnection(port, a, bodyUnderWay);
        const std::unique_ptr<QTcpSocket> a3 = OpenConnection(port, a, bodyUnderWay);
        QVERIFY(b1 && b2 && a1 && a2 && a3);
        QTRY_COMPARE(m_rig->web->openConnections(), 5);
        LetTheServerReadWhatWasSent();

        // A's fourth takes the place of A's own waiting connection, not of B's older ones.
        QCOMPARE(RawExchange(port, metrics, 10000, a).status, 200);
        QTRY_VERIFY(!open(a1));
        QVERIFY(a1->readAll().startsWith("HTTP/1.1 503 "));
        QVERIFY(open(b1) && open(b2) && open(a2) && open(a3));
        // Every place of A is held by a connection waiting for its body: the longest waiting
        // gives its place up, and the well-behaved request is answered.
        const std::unique_ptr<QTcpSocket> a5 = OpenConnection(port, a, bodyUnderWay);
        QVERIFY(a5);
        QTRY_COMPARE(m_rig->web->openConnections(), 5);
        LetTheServerReadWhatWasSent();
        const HttpResult answered = RawExchange(port, metrics, 10000, a);
        QCOMPARE(answered.status, 200);
        QVERIFY(answered.body.contains("tallyport_alarms_open 0"));
        QTRY_VERIFY(!open(a2));
        QVERIFY(a2->readAll().startsWith("HTTP/1.1 503 "));
        QVERIFY(open(b1) && open(b2) && open(a3) && open(a5));
        // A body that comes whole is taken and its request answered (no route takes a POST), and
        // so is the request that follows it in the same piece (after a line break, as some
        // clients send one).
        a3->write("cde\r\n" + QByteArray(metrics).replace("Connection: close\r\n", ""));
        QByteArray answers;
        QTRY_VERIFY((answers += a3->readAll()).contains("tallyport_alarms_open 0"));
        QVERIFY2(answers.startsWith("HTTP/1.1 405 ") && answers.indexOf("HTTP/1.1 200 ") > 0,
                 answers.constData());
        QVERIFY(open(a3));

        // Full: the longest waiting of all (B's first) makes room for a new address.
        const std::unique_ptr<QTcpSocket> c1 = OpenConnection(port, QHostAddress("127.0.161.3"));
        const std::unique_ptr<QTcpSocket> c2 = OpenConnection(port, QHostAddress("127.0.161.3"));
        QVERIFY(c1 && c2);
        QTRY_COMPARE(m_rig->web->openConnections(), 6);
        QCOMPARE(RawExchange(port, metrics, 10000, QHostAddress("127.0.161.4")).status, 200);
        QTRY_VERIFY(!open(b1));
        QVERIFY(open(b2) && open(c1) && open(c2) && open(a3) && open(a5));

        // IPv6 clients of one /64 network share, IPv4 clients do not.
        QCOMPARE(PeerShare(QHostAddress("2001:db8:1:2::5")),
                 PeerShare(QHostAddress("2001:db8:1:2:ff:1:2:3")));
        QVERIFY(PeerShare(QHostAddress("2001:db8:1:3::5")) != PeerShare(QHostAddress("2001:db8:1:2::5")));
        QVERIFY(PeerShare(a) != PeerShare(b));
    }

    // A client that keeps asking without reading the answers is dropped before they pile up.
    void aClientThatDoesNotReadIsDropped()
    {
        ConnectionLimits limits;
        limits.maxUnsentBytes = 256 * 1024;
        m_rig->web->setLimits(limits);
        QString reason;
        QVERIFY2(m_rig->startWeb(m_rig->localSettings(), reason), qPrintable(reason));
        QTcpSocket client;
        client.setReadBufferSize(4096); // takes no more than this from the connection
        client.connectToHost(QHostAddress::LocalHost, m_rig->web->port());
        QVERIFY(client.waitForConnected(5000));
        // A few requests at a time, well within the request size limit, until the answers asked
        // for are far more than the limit and what the system's buffers hold.
        const QByteArray requests = QByteArray("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n").repeated(10);
        QElapsedTimer time;
        time.start();
        int rounds = 0;
        while (client.state() == QAbstractSocket::ConnectedState && time.elapsed() < 10000) {
            client.write(requests);
            QTest::qWait(2);
            ++rounds;
        }
        QVERIFY2(client.state() == QAbstractSocket::UnconnectedState,
                 qPrintable(QString("still connected after %1 rounds").arg(rounds)));
        QCOMPARE(m_rig->get("/healthz").status, 503); // others are still answered
        QCOMPARE(m_rig->f.count("tblErrors"), 0);
    }

    // The two routes that change anything: each refusal is answered, logged and stores nothing;
    // the token, a link's key, or (without a token) this computer addressed as itself may post.
    void acknowledgementsRefuseWhatIsNotTheirs()
    {
        QVERIFY(m_rig->addStandardDevices());
        m_rig->runCycle();
        MonitoringFixture &f = m_rig->f;
        const qint64 alarm = f.value("SELECT IDNum FROM tblAlarms WHERE AlarmActive = -1").toLongLong();
        QVERIFY(alarm > 0);
        const QByteArray key =
            f.value(QString("SELECT LinkKey FROM tblEscalations WHERE AlarmID = %1").arg(alarm))
                .toByteArray();
        QCOMPARE(key.size(), 22);
        // A second open alarm, whose key opens it alone.
        qint64 other = 0;
        QVERIFY(f.monitor->database.AddAlarmRecord(f.sensorId("Kitchen", 0), f.t.clock.now(), "Kitchen",
                                                   "Walk-in Freezer", "9", 1, -1, &other));
        f.monitor->response.AlarmRecorded(
            {other, f.sensorId("Kitchen", 0), 0, "Kitchen", "Walk-in Freezer", "", f.t.clock.now()});
        const QByteArray otherKey =
            f.value(QString("SELECT LinkKey FROM tblEscalations WHERE AlarmID = %1").arg(other))
                .toByteArray();
        QVERIFY(!otherKey.isEmpty() && otherKey != key);

        WebIniSettings settings = m_rig->localSettings();
        settings.token = QString::fromLatin1(kToken);
        QVERIFY(m_rig->web->Apply(settings));
        const QByteArray api = "/api/v1/alarms/" + QByteArray::number(alarm) + "/ack";
        const QByteArray form = "/alarm/" + QByteArray::number(alarm) + "/ack";
        const QByteArray json = R"({"by": "Mallory", "comment": "x"})";
        const QByteArray auth = "Authorization: Bearer " + kToken + "\r\n";
        const int errorsBefore = f.count("tblErrors");
        auto post = [&](const QByteArray &target, const QByteArray &type, const QByteArray &body,
                        const QByteArray &headers = QByteArray(), const QByteArray &host = "127.0.0.1") {
            return RawExchange(m_rig->web->port(),
                               "POST " + target + " HTTP/1.1\r\nHost: " + host + "\r\nContent-Type: " + type +
                                   "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n" +
                                   headers + "Connection: close\r\n\r\n" + body);
        };
        struct Case {
            const char *name;
            HttpResult result;
            int status;
        };
        const QList<Case> cases = {
            {"no token", post(api, "application/json", json), 401},
            {"no token, form", post(form, "application/x-www-form-urlencoded", "by=Mallory&nonce=x"), 401},
            {"wrong token",
             post(api, "application/json", json, "Authorization: Bearer wrong-token-0123456\r\n"), 401},
            {"foreign Origin", post(api, "application/json", json, auth + "Origin: http://evil.example\r\n"),
             403},
            {"null Origin", post(api, "application/json", json, auth + "Origin: null\r\n"), 403},
            {"foreign Origin, form",
             post(form + "?token=" + QUrl::toPercentEncoding(QString::fromLatin1(kToken)),
                  "application/x-www-form-urlencoded", "by=Mallory", "Origin: http://evil.example\r\n"),
             403},
            {"cross-site text/plain carrying JSON", post(api, "text/plain", json, auth), 415},
            {"form without its nonce", post(form, "application/x-www-form-urlencoded", "by=Mallory", auth),
             403},
            {"form with a made-up nonce",
             post(form, "application/x-www-form-urlencoded", "by=Mallory&nonce=AAAAAAAAAAAAAAAAAAAAAA", auth),
             403},
            {"malformed body", post(api, "application/json", "{\"by\": ", auth), 400},
            {"by not a text", post(api, "application/json", "{\"by\": 5}", auth), 400},
            {"a name with a line break", post(api, "application/json", "{\"by\": \"A\\nBcc: x\"}", auth),
             400},
            {"oversized body",
             post(api, "application/json", "{\"by\": \"" + QByteArray(5000, 'a') + "\"}", auth), 413},
            {"key of another alarm", post(api + "?key=" + otherKey, "application/json", json), 403},
            {"unknown alarm", post("/api/v1/alarms/999/ack", "application/json", json, auth), 404},
            {"GET on the API",
             RawExchange(m_rig->web->port(), "GET " + api + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + auth +
                                                 "Connection: close\r\n\r\n"),
             405},
        };
        for (const Case &c : cases)
            QVERIFY2(c.result.status == c.status,
                     qPrintable(QString("%1: %2 %3").arg(c.name).arg(c.result.status).arg(c.result.body)));
        QCOMPARE(f.count("tblAlarmAcks"), 0);
        // Each refusal was logged (the oversized body never reached the routes).
        QCOMPARE(f.count("tblErrors") - errorsBefore, cases.size() - 1);
        QVERIFY(f.count("tblErrors", "Cause LIKE '%refused (403)%another site%'") >= 1);

        // Without a token only this computer, addressed as itself, may post.
        settings.token.clear();
        QVERIFY(m_rig->web->Apply(settings));
        QCOMPARE(post(api, "application/json", json, QByteArray(), "attacker.example").status, 421);
        QCOMPARE(post(api, "application/json", json, QByteArray(), "tallyport.lan").status, 421);
        QCOMPARE(post(api, "application/json", json, "Origin: http://attacker.example\r\n").status, 403);
        QCOMPARE(f.count("tblAlarmAcks"), 0);

        // The key of this alarm acknowledges it, as the token does; then it is refused: taken.
        const HttpResult taken =
            post(api + "?key=" + key, "application/json", R"({"by": "Ann <b>", "comment": "on my way"})",
                 "Origin: http://127.0.0.1:" + QByteArray::number(m_rig->web->port()) + "\r\n",
                 "127.0.0.1:" + QByteArray::number(m_rig->web->port()));
        QVERIFY2(taken.status == 200, taken.body.constData());
        const QJsonObject ack = QJsonDocument::fromJson(taken.body).object();
        QCOMPARE(ack.value("by").toString(), QString("Ann <b>"));
        QCOMPARE(ack.value("via").toString(), QString("API"));
        QCOMPARE(ack.value("peer").toString(), QString("127.0.0.1"));
        QCOMPARE(ack.value("alarm").toInteger(), alarm);
        const HttpResult again = post(api, "application/json", R"({"by": "Bob"})");
        QCOMPARE(again.status, 409);
        QVERIFY(again.body.contains("already acknowledged"));
        QCOMPARE(f.rows("SELECT AckBy, AckVia, AckComment FROM tblAlarmAcks"),
                 QStringList{"Ann <b>|API|on my way"});
        // An ended alarm's key opens nothing any more.
        QVERIFY(f.monitor->database.EndAlarm(other));
        QCOMPARE(post("/api/v1/alarms/" + QByteArray::number(other) + "/ack?key=" + otherKey,
                      "application/json", json)
                     .status,
                 403);
        QCOMPARE(
            post("/api/v1/alarms/" + QByteArray::number(other) + "/ack", "application/json", json).status,
            409);
        QCOMPARE(f.count("tblAlarmAcks"), 1);
    }

private:
    // As many connections from kClient as the server has places, each having sent the bytes,
    // each taken by the server (or answered) before the next opens: the system holds only so
    // many connections not yet taken. Fewer when one could not connect.
    QList<std::shared_ptr<QTcpSocket>> fillEveryPlace(const QByteArray &bytes)
    {
        QList<std::shared_ptr<QTcpSocket>> sockets;
        for (int i = 0; i < ConnectionLimits().maxConnections; ++i) {
            std::shared_ptr<QTcpSocket> socket =
                OpenConnection(m_rig->web->port(), QHostAddress(kClient), bytes);
            if (!socket || !QTest::qWaitFor([&] {
                    return m_rig->web->openConnections() == i + 1 || socket->bytesAvailable() > 0;
                }))
                break;
            sockets.append(socket);
        }
        return sockets;
    }

    std::unique_ptr<WebRig> m_rig;
};

QTEST_GUILESS_MAIN(TestWebSecurity)
#include "tst_websecurity.moc"
