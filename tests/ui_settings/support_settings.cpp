#include "support_settings.h"

#include <QTest>

#include <core/LocalWait.h>
#include <db/SchemaFile.h>

#include <QAction>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTimer>
#include <QtEndian>

void TypeInto(QLineEdit *box, const QString &text)
{
    box->setFocus();
    box->selectAll();
    if (text.isEmpty())
        box->del();
    else
        box->insert(text);
}

void WhenModalOpens(std::function<void(QWidget *modal)> act)
{
    QWidget *before = QApplication::activeModalWidget();
    auto *poll = new QTimer(qApp);
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, before, act] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || modal == before || !modal->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        act(modal);
    });
    poll->start();
}

SettingsFixture::SettingsFixture()
{
    cipher.InitCipher();
    ConfigRecord &c = t.state.Config;
    c.UpdateRate = 60;
    c.CommunicationRetry = 1;
    c.TCPTimeOut = 2;
    c.SMTPPort = 25;
    c.SMTPTimeOut = 5;
    c.AuthenticationMethod = QStringLiteral("NONE");
}

void SettingsFixture::save()
{
    QVERIFY(file.SaveConfiguration());
}

QByteArray SettingsFixture::fileBytes() const
{
    QFile f(file.path());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

qint16 SettingsFixture::int16At(int offset) const
{
    const QByteArray bytes = fileBytes();
    return bytes.size() < offset + 2 ? qint16(-1) : qFromLittleEndian<qint16>(bytes.constData() + offset);
}

QByteArray SettingsFixture::textAt(int offset, int width) const
{
    QByteArray text = fileBytes().mid(offset, width);
    while (text.endsWith(' '))
        text.chop(1);
    return text;
}

MonitoredWindow::MonitoredWindow(int thirdOctet) : m_octet(thirdOctet)
{
    settings.UpdateRate = 5;
    settings.CommunicationRetry = 1;
    settings.TCPTimeOut = 2;
    settings.SMTPHost = address(10);
    settings.SMTPPort = qint16(SmtpPort);
    settings.SMTPTimeOut = 5;
    settings.AuthenticationMethod = QStringLiteral("NONE");
    settings.FromAddress = QStringLiteral("tallyport@example.com");
    settings.AdminEmailAddress = QStringLiteral("admin@example.com");
    settings.OrgName = QStringLiteral("Test Org");
}

MonitoredWindow::~MonitoredWindow()
{
    // Modal windows a failed test left open.
    while (QWidget *modal = QApplication::activeModalWidget())
        modal->close();
    settingsWindows.reset();
    monitor.reset();
    window.reset();
}

QString MonitoredWindow::address(int lastOctet) const
{
    return QStringLiteral("127.0.%1.%2").arg(m_octet).arg(lastOctet);
}

QAction *MonitoredWindow::action(const char *name) const
{
    return Control<QAction>(*window, name);
}

bool MonitoredWindow::triggerBetweenCycles(const char *name)
{
    if (!QTest::qWaitFor([this] { return !t.state.UpdateInProgress; }, 10000))
        return false;
    action(name)->trigger();
    return true;
}

bool MonitoredWindow::start(QString &error)
{
    SmtpTestServer::Options options;
    options.host = address(10);
    options.port = SmtpPort;
    smtp = std::make_unique<SmtpTestServer>(options);
    if (!smtp->start()) {
        error = QStringLiteral("SMTP test server did not start: ") + smtp->errorOutput();
        return false;
    }
    device = std::make_unique<SimDevice>(5, 5, 25);
    if (!device->start(address(1))) {
        error = device->errorString();
        return false;
    }
    device->setFrozen(true);
    device->setReading(0, 20.0);
    if (!CreateDatabaseFromSchema(QStringLiteral(TALLYPORT_SOURCE_DIR "/resources/schema.sql"),
                                  t.path(QStringLiteral("wexa.mdb")), false, error))
        return false;

    t.state.Config = settings;
    Cipher cipher;
    cipher.InitCipher();
    if (!ConfigFile(t.state, cipher).SaveConfiguration()) {
        error = QStringLiteral("settings not saved");
        return false;
    }

    window = std::make_unique<MainWindow>(t.state);
    window->pollTimer().setTickMs(100);
    LinkTimings timings;
    timings.connectMs = 1000;
    timings.closeMs = 500;
    timings.retryPauseMs = 50;
    timings.replyOverrideMs = 700;
    monitor = std::make_unique<Monitor>(t.state, window->activation(), window->pollTimer(), timings);
    window->setMonitor(*monitor);
    settingsWindows = std::make_unique<SettingsWindows>(t.state, *window, monitor->mail, monitor->notifier);

    Database &db = monitor->database;
    if (!db.AddServer(QStringLiteral("Lab"), device->modelText(), address(1), QString(), 1, QString(),
                      QStringLiteral("alarms@example.com"), -1)) {
        error = db.lastError();
        return false;
    }
    QList<ServerRecord> rows;
    if (!db.LoadServers(rows)) {
        error = db.lastError();
        return false;
    }
    db.SaveSensor(rows.first().IDNum, QStringLiteral("Freezer"), 0, QString(),
                  QStringLiteral("Temperature Sensor Port 1"), QString(), QString(), QString());
    if (withSilentDevice && !addSilentDevice(error))
        return false;

    QSignalSpy cycles(&window->pollTimer(), &PollTimer::cycleFinished);
    window->start();
    if (!cycles.wait(10000)) {
        error = QStringLiteral("no poll cycle ran");
        return false;
    }
    return true;
}

bool MonitoredWindow::addSilentDevice(QString &error)
{
    silent = std::make_unique<SimDevice>(5, 5, 25);
    if (!silent->start(address(2))) {
        error = silent->errorString();
        return false;
    }
    silent->setFault(SimFault::Silent);
    Database &db = monitor->database;
    qint64 id = 0;
    if (!db.AddServer(QStringLiteral("Annex"), silent->modelText(), address(2), QString(), 1, QString(),
                      QString(), -1, &id)) {
        error = db.lastError();
        return false;
    }
    db.SaveSensor(id, QStringLiteral("Annex Probe"), 0, QString(),
                  QStringLiteral("Temperature Sensor Port 1"), QString(), QString(), QString());
    return true;
}

bool MonitoredWindow::waitForCycles(int count, int timeoutMs)
{
    QSignalSpy cycles(&window->pollTimer(), &PollTimer::cycleFinished);
    QElapsedTimer elapsed;
    elapsed.start();
    while (cycles.count() < count && elapsed.elapsed() < timeoutMs)
        cycles.wait(timeoutMs - int(elapsed.elapsed()));
    return cycles.count() >= count;
}
