#include "support_rig.h"

#include <acquisition/PollCycle.h>
#include <acquisition/SensorDataFiles.h>
#include <db/Database.h>
#include <db/SchemaFile.h>

#include <support/CycleRun.h>
#include <support/OutboxSettle.h>

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

const QString FaultRig::Temperature = QStringLiteral("Temperature Sensor Port 1");
const QString FaultRig::Door = QStringLiteral("Door Sensor 1");

FaultRig::FaultRig(int thirdOctet, SmtpTestServer::Options smtpOptions)
    : smtp(std::move(smtpOptions)), m_octet(thirdOctet),
      m_reader(QStringLiteral("fault-rig-reader-%1").arg(quintptr(this), 0, 16))
{
}

FaultRig::~FaultRig()
{
    closeReader();
}

void FaultRig::closeReader()
{
    if (QSqlDatabase::contains(m_reader)) {
        QSqlDatabase::database(m_reader, false).close();
        QSqlDatabase::removeDatabase(m_reader);
    }
}

QSqlDatabase FaultRig::reader()
{
    if (!QSqlDatabase::contains(m_reader)) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_reader);
        db.setDatabaseName(t.path("wexa.mdb"));
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=2000"));
    }
    QSqlDatabase db = QSqlDatabase::database(m_reader, false);
    if (!db.isOpen())
        db.open();
    return db;
}

bool FaultRig::start(QString &error)
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
    c.SMTPHost = smtp.host();
    c.SMTPPort = qint16(smtp.port());
    c.SMTPTimeOut = 2;
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
    m_timings.connectMs = 500;
    m_timings.closeMs = 300;
    m_timings.retryPauseMs = 20;
    m_timings.replyOverrideMs = 400;
    makeMonitor();
    if (!activation->configFile().SaveConfiguration()) {
        error = "The settings file could not be written";
        return false;
    }
    monitor->mail.SetUpMailManager();
    return true;
}

void FaultRig::makeMonitor()
{
    monitor = std::make_unique<Monitor>(t.state, *activation, *pollTimer, m_timings);
}

void FaultRig::restart(bool clean)
{
    if (clean)
        activation->Shutdown();
    monitor.reset();
    makeMonitor();
    monitor->mail.SetUpMailManager();
    layOutGrid();
    t.state.setMonitoringActive(true);
    monitor->outbox.Resume();
}

SimDevice *FaultRig::addDevice(const QString &name, const QList<SensorSpec> &sensors,
                               const QString &emailList)
{
    auto device = std::make_shared<SimDevice>(5, 5, 25);
    const QString address = deviceAddress(int(m_devices.size()));
    if (!device->start(address))
        return nullptr;
    device->setFrozen(true);
    device->setReading(0, 5.0);
    device->setRawReading(8, 0);
    m_devices.insert(name, device);
    return enterDevice(name, device->modelText(), address, sensors, emailList) ? device.get() : nullptr;
}

// The first 250 devices stand on 127.0.<octet>.x; a rig of thousands (the soak run's) goes on to
// 127.<octet>.<n>.x, 250 to a third octet, clear of the tests' addresses.
QString FaultRig::deviceAddress(int index) const
{
    constexpr int PerOctet = 250;
    if (index < PerOctet)
        return QStringLiteral("127.0.%1.%2").arg(m_octet).arg(index + 1);
    index -= PerOctet;
    return QStringLiteral("127.%1.%2.%3").arg(m_octet).arg(index / PerOctet).arg(index % PerOctet + 1);
}

bool FaultRig::addDeviceOf(const FaultRig &other, const QString &name, const QList<SensorSpec> &sensors)
{
    const SimDevice *device = other.device(name);
    return device && enterDevice(name, device->modelText(), device->address().toString(), sensors, QString());
}

bool FaultRig::enterDevice(const QString &name, const QString &model, const QString &address,
                           const QList<SensorSpec> &sensors, const QString &emailList)
{
    Database &db = monitor->database;
    if (!db.AddServer(name, model, address, "", 1, "", emailList, -1))
        return false;
    const qint64 id = deviceId(name);
    for (const auto &[port, sensorName, type] : sensors)
        if (!db.SaveSensor(id, sensorName, port, "", type, "", "", ""))
            return false;
    return true;
}

SimDevice *FaultRig::addFreezerAndCooler(const QString &name)
{
    SimDevice *device = addDevice(name, {{0, name + QStringLiteral(" Freezer"), Temperature},
                                         {1, name + QStringLiteral(" Cooler"), Temperature}});
    if (device)
        device->setReading(1, 6.0);
    layOutGrid();
    return device;
}

void FaultRig::layOutGrid()
{
    int named = 0;
    monitor->database.CountNamedSensors(named);
    monitor->grid.ConfigureServerStatusGrid(named);
}

qint64 FaultRig::deviceId(const QString &name)
{
    return value(QStringLiteral("SELECT IDNum FROM tblServers WHERE ServerName = '%1'").arg(name))
        .toLongLong();
}

qint64 FaultRig::sensorId(const QString &deviceName, int port)
{
    return sensorId(deviceId(deviceName), port);
}

qint64 FaultRig::sensorId(qint64 deviceId, int port)
{
    return value(QStringLiteral("SELECT IDNum FROM tblSensors WHERE ServerIDNum = %1 AND PortNum = %2")
                     .arg(deviceId)
                     .arg(port))
        .toLongLong();
}

void FaultRig::runCycle(int advanceSeconds)
{
    t.clock.advanceSeconds(advanceSeconds);
    if (!RunCycleToEnd(monitor->cycle))
        QFAIL("the poll cycle did not end within a minute");
    // What the cycle queued has had its attempt before the test looks.
    SettleOutbox(monitor->outbox);
}

void FaultRig::useMailPort(quint16 port)
{
    t.state.Config.SMTPPort = qint16(port);
    saveSettings();
    monitor->mail.SetUpMailManager();
}

void FaultRig::saveSettings()
{
    activation->configFile().SaveConfiguration();
}

int FaultRig::count(const QString &table, const QString &where)
{
    return value("SELECT COUNT(*) FROM " + table + (where.isEmpty() ? QString() : " WHERE " + where)).toInt();
}

QVariant FaultRig::value(const QString &sql)
{
    const QStringList values = column(sql);
    return values.isEmpty() ? QVariant() : QVariant(values.first());
}

QStringList FaultRig::column(const QString &sql)
{
    QStringList values;
    QSqlQuery query(reader());
    if (query.exec(sql))
        while (query.next())
            values.append(query.value(0).toString());
    return values;
}

QStringList FaultRig::errorLines(const QString &wherePrefix)
{
    return column(QStringLiteral("SELECT myFunction || '|' || Cause FROM tblErrors ORDER BY ErrorID"))
        .filter(QRegularExpression("^" + QRegularExpression::escape(wherePrefix)));
}

int FaultRig::readingsFiled(qint64 sensorId, const QString &directory)
{
    const QString dir = directory.isEmpty() ? t.dir.path() : directory;
    const QFileInfo file(SensorInstantaneousPath(dir, int(sensorId), t.clock.now().date()));
    return file.exists() ? int(WholeRecords(file.size(), InstantaneousRecord::Size)) : 0;
}

QStringList FaultRig::tornFiles(const QString &directory)
{
    QStringList torn;
    const QDir dir(directory.isEmpty() ? t.dir.path() : directory);
    for (const QFileInfo &file : dir.entryInfoList({QStringLiteral("Sensor-*.dat")}, QDir::Files)) {
        const QString name = file.fileName();
        const bool whole = name.endsWith(QLatin1String(" Average.dat"))
                               ? file.size() % HourlyStatisticsRecord::Size == 0
                           : name.contains(QLatin1String(" Instantaneous Data Created "))
                               ? file.size() % InstantaneousRecord::Size == 0
                               : file.size() == SensorHeaderRecord::Size;
        if (!whole)
            torn.append(QStringLiteral("%1 (%2 bytes)").arg(name).arg(file.size()));
    }
    return torn;
}

bool FaultRig::statusShows(const QString &line) const
{
    return t.status.lines().contains(line);
}

int FaultRig::mailsWith(const QByteArray &text)
{
    // A message is reported by the server before its last reply; let that report arrive.
    smtp.waitForMessages(int(smtp.messages().size()) + 1, 100);
    int found = 0;
    for (const SmtpTestServer::Received &message : smtp.messages())
        found += message.data.contains(text) ? 1 : 0;
    return found;
}

QString OutcomeLine(FaultRig &rig, const QString &deviceName, const QString &outcome)
{
    ServerRecord device;
    rig.monitor->database.OpenServerRecord(rig.deviceId(deviceName), device);
    return PollCycle::OutcomeKey(device) + outcome;
}

ConnectionLock::ConnectionLock() : m_name(QStringLiteral("fault-lock-%1").arg(quintptr(this), 0, 16)) {}

ConnectionLock::~ConnectionLock()
{
    release();
    QSqlDatabase::removeDatabase(m_name);
}

bool ConnectionLock::lock(const QString &path)
{
    QSqlDatabase db = QSqlDatabase::contains(m_name)
                          ? QSqlDatabase::database(m_name, false)
                          : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
    db.setDatabaseName(path);
    return (db.isOpen() || db.open()) && QSqlQuery(db).exec(QStringLiteral("BEGIN EXCLUSIVE"));
}

void ConnectionLock::release()
{
    if (!QSqlDatabase::contains(m_name))
        return;
    QSqlDatabase db = QSqlDatabase::database(m_name, false);
    QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
    db.close();
}
