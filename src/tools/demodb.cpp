// tallyport-demodb: makes a program directory whose database lists the devices of a simulator
// scenario, with settings suited to watching them: the demo's starting point.
#include "Simulator.h"

#include <core/Cipher.h>
#include <core/Clock.h>
#include <core/ConfigFile.h>
#include <core/ErrorLog.h>
#include <core/ProgramState.h>
#include <core/Prompts.h>
#include <core/StatusList.h>
#include <db/Database.h>
#include <db/SchemaFile.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

namespace {

const QString kAlarmEmailList = QStringLiteral("alarms@example.com,");
const QString kUnsetPassword = QStringLiteral("****");

QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

// A tool has no window: a message the database layer would show goes to the error output.
class ConsolePrompts final : public Prompts {
public:
    Answer ask(const QString &text, const QString &, Buttons, Icon) override
    {
        err() << "tallyport-demodb: " << text << Qt::endl;
        return Answer::Ok;
    }
    QString saveFileName(const QString &, const QString &, const QString &) override { return QString(); }
};

// Settings for watching simulated devices on this computer: a short update rate, quick
// time-outs, and mail to a local sink.
ConfigRecord demoSettings()
{
    ConfigRecord c;
    c.OrgName = QStringLiteral("Tallyport Demo");
    c.OrgAddress = QStringLiteral("");
    c.OrgPhoneNumber = QStringLiteral("");
    c.PrinterName = QStringLiteral("No Printer Selected");
    c.AutoPrintReport = QStringLiteral("No");
    c.TimeToPrint = QStringLiteral("8");
    c.AMPM = QStringLiteral("AM");
    c.SMTPHost = QStringLiteral("127.0.0.1");
    c.SMTPUserName = QStringLiteral("");
    c.SMTPPassword = QStringLiteral("");
    c.LoginDomain = QStringLiteral("");
    c.AuthenticationMethod = QStringLiteral("NONE");
    c.AdminEmailAddress = QStringLiteral("admin@example.com");
    c.SMTPPort = 2525;
    c.SMTPTimeOut = 10;
    c.CommunicationRetry = 1;
    c.TCPTimeOut = 2;
    c.UpdateRate = 10;
    c.FromAddress = QStringLiteral("tallyport@example.com");
    c.SystemOKEmail = 1;
    c.LastSystemOKEmail = QStringLiteral("");
    c.EnableTrending = 1;
    // No administrator login, so every menu is open; no pop-up with a sound every ten seconds.
    c.AdminUserName = QStringLiteral("");
    c.AdminPassword = QStringLiteral("");
    c.LogDirectory = QStringLiteral("");
    c.PopUps = 0;
    return c;
}

QString limitText(bool present, double value)
{
    return present ? QString::number(value) : QString();
}

// One row per port of the device's model, as its parameter editor saves them: the port's
// caption as sensor type, an empty name for an unused port.
bool saveSensors(Database &db, qint64 serverId, const SimDevice &device, QString &error)
{
    for (int port = 0; port < SimDevice::PortCount; ++port) {
        const QString caption = device.portCaption(port);
        if (caption.isEmpty())
            continue;
        const QString name = QString::fromLatin1(device.sensorName(port));
        double lower = 0;
        double upper = 0;
        const bool limits = !name.isEmpty() && device.limits(port, &lower, &upper);
        const QString tol = name.isEmpty() ? QString() : QString::number(device.timeOutOfLimits(port));
        if (!db.SaveSensor(serverId, name, port, QString(), caption, limitText(limits, upper),
                           limitText(limits, lower), tol)) {
            error = QStringLiteral("Could not add port %1 of %2: %3")
                        .arg(port)
                        .arg(device.address().toString(), db.lastError());
            return false;
        }
    }
    return true;
}

qint64 serverIdOf(Database &db, const QString &address)
{
    QList<ServerRecord> rows;
    int count = 0;
    if (!db.RecordServers(rows, count))
        return 0;
    for (const ServerRecord &row : rows) {
        if (row.ServerIPAddress == address)
            return row.IDNum;
    }
    return 0;
}

// Every device enabled, with communication on and the demo's alarm address list.
bool addDevices(Database &db, const Simulator &simulator, QString &error)
{
    for (const SimDevice *device : simulator.devices()) {
        const QString name = simulator.deviceName(device);
        const QString address = device->address().toString();
        // The program keeps only the address of a device and always uses the device port.
        if (device->port() != SimDevice::DefaultPort) {
            error = QStringLiteral("%1 listens on port %2; Tallyport reaches devices on port %3 only")
                        .arg(name)
                        .arg(device->port())
                        .arg(SimDevice::DefaultPort);
            return false;
        }
        if (!db.AddServer(name, device->modelText(), address, QStringLiteral("Simulated by tallyport-sim"), 1,
                          kUnsetPassword, kAlarmEmailList, -1)) {
            error = QStringLiteral("Could not add %1 (%2): %3").arg(name, address, db.lastError());
            return false;
        }
        const qint64 id = serverIdOf(db, address);
        if (id == 0) {
            error = QStringLiteral("Could not read back %1: %2").arg(name, db.lastError());
            return false;
        }
        if (!saveSensors(db, id, *device, error))
            return false;
    }
    return true;
}

// Fills a new database beside the target and puts it in place only when complete, so a failure
// leaves no half-filled wexa.mdb behind.
bool writeDatabase(ProgramState &state, const Simulator &simulator, const QString &schema, QString &error)
{
    const QString target = state.programFile(QString::fromLatin1(DatabaseFileName));
    const QString building = target + QStringLiteral(".building");
    if (!CreateDatabaseFromSchema(schema, building, true, error))
        return false;
    bool filled = false;
    {
        Database db(state, building);
        filled = addDevices(db, simulator, error);
    }
    if (filled) {
        QFile::remove(target);
        filled = QFile::rename(building, target);
        if (!filled)
            error = QStringLiteral("Cannot write %1").arg(QDir::toNativeSeparators(target));
    }
    QFile::remove(building);
    return filled;
}

bool writeSettings(ProgramState &state, QString &error)
{
    Cipher cipher;
    if (!cipher.InitCipher()) {
        error = QStringLiteral("The password cipher is not available");
        return false;
    }
    state.Config = demoSettings();
    if (!ConfigFile(state, cipher).SaveConfiguration()) {
        error = QStringLiteral("Cannot write %1")
                    .arg(QDir::toNativeSeparators(state.programFile(ConfigFile::FileName)));
        return false;
    }
    return true;
}

// The files the tool would replace, as a readable list; empty when there are none.
QStringList existingFiles(const QDir &dir)
{
    QStringList found;
    for (const QString &name : {QString::fromLatin1(DatabaseFileName), ConfigFile::FileName}) {
        if (QFileInfo::exists(dir.filePath(name)))
            found << QDir::toNativeSeparators(dir.filePath(name));
    }
    return found;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tallyport-demodb"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Makes the database (wexa.mdb) and settings file (TallyportConfig.dat) of a Tallyport program "
        "directory for the devices of a tallyport-sim scenario: every device enabled with its model "
        "text, its named sensors with their types and limits, updates every 10 seconds, mail to "
        "127.0.0.1:2525."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("scenario"), QStringLiteral("The scenario file (JSON)."));
    parser.addPositionalArgument(QStringLiteral("program-dir"),
                                 QStringLiteral("The directory Tallyport runs from (made when missing)."));
    const QCommandLineOption replace(QStringLiteral("replace"),
                                     QStringLiteral("Replace a database and settings file already there."));
    const QCommandLineOption schema(QStringLiteral("schema"),
                                    QStringLiteral("The schema file (default: the one built in)."),
                                    QStringLiteral("schema.sql"), QStringLiteral(":/schema.sql"));
    parser.addOptions({replace, schema});
    parser.process(app);

    const QStringList args = parser.positionalArguments();
    if (args.size() != 2) {
        err() << "usage: tallyport-demodb [--replace] [--schema <schema.sql>] <scenario.json> <program-dir>"
              << Qt::endl;
        return 2;
    }
    Simulator simulator;
    if (!simulator.loadFile(args.at(0))) {
        err() << "tallyport-demodb: " << simulator.errorString() << Qt::endl;
        return 1;
    }
    const QDir dir(args.at(1));
    const QStringList existing = existingFiles(dir);
    if (!existing.isEmpty() && !parser.isSet(replace)) {
        err() << "tallyport-demodb: not replacing " << existing.join(QStringLiteral(" and "))
              << " (give --replace to make them again)" << Qt::endl;
        return 1;
    }
    if (!QDir().mkpath(dir.path())) {
        err() << "tallyport-demodb: cannot make " << QDir::toNativeSeparators(dir.path()) << Qt::endl;
        return 1;
    }

    SystemClock clock;
    ConsolePrompts prompts;
    MemoryErrorLog errors;
    StatusList status;
    ProgramState state(dir.absolutePath(), clock, prompts, errors, status);
    QString error;
    if (!writeDatabase(state, simulator, parser.value(schema), error) || !writeSettings(state, error)) {
        err() << "tallyport-demodb: " << error << Qt::endl;
        return 1;
    }
    return 0;
}
