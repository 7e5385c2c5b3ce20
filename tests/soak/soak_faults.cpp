#include "soak_faults.h"

#include "../faults/support_rig.h"

#include <core/Activation.h>
#include <core/ProgramState.h>

#include <QDir>
#include <QFile>
#include <QSqlQuery>

namespace {
struct DeviceFault {
    const char *kind;
    SimFault fault;
};

// Faults a device shows for a few transactions at a time. A slow or dribbling reply comes too
// late for the link's reply time-out; an overlong one (a flood, too) is still accepted.
const DeviceFault kDeviceFaults[] = {
    {"busy", SimFault::Busy},
    {"silent", SimFault::Silent},
    {"slow", SimFault::Slow},
    {"dribble", SimFault::Dribble},
    {"short reply", SimFault::ShortReply},
    {"overlong reply", SimFault::OverlongReply},
    {"flood", SimFault::OverlongReply},
    {"garbage", SimFault::Garbage},
    {"error text", SimFault::ErrorText},
    {"wrong echo", SimFault::WrongEcho},
    {"reset mid-reply", SimFault::ResetMidReply},
    {"refused", SimFault::Refused},
};

// Per-cycle chances, in thousandths.
constexpr int kDeviceFaultChance = 20; // for each device
constexpr int kDeviceDiesChance = 5;
constexpr int kMailChance = 10;
constexpr int kLockChance = 10;
constexpr int kBackupChance = 5;
constexpr int kFullDiskChance = 5;
constexpr int kSettingsChance = 3;
constexpr int kReadOnlyChance = 5;
constexpr int kLoginChance = 20;
constexpr int kRestartChance = 5;
constexpr int kStopWhileAnsweringChance = 15;

const QFile::Permissions kReadOnlyDir = QFile::ReadOwner | QFile::ExeOwner;
const QFile::Permissions kWritableDir = kReadOnlyDir | QFile::WriteOwner;

// Whether a directory of mode r-x refuses a new file here.
bool readOnlyDirectoriesHold(const QString &directory)
{
    const QString probe = QDir(directory).filePath(QStringLiteral("read-only-probe"));
    if (!QFile::setPermissions(directory, kReadOnlyDir))
        return false;
    QFile file(probe);
    const bool refused = !file.open(QIODevice::WriteOnly);
    file.close();
    QFile::remove(probe);
    QFile::setPermissions(directory, kWritableDir);
    return refused;
}

constexpr quint16 kFirstMailPort = 2564;
// Nothing listens there: the mail server down.
constexpr quint16 kClosedMailPort = kFirstMailPort + 4;

std::unique_ptr<SmtpTestServer> mailServer(int octet, SmtpTestServer::Mode mode, QString &error)
{
    auto server = std::make_unique<SmtpTestServer>(SoakMailServer(octet, mode));
    if (!server->start()) {
        error = QStringLiteral("A misbehaving mail server did not start: ") + server->errorOutput();
        return nullptr;
    }
    return server;
}
} // namespace

SmtpTestServer::Options SoakMailServer(int octet, SmtpTestServer::Mode mode)
{
    SmtpTestServer::Options options;
    options.mode = mode;
    options.host = QStringLiteral("127.0.%1.250").arg(octet);
    options.port = quint16(kFirstMailPort + int(mode));
    return options;
}

FaultInjector::FaultInjector(FaultRig &rig, SoakPlant &plant, QRandomGenerator &random)
    : m_rig(rig), m_plant(plant), m_random(random),
      m_lockName(QStringLiteral("soak-lock-%1").arg(quintptr(this), 0, 16))
{
}

FaultInjector::~FaultInjector()
{
    endAll();
    QSqlDatabase::removeDatabase(m_lockName);
}

bool FaultInjector::start(QString &error)
{
    m_silentMail = mailServer(m_rig.octet(), SmtpTestServer::Mode::Silent, error);
    m_refusingMail = mailServer(m_rig.octet(), SmtpTestServer::Mode::Refuse, error);
    m_droppingMail = mailServer(m_rig.octet(), SmtpTestServer::Mode::Drop, error);
    m_closedPort = kClosedMailPort;
    m_readOnlyPossible = readOnlyDirectoriesHold(m_rig.t.dir.path());
    for (const QString &name : m_plant.deviceNames()) {
        SimFaultOptions &options = m_plant.device(name)->faultOptions();
        options.slowDelayMs = 600;
        options.dribbleIntervalMs = 15;
    }
    return m_silentMail && m_refusingMail && m_droppingMail;
}

void FaultInjector::beforeCycle(int cycle)
{
    for (qsizetype i = 0; i < m_undo.size();) {
        if (m_undo.at(i).atCycle <= cycle) {
            const Undo undo = m_undo.takeAt(i);
            undo.action();
        } else {
            ++i;
        }
    }
    for (const QString &name : m_plant.deviceNames())
        if (m_random.bounded(1000) < kDeviceFaultChance)
            injectDeviceFault(name, cycle);
    if (m_random.bounded(1000) < kDeviceDiesChance)
        killDeviceDuringCycle(cycle);
    if (m_random.bounded(1000) < kMailChance)
        breakMail(cycle);
    if (m_random.bounded(1000) < kLockChance && databaseLocks)
        lockDatabase(cycle);
    if (m_random.bounded(1000) < kBackupChance)
        removeBackupDirectory(cycle);
    if (m_random.bounded(1000) < kSettingsChance)
        damageSettings(cycle);
    if (m_random.bounded(1000) < kReadOnlyChance)
        makeProgramDirectoryReadOnly(cycle);
    if (m_random.bounded(1000) < kLoginChance)
        logInOrOutDuringCycle();
    if (m_random.bounded(1000) < kRestartChance)
        restart();
    if (m_random.bounded(1000) < kStopWhileAnsweringChance)
        m_stopWhileAnswering = true;
    m_fullDisk = m_random.bounded(1000) < kFullDiskChance;
    if (m_fullDisk)
        count(QStringLiteral("disk full for a cycle"));
}

void FaultInjector::afterCycle()
{
    if (m_stopWhileAnswering && m_rig.monitor->outbox.attemptRunning())
        stopWhileTheServerAnswers();
}

void FaultInjector::endAll()
{
    m_stopWhileAnswering = false;
    for (const Undo &undo : std::as_const(m_undo))
        undo.action();
    m_undo.clear();
    m_fullDisk = false;
    for (const QString &name : m_plant.deviceNames())
        if (m_plant.device(name)->fault() != SimFault::None)
            m_plant.device(name)->clearFault();
}

SoakPlant::Filing FaultInjector::filing() const
{
    if (m_fullDisk)
        return SoakPlant::Filing::None;
    return active(QStringLiteral("read-only")) ? SoakPlant::Filing::ExistingFiles : SoakPlant::Filing::All;
}

bool FaultInjector::active(const QString &kind) const
{
    for (const Undo &undo : m_undo)
        if (undo.kind == kind)
            return true;
    return false;
}

void FaultInjector::later(int cycle, const QString &kind, std::function<void()> action)
{
    m_undo.append(Undo{cycle, kind, std::move(action)});
}

void FaultInjector::injectDeviceFault(const QString &device, int cycle)
{
    SimDevice *sim = m_plant.device(device);
    if (sim->fault() != SimFault::None || active(QStringLiteral("dies ") + device))
        return;
    const DeviceFault &pick = kDeviceFaults[m_random.bounded(int(std::size(kDeviceFaults)))];
    const QString kind = QString::fromLatin1(pick.kind);
    sim->faultOptions().overlongLength = kind == QLatin1String("flood") ? 65536 : 100;
    count(QStringLiteral("device ") + kind);
    if (pick.fault == SimFault::Refused) {
        sim->setFault(SimFault::Refused);
        later(cyclesFromNow(cycle, 3), QStringLiteral("refused ") + device, [sim] { sim->clearFault(); });
        return;
    }
    sim->setFault(pick.fault, 1 + int(m_random.bounded(4)));
}

void FaultInjector::killDeviceDuringCycle(int cycle)
{
    const QStringList names = m_plant.deviceNames();
    const QString victim = names.at(int(m_random.bounded(int(names.size()))));
    if (active(QStringLiteral("dies ") + victim))
        return;
    SimDevice *dying = m_plant.device(victim);
    SimDevice *trigger = m_plant.device(names.at(int(m_random.bounded(int(names.size())))));
    // The first reply any device sends in the next cycle (its own or another's) ends it.
    const QMetaObject::Connection connection = QObject::connect(
        trigger, &SimDevice::replySent, dying, [dying] { dying->stop(); }, Qt::SingleShotConnection);
    count(QStringLiteral("device dies during a cycle"));
    later(cyclesFromNow(cycle, 3), QStringLiteral("dies ") + victim, [dying, connection] {
        QObject::disconnect(connection);
        dying->start();
    });
}

void FaultInjector::breakMail(int cycle)
{
    // Pointing the mail elsewhere is a settings change; a read-only directory would keep the
    // file's port, which every later read would bring back.
    if (active(QStringLiteral("mail")) || active(QStringLiteral("read-only")))
        return;
    static const char *const kinds[] = {"mail server down", "mail server silent", "mail server refuses",
                                        "mail server drops the connection"};
    const int pick = int(m_random.bounded(4));
    const quint16 ports[] = {m_closedPort, m_silentMail->port(), m_refusingMail->port(),
                             m_droppingMail->port()};
    m_rig.useMailPort(ports[pick]);
    count(QString::fromLatin1(kinds[pick]));
    // A minute to a few, or up to half an hour: the outbox's pauses grow to their longest.
    const int longest = m_random.bounded(2) == 0 ? 4 : 30;
    later(cyclesFromNow(cycle, longest), QStringLiteral("mail"),
          [this] { m_rig.useMailPort(m_rig.smtp.port()); });
}

void FaultInjector::lockDatabase(int cycle)
{
    if (m_locked)
        return;
    QSqlDatabase db = QSqlDatabase::contains(m_lockName)
                          ? QSqlDatabase::database(m_lockName)
                          : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_lockName);
    db.setDatabaseName(m_rig.t.path("wexa.mdb"));
    if (!db.isOpen() && !db.open())
        return;
    if (!QSqlQuery(db).exec(QStringLiteral("BEGIN EXCLUSIVE")))
        return;
    m_locked = true;
    count(QStringLiteral("database locked"));
    later(cyclesFromNow(cycle, 3), QStringLiteral("lock"), [this] {
        QSqlQuery(QSqlDatabase::database(m_lockName)).exec(QStringLiteral("ROLLBACK"));
        m_locked = false;
    });
}

void FaultInjector::removeBackupDirectory(int cycle)
{
    if (active(QStringLiteral("backup")))
        return;
    const QString backup = m_rig.t.path("backup");
    const QString away = m_rig.t.path("backup.away");
    if (!QDir().rename(backup, away))
        return;
    // A plain file where the directory was: nothing can be written there.
    QFile blocker(backup);
    blocker.open(QIODevice::WriteOnly);
    blocker.close();
    count(QStringLiteral("backup directory gone"));
    later(cyclesFromNow(cycle, 5), QStringLiteral("backup"), [backup, away] {
        QFile::remove(backup);
        QDir().rename(away, backup);
    });
}

void FaultInjector::damageSettings(int cycle)
{
    // A damaged file is put right by saving it, which a read-only directory refuses.
    if (active(QStringLiteral("settings")) || active(QStringLiteral("read-only")))
        return;
    static const int lengths[] = {0, 700, 1501};
    QByteArray bytes(lengths[m_random.bounded(3)], '\0');
    for (char &byte : bytes)
        byte = char(m_random.bounded(256));
    QFile file(m_rig.activation->configFile().path());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    file.write(bytes);
    file.close();
    count(QStringLiteral("settings file damaged"));
    later(cyclesFromNow(cycle, 3), QStringLiteral("settings"), [this] { m_rig.saveSettings(); });
}

void FaultInjector::makeProgramDirectoryReadOnly(int cycle)
{
    if (!m_readOnlyPossible || active(QStringLiteral("read-only")) || active(QStringLiteral("settings")) ||
        active(QStringLiteral("mail")))
        return;
    const QString directory = m_rig.t.dir.path();
    if (!QFile::setPermissions(directory, kReadOnlyDir))
        return;
    count(QStringLiteral("program directory read-only"));
    later(cyclesFromNow(cycle, 4), QStringLiteral("read-only"),
          [directory] { QFile::setPermissions(directory, kWritableDir); });
}

void FaultInjector::restart()
{
    // Not while the database is locked or the settings cannot be saved: a crash then loses what
    // only memory held (alarms not yet recorded, the date of today's system-OK e-mail), which no
    // program can keep.
    if (!restartProgram || m_locked || active(QStringLiteral("read-only")) ||
        active(QStringLiteral("settings")))
        return;
    // A crash while the server takes a message would send it again at the next start, as any
    // mail client would; the run crashes between attempts.
    const bool clean = m_random.bounded(2) == 0 || m_rig.monitor->outbox.attemptRunning();
    count(clean ? QStringLiteral("program closed and started again")
                : QStringLiteral("program crashed and started again"));
    restartProgram(clean);
}

void FaultInjector::stopWhileTheServerAnswers()
{
    // As restart() (the settings must be savable); the attempt must be the run's own server's,
    // which holds back its answer to one device's messages for a moment. Asked for again after
    // the next cycles until then.
    if (!restartProgram || m_locked || active(QStringLiteral("read-only")) ||
        active(QStringLiteral("settings")) || active(QStringLiteral("mail")))
        return;
    if (!m_rig.smtp.waitForHeldAnswer(3000))
        return;
    m_stopWhileAnswering = false;
    count(QStringLiteral("program closed while the server answered a message"));
    restartProgram(true);
}

void FaultInjector::logInOrOutDuringCycle()
{
    // Not while the settings file is damaged: the activation sequence would read it.
    if (active(QStringLiteral("login")) || active(QStringLiteral("settings")))
        return;
    const QStringList names = m_plant.deviceNames();
    SimDevice *trigger = m_plant.device(names.at(int(m_random.bounded(int(names.size())))));
    ProgramState &state = m_rig.t.state;
    Activation &activation = *m_rig.activation;
    // Inside a transaction's wait: the login window closes (an activation is asked for) or the
    // administrator logs out.
    const QMetaObject::Connection connection = QObject::connect(
        trigger, &SimDevice::replySent, trigger,
        [&state, &activation] {
            if (state.LoginSucceeded) {
                activation.LogOut();
                return;
            }
            state.LoginSucceeded = true;
            activation.RunActivationSequence();
        },
        Qt::SingleShotConnection);
    count(state.LoginSucceeded ? QStringLiteral("log-out during a cycle")
                               : QStringLiteral("login during a cycle"));
    later(0, QStringLiteral("login"), [connection] { QObject::disconnect(connection); });
}
