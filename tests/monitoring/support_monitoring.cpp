#include "support_monitoring.h"

#include <db/SchemaFile.h>

#include <support/CycleRun.h>
#include <support/OutboxSettle.h>

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

MonitoringFixture::MonitoringFixture(int thirdOctet) : m_octet(thirdOctet)
{
    timings.connectMs = 1000;
    timings.closeMs = 500;
    timings.retryPauseMs = 50;
    timings.replyOverrideMs = 700;
}

bool MonitoringFixture::start(QString &error)
{
    if (!CreateDatabaseFromSchema(QString(TALLYPORT_SOURCE_DIR) + "/resources/schema.sql", t.path("wexa.mdb"),
                                  false, error))
        return false;
    if (!smtp.start()) {
        error = "SMTP test server did not start: " + smtp.errorOutput();
        return false;
    }
    ConfigRecord &c = t.state.Config;
    c.UpdateRate = 60;
    c.TCPTimeOut = 2;
    c.CommunicationRetry = 1;
    c.SMTPHost = "127.0.0.1";
    c.SMTPPort = qint16(smtp.port());
    c.SMTPTimeOut = 5;
    c.AuthenticationMethod = "NONE";
    c.FromAddress = "tallyport@example.com";
    c.AdminEmailAddress = "admin@example.com";
    c.OrgName = "Test Org";

    pollTimer = std::make_unique<PollTimer>(t.state);
    activation = std::make_unique<Activation>(t.state, *pollTimer);
    // The settings file is written and read back at every cycle, as in the program.
    if (!activation->cipher().InitCipher()) {
        error = "The cipher is not available";
        return false;
    }
    monitor = std::make_unique<Monitor>(t.state, *activation, *pollTimer, timings);
    activation->configFile().SaveConfiguration();
    monitor->mail.SetUpMailManager();
    return true;
}

SimDevice *MonitoringFixture::addDevice(const QString &name, int family, int model, int firmware,
                                        const QList<std::tuple<int, QString, QString>> &sensors,
                                        const QString &emailList)
{
    auto device = std::make_shared<SimDevice>(family, model, firmware);
    const QString address = QStringLiteral("127.0.%1.%2").arg(m_octet).arg(devices.size() + 1);
    if (!device->start(address))
        return nullptr;
    device->setFrozen(true);
    devices.append(device);
    Database &db = monitor->database;
    if (!db.AddServer(name, device->modelText(), address, "", 1, "", emailList, -1))
        return nullptr;
    const qint64 id = deviceId(name);
    for (const auto &[port, sensorName, type] : sensors)
        db.SaveSensor(id, sensorName, port, "", type, "", "", "");
    return device.get();
}

qint64 MonitoringFixture::deviceId(const QString &name)
{
    QString quoted = name;
    quoted.replace(QLatin1Char('\''), QStringLiteral("''"));
    return value(QStringLiteral("SELECT IDNum FROM tblServers WHERE ServerName = '%1'").arg(quoted))
        .toLongLong();
}

qint64 MonitoringFixture::sensorId(const QString &deviceName, int port)
{
    return value(QStringLiteral("SELECT IDNum FROM tblSensors WHERE ServerIDNum = %1 AND PortNum = %2")
                     .arg(deviceId(deviceName))
                     .arg(port))
        .toLongLong();
}

void MonitoringFixture::runCycle(int advanceSeconds)
{
    t.clock.advanceSeconds(advanceSeconds);
    if (!RunCycleToEnd(monitor->cycle))
        QFAIL("the poll cycle did not end within a minute");
    // What the cycle queued has had its attempt before the test looks.
    SettleOutbox(monitor->outbox);
}

int MonitoringFixture::count(const QString &table, const QString &where)
{
    return value("SELECT COUNT(*) FROM " + table + (where.isEmpty() ? QString() : " WHERE " + where)).toInt();
}

QVariant MonitoringFixture::value(const QString &sql)
{
    const QList<QVariantList> found = query(sql);
    return found.isEmpty() || found.first().isEmpty() ? QVariant() : found.first().first();
}

QStringList MonitoringFixture::rows(const QString &sql)
{
    QStringList result;
    for (const QVariantList &row : query(sql)) {
        QStringList values;
        for (const QVariant &v : row)
            values << (v.isNull() ? QStringLiteral("<null>") : v.toString());
        result << values.join('|');
    }
    return result;
}

QList<QVariantList> MonitoringFixture::query(const QString &sql)
{
    QList<QVariantList> result;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "fixture-reader");
        db.setDatabaseName(t.path("wexa.mdb"));
        if (db.open()) {
            QSqlQuery query(db);
            if (query.exec(sql)) {
                while (query.next()) {
                    QVariantList row;
                    for (int c = 0; c < query.record().count(); ++c)
                        row << query.value(c);
                    result << row;
                }
            }
        }
        db.close();
    }
    QSqlDatabase::removeDatabase("fixture-reader");
    return result;
}
