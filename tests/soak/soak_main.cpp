// The soak run: thousands of poll cycles of the whole monitoring engine against simulated
// devices, a real SMTP server and the real database and data files, with faults injected at
// random (seeded), the daily system-OK e-mail on and an administrator logging in and out while
// cycles run, mail outages of up to half an hour, and the program closed or crashing and started
// again. After every cycle the records, the menu rights and the system-OK e-mails of the day are
// checked; at the end, once the outages are over and the outbox is empty, the readings filed and
// the alarm e-mails and notices delivered (each exactly once) are compared with what the devices
// reported and the records say, and the descriptors, sockets and memory the process holds with
// what it held after the first cycles. The trend chart's data is fed after every cycle, as the
// window feeds it, keeping an hour, so its oldest points leave memory again and again; the
// resident memory and the heap in use are reported at the start and at the end.
//
//   tallyport-soak [--cycles N] [--devices N] [--sensors N] [--seed S] [--parallel P] [--octet O] [--verbose]
#include "soak_checks.h"
#include "soak_faults.h"
#include "soak_outbox.h"
#include "soak_plant.h"
#include "soak_resources.h"

#include "../faults/support_child.h"
#include "../faults/support_rig.h"

#include <core/DescriptorLimit.h>
#include <support/CycleRun.h>

#include <acquisition/TrendData.h>
#include <core/EventLoopChoice.h>
#include <core/IniFile.h>
#include <support/OutboxSettle.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMap>
#include <QRandomGenerator>
#include <QSet>
#include <QSqlQuery>

#include <algorithm>
#include <utility>

#include <cstdio>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {
constexpr int kClosingCycles = 3;
constexpr double kAnswerDelaySeconds = 0.3;
// Only messages about one device are held: the soak's clock moves a minute a cycle, so holding
// every answer would let a burst after a mail outage age by simulated hours in seconds of real time.
const QByteArray kHeldDevice = QByteArrayLiteral("Site A ");
// Growth allowed between the sample after the warm-up (for memory: the most the first half of the
// run held) and the end. The database engine's page
// cache grows with the file up to its limit (2 MiB a connection) and is counted apart.
constexpr int kDescriptorSlack = 4;
constexpr qint64 kMemorySlackKb = 4 * 1024;
// Descriptors the run needs beside the devices' listening sockets: the database, the mail
// servers and their connections, the engine's pipes and some data files (the engine keeps no
// more open than its share of the limit allows).
constexpr int kDescriptorsBesideDevices = 256;
// The chart's kept span: an hour, an hour of cycles at one a minute.
constexpr qint64 kChartKeepMs = 3600 * 1000;
constexpr int kChartMostPoints = 60 + 60 / 16 + 2;

bool g_verbose = false;

// Run as root, the process gives up its right to ignore file modes, so a directory made
// read-only is read-only for it as for any program. False when that failed.
bool giveUpFileModeOverride()
{
    if (::geteuid() != 0)
        return true;
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (::syscall(SYS_capget, &header, data) != 0)
        return false;
    for (int capability : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH})
        data[capability / 32].effective &= ~(1u << (capability % 32));
    return ::syscall(SYS_capset, &header, data) == 0;
}
qint64 g_warnings = 0;

void quietHandler(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtDebugMsg || type == QtInfoMsg || type == QtWarningMsg) {
        ++g_warnings;
        if (!g_verbose)
            return;
    }
    std::fprintf(stderr, "%s\n", qPrintable(message));
}

void print(const QString &line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

// Mail the SMTP server received, by kind; the server's list is emptied as it is counted. A
// notification received twice (the same Message-ID) is a problem.
class MailCount {
public:
    void take(SmtpTestServer &server)
    {
        for (const SmtpTestServer::Received &mail : server.messages()) {
            const QByteArray subject = mail.header("Subject");
            const QByteArray id = mail.header("Message-ID");
            const bool seen = m_ids.contains(id);
            if (seen && !subject.contains("has been shutdown"))
                m_duplicates << QString::fromLatin1(subject + ' ' + id);
            if (!seen) {
                m_ids.insert(id);
                m_idBytes += id.capacity();
            }
            if (subject.contains("has generated an alarm"))
                ++m_kinds[QStringLiteral("alarm")];
            else if (subject.contains("up and running")) {
                ++m_kinds[QStringLiteral("system OK")];
                ++m_systemOk;
            } else if (mail.data.contains("The device: "))
                ++m_kinds[QStringLiteral("device failure notice")];
            else if (mail.data.contains("error writing data log files"))
                ++m_kinds[QStringLiteral("backup failure notice")];
            else
                ++m_kinds[QStringLiteral("other")];
        }
        server.clearMessages();
    }
    // Heap the identities of the messages received take: each a byte array whose text has an
    // allocation of its own (a header of 16 bytes, the terminator, the allocator's 8 and rounding).
    qint64 heldKb() const
    {
        constexpr qint64 entry = sizeof(QByteArray) + 40;
        return (HashHeapBytes(m_ids.capacity(), m_ids.size(), entry) + m_idBytes) / 1024;
    }
    int of(const QString &kind) const { return m_kinds.value(kind); }
    const QMap<QString, int> &kinds() const { return m_kinds; }
    // System-OK e-mails received since the last call.
    int takeSystemOk() { return std::exchange(m_systemOk, 0); }
    const QSet<QByteArray> &receivedIds() const { return m_ids; }
    QStringList duplicates() const
    {
        QStringList problems;
        for (const QString &mail : m_duplicates)
            problems << QStringLiteral("received twice: ") + mail;
        return problems;
    }

private:
    QSet<QByteArray> m_ids;
    QStringList m_duplicates;
    QMap<QString, int> m_kinds;
    int m_systemOk = 0;
    qint64 m_idBytes = 0;
};

// What the run checks about logins and activations: no activation step ever runs inside a cycle;
// one asked for during a cycle runs after it; the menu rights follow the login at once; at most
// one system-OK e-mail arrives per calendar day.
class SessionChecks {
public:
    explicit SessionChecks(FaultRig &rig) : m_rig(rig) { watchActivations(); }

    // Again after a restart: the new engine sets the activation's services afresh.
    void watchActivations()
    {
        ActivationServices &services = m_rig.activation->services;
        services.StopTimeout = [this, stop = services.StopTimeout] {
            if (m_rig.t.state.UpdateInProgress)
                ++m_insideCycle;
            stop();
        };
    }

    QStringList afterCycle(int cycle, int systemOkReceived)
    {
        QStringList problems;
        if (m_insideCycle > 0)
            problems << QStringLiteral("cycle %1: an activation ran inside the cycle").arg(cycle);
        m_insideCycle = 0;
        Activation &activation = *m_rig.activation;
        if (activation.activationDeferred()) {
            // As the main window does once the tick has ended the cycle.
            activation.RunActivationSequence();
            ++m_deferred;
            if (activation.activationDeferred())
                problems << QStringLiteral("cycle %1: the held-back activation did not run").arg(cycle);
        }
        const bool loggedIn = m_rig.t.state.LoginSucceeded;
        if (!activation.configFile().administratorLoginDamaged() &&
            activation.CurrentMenuRights().configurationEnabled != loggedIn)
            problems << QStringLiteral("cycle %1: Setup is %2 while %3")
                            .arg(cycle)
                            .arg(loggedIn ? "locked" : "unlocked")
                            .arg(loggedIn ? "logged in" : "logged out");
        const QDate day = m_rig.t.clock.now().date();
        m_systemOkByDay[day] += systemOkReceived;
        if (m_systemOkByDay[day] > 1 && systemOkReceived > 0)
            problems << QStringLiteral("cycle %1: %2 system-OK e-mails on %3")
                            .arg(cycle)
                            .arg(m_systemOkByDay[day])
                            .arg(day.toString(Qt::ISODate));
        return problems;
    }

    int activationsAfterCycles() const { return m_deferred; }
    int days() const { return int(m_systemOkByDay.size()); }

private:
    FaultRig &m_rig;
    int m_insideCycle = 0;
    int m_deferred = 0;
    QMap<QDate, int> m_systemOkByDay;
};

struct Options {
    int cycles = 1000;
    quint32 seed = 0;
    int parallel = PollIniSettings().parallel;
    int octet = 64;
    int devices = 4;
    int sensors = 3;
    bool databaseLocks = true;
};

bool parse(QCoreApplication &app, Options &options)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Soak run of the monitoring engine with random faults."));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("cycles"), QStringLiteral("Poll cycles to run (default 1000)."),
                      QStringLiteral("n"), QStringLiteral("1000")});
    parser.addOption({QStringLiteral("seed"), QStringLiteral("Seed of the fault schedule (default: random)."),
                      QStringLiteral("s")});
    parser.addOption({QStringLiteral("parallel"),
                      QStringLiteral("Device exchanges a cycle overlaps, [poll] parallel (default 8)."),
                      QStringLiteral("p"), QString::number(options.parallel)});
    parser.addOption(
        {QStringLiteral("octet"),
         QStringLiteral("Octet of the run's addresses (default 64), so that two runs can go side by "
                        "side: its mail servers and first 250 devices are on 127.0.O.x, the devices "
                        "past them on 127.O.x.y."),
         QStringLiteral("o"), QString::number(options.octet)});
    parser.addOption({QStringLiteral("devices"),
                      QStringLiteral("Simulated devices (default 4, at most 10000); past 250 they stand on "
                                     "127.O.x.y."),
                      QStringLiteral("n"), QString::number(options.devices)});
    parser.addOption(
        {QStringLiteral("sensors"),
         QStringLiteral("Sensors a device (default 3: freezer, cooler, door; at most 10: six more "
                        "temperatures and a second door)."),
         QStringLiteral("n"), QString::number(options.sensors)});
    parser.addOption(
        {QStringLiteral("no-database-lock"),
         QStringLiteral("Leave out the fault of another program holding the database locked: while "
                        "it lasts every write waits the busy time-out, which at thousands of "
                        "devices stretches a cycle to many minutes.")});
    parser.addOption({QStringLiteral("verbose"), QStringLiteral("Show the engine's warnings.")});
    parser.process(app);
    bool ok = true;
    options.cycles = parser.value(QStringLiteral("cycles")).toInt(&ok);
    if (!ok || options.cycles < 1)
        return false;
    options.parallel = parser.value(QStringLiteral("parallel")).toInt(&ok);
    if (!ok || options.parallel < 1 || options.parallel > PollIniSettings::MaxParallel)
        return false;
    options.octet = parser.value(QStringLiteral("octet")).toInt(&ok);
    if (!ok || options.octet < 1 || options.octet > 254)
        return false;
    options.devices = parser.value(QStringLiteral("devices")).toInt(&ok);
    if (!ok || options.devices < 1 || options.devices > 10000)
        return false;
    options.sensors = parser.value(QStringLiteral("sensors")).toInt(&ok);
    if (!ok || options.sensors < 1 || options.sensors > SimDevice::PortCount)
        return false;
    options.seed = parser.isSet(QStringLiteral("seed")) ? parser.value(QStringLiteral("seed")).toUInt(&ok)
                                                        : QRandomGenerator::system()->generate();
    g_verbose = parser.isSet(QStringLiteral("verbose"));
    options.databaseLocks = !parser.isSet(QStringLiteral("no-database-lock"));
    return ok;
}

// The engine with its devices, mail and backup directory, as the program would run it.
bool setUp(FaultRig &rig, SoakPlant &plant, const Options &options, QString &error)
{
    if (!rig.start(error))
        return false;
    // In the file, as an operator sets it: every activation reads it again.
    rig.t.state.Ini.poll.parallel = options.parallel;
    if (!IniFile(rig.t.state).Save()) {
        error = QStringLiteral("Tallyport.ini could not be written");
        return false;
    }
    ConfigRecord &c = rig.t.state.Config;
    // A cycle at every tick; the run moves its clock by a minute a cycle itself.
    c.UpdateRate = 5;
    c.AdminUserName = QStringLiteral("soak");
    c.AdminPassword = QStringLiteral("soak password");
    c.CommunicationRetry = 2;
    c.SMTPTimeOut = 1;
    c.SystemOKEmail = 1;
    c.LastSystemOKEmail = DateTimeText(rig.t.clock.now().addDays(-1));
    c.LogDirectory = rig.t.path("backup");
    if (!QDir().mkpath(c.LogDirectory)) {
        error = QStringLiteral("The backup directory could not be made");
        return false;
    }
    rig.saveSettings();
    rig.monitor->mail.SetUpMailManager();
    // The run's own reader keeps a small cache, so the memory figures are the engine's.
    QSqlQuery(rig.reader()).exec(QStringLiteral("PRAGMA cache_size=-64"));
    if (!plant.build(options.devices, options.sensors)) {
        error = QStringLiteral("A simulated device did not start");
        return false;
    }
    // Cycles are started by the poll tick, as in the program (UpdateInProgress is set while one
    // runs); the run delivers the ticks itself.
    rig.pollTimer->setTickMs(24 * 3600 * 1000);
    rig.pollTimer->setTicksPerCycle(1);
    return true;
}

// One tick, and the cycle it starts run to its end.
void tick(FaultRig &rig)
{
    rig.t.clock.advanceSeconds(60);
    RunTimerCycleToEnd(
        *rig.pollTimer, [&rig] { rig.pollTimer->Tick(); }, 600000);
}

void runOneCycle(FaultRig &rig, const FaultInjector &faults, SoakPlant &plant)
{
    if (faults.fullDiskThisCycle()) {
        FileSizeLimit full(0);
        tick(rig);
    } else {
        tick(rig);
    }
    for (const QString &name : plant.deviceNames())
        plant.device(name)->clearTraffic();
}

// Once every outage has ended and the outbox is empty: every alarm record of a device with
// addresses says when its one e-mail went out, and the server received exactly as many; every
// notified failure episode says when its notice went out, and as many notices arrived.
QStringList checkDelivered(FaultRig &rig, const MailCount &mail)
{
    QStringList problems = mail.duplicates();
    if (const int left = rig.count(QStringLiteral("tblOutbox")); left > 0)
        problems << QStringLiteral("%1 messages still in the outbox after the outages ended").arg(left);
    const auto checkKind = [&](const QString &sql, const QString &kind) {
        int sent = 0, other = 0;
        QString example;
        for (const QString &emailSent : rig.column(sql)) {
            if (ParseDateTimeText(emailSent).isValid())
                ++sent;
            else if (!emailSent.contains(QLatin1String("no email addresses have been programmed")) &&
                     ++other == 1)
                example = emailSent;
        }
        if (other > 0)
            problems << QStringLiteral("%1 %2 records were not delivered, one says: %3")
                            .arg(other)
                            .arg(kind, QString(example).replace(QChar(13), QLatin1Char('|')));
        if (sent != mail.of(kind))
            problems << QStringLiteral("%1 %2 records say their e-mail went out; the server received %3")
                            .arg(sent)
                            .arg(kind)
                            .arg(mail.of(kind));
    };
    checkKind(QStringLiteral("SELECT EmailSent FROM tblAlarms"), QStringLiteral("alarm"));
    checkKind(QStringLiteral("SELECT EmailSent FROM tblServerFailures WHERE EmailSent <> 'False'"),
              QStringLiteral("device failure notice"));
    checkKind(QStringLiteral("SELECT EmailSent FROM tblLogFileBackup WHERE EmailSent <> 'False'"),
              QStringLiteral("backup failure notice"));
    const QString log = rig.t.state.programFile(QString::fromLatin1(MailManager::SentMailLogName));
    for (const QString &id : SentButNotReceived(log, mail.receivedIds()))
        problems << QStringLiteral("logged as sent, never received: ") + id;
    return problems;
}

// After the run: until the outbox is empty, its pauses are waited out (the clock moved on), and
// every message the server received is counted.
void drainOutbox(FaultRig &rig, MailCount &mail)
{
    for (int round = 0; round < 20 && rig.monitor->outbox.waitingCount() > 0; ++round) {
        rig.t.clock.advanceSeconds(rig.t.state.Ini.mail.retryMaxSeconds);
        rig.monitor->outbox.Resume();
        SettleOutbox(rig.monitor->outbox);
        rig.smtp.waitForMessages(1, 200);
        mail.take(rig.smtp);
    }
    // The server writes each message down before it answers, but what it wrote may still be in
    // the pipe when the last attempt has ended: it is read until a second passes with nothing new.
    while (rig.smtp.waitForMessages(1, 1000))
        mail.take(rig.smtp);
}

// The chart after a cycle: its lines laid out from the grid, then the cycle's points.
QStringList feedChart(TrendData &chart, int cycle)
{
    chart.Build();
    chart.AddReadings();
    if (chart.pointCount() > kChartMostPoints)
        return {QStringLiteral("cycle %1: the trend chart holds %2 points, more than its kept hour")
                    .arg(cycle)
                    .arg(chart.pointCount())};
    return {};
}

// Wall time the run's own checks take: with thousands of devices they must stay small beside
// the cycles they check.
struct CheckTimes {
    qint64 recordsNs = 0;
    qint64 alarmStatesNs = 0;
    qint64 filedNs = 0;
    qint64 chartNs = 0;
};

template <typename Check> QStringList timed(qint64 &nanoseconds, Check check)
{
    QElapsedTimer timer;
    timer.start();
    QStringList problems = check();
    nanoseconds += timer.nsecsElapsed();
    return problems;
}

QString seconds(qint64 nanoseconds)
{
    return QString::number(double(nanoseconds) / 1e9, 'f', 2) + QStringLiteral(" s");
}

// What the process itself holds, beside the run's own records: the heap in use, where the
// allocator says (a leak is memory allocated and never freed). The resident size is no measure of
// that at thousands of devices: after a burst of faults it stays up to 8 MiB higher than before
// with the heap in use unchanged (pages the allocator cannot give back while a few of their
// blocks live, and the code and data of paths run for the first time).
qint64 engineKb(const ResourceSample &sample)
{
    return (sample.heapKb > 0 ? sample.heapKb : sample.residentKb) - sample.ownKb;
}

// Growth from start to end. The memory is judged against the most the first half of the run
// held (at least start's): a restart of the program, or a burst of faults, moves it up and down,
// whereas a leak goes on growing through the second half.
bool grew(const ResourceSample &start, const ResourceSample &end, qint64 firstHalfMostKb)
{
#if defined(TALLYPORT_TSAN)
    // Under ThreadSanitizer the checker's own records of every access grow the resident memory;
    // memory is judged in the plain build, descriptors in both.
    const bool memoryGrew = false;
#else
    const bool memoryGrew = engineKb(end) > std::max(engineKb(start), firstHalfMostKb) + kMemorySlackKb;
#endif
    const int devicesMore = end.listeningDevices - start.listeningDevices;
    return end.descriptors - end.dataFiles >
               start.descriptors - start.dataFiles + devicesMore + kDescriptorSlack ||
           end.sockets > start.sockets + devicesMore + kDescriptorSlack || memoryGrew;
}
} // namespace

int main(int argc, char *argv[])
{
    // The event loop the program runs on.
    PreferQtEventLoop();
    QCoreApplication app(argc, argv);
    Options options;
    if (!parse(app, options)) {
        std::fprintf(stderr, "--cycles takes a positive number, --seed a whole number, --parallel 1 to 64, "
                             "--octet 1 to 254, --devices 1 to 10000, --sensors 1 to 10\n");
        return 2;
    }
    qInstallMessageHandler(quietHandler);
    const long descriptorLimit = RaiseDescriptorLimit();
    // Each simulated device holds a listening socket for the whole run.
    if (descriptorLimit >= 0 && descriptorLimit < options.devices + kDescriptorsBesideDevices) {
        std::fprintf(stderr,
                     "The descriptor limit (%ld, the hard limit) leaves too few for %d devices; raise it "
                     "(ulimit -Hn) to at least %d\n",
                     descriptorLimit, options.devices, options.devices + kDescriptorsBesideDevices);
        return 2;
    }
    print(QStringLiteral("Soak run: %1 cycles, %2 devices x %3 sensors, seed %4, [poll] parallel=%5, "
                         "descriptor limit %6")
              .arg(options.cycles)
              .arg(options.devices)
              .arg(options.sensors)
              .arg(options.seed)
              .arg(options.parallel)
              .arg(descriptorLimit));

    QRandomGenerator random(options.seed);
    // The run's mail server holds back its answer to one device's messages for a moment: a stop
    // can fall while it answers.
    SmtpTestServer::Options server = SoakMailServer(options.octet, SmtpTestServer::Mode::Smtp);
    server.holdReplySeconds = kAnswerDelaySeconds;
    server.holdText = kHeldDevice;
    FaultRig rig(options.octet, server);
    SoakPlant plant(rig, random);
    QString error;
    QElapsedTimer setUpTime;
    setUpTime.start();
    if (!setUp(rig, plant, options, error)) {
        print(QStringLiteral("Set-up failed: ") + error);
        return 2;
    }
    const bool modesHold = giveUpFileModeOverride();
    FaultInjector faults(rig, plant, random);
    faults.databaseLocks = options.databaseLocks;
    if (!options.databaseLocks)
        print(QStringLiteral("Note: the database is never locked by another program in this run"));
    if (!faults.start(error)) {
        print(QStringLiteral("Set-up failed: ") + error);
        return 2;
    }
    print(QStringLiteral("Set up in %1").arg(seconds(setUpTime.nsecsElapsed())));
    if (!modesHold || !faults.readOnlyPossible())
        print(QStringLiteral("Note: directories cannot be made read-only here; that fault is left out"));
    RecordChecker records(rig);
    SessionChecks sessions(rig);
    MailCount mail;
    TrendData chart(rig.t.clock);
    chart.setKeepMs(kChartKeepMs);
    chart.setModel(&rig.monitor->grid);
    faults.restartProgram = [&](bool clean) {
        rig.restart(clean);
        sessions.watchActivations();
        chart.setModel(&rig.monitor->grid);
    };
    QStringList problems;
    const int warmUp = qMin(100, qMax(1, options.cycles / 10));
    const auto sample = [&] {
        ResourceSample taken = ResourceSample::take();
        taken.ownKb = records.heldKb() + mail.heldKb() + chart.memoryBytes() / 1024;
        taken.listeningDevices = plant.listeningDevices();
        return taken;
    };
    const ResourceSample beforeCycles = sample();
    ResourceSample atStart;
    qint64 firstHalfMostKb = 0; // the most the samples from the warm-up to half-way held
    const auto sampleFirstHalf = [&](int cycle, const ResourceSample &taken) {
        if (cycle >= warmUp && cycle <= options.cycles / 2)
            firstHalfMostKb = std::max(firstHalfMostKb, engineKb(taken));
    };
    QElapsedTimer elapsed;
    elapsed.start();
    CheckTimes times;

    for (int cycle = 1; cycle <= options.cycles && problems.size() < 50; ++cycle) {
        plant.change();
        faults.beforeCycle(cycle);
        runOneCycle(rig, faults, plant);
        faults.afterCycle();
        mail.take(rig.smtp);
        problems << timed(times.recordsNs, [&] { return records.check(cycle); });
        problems << timed(times.alarmStatesNs, [&] {
            return plant.afterCycle(cycle, faults.filing(), faults.databaseWritable());
        });
        problems << sessions.afterCycle(cycle, mail.takeSystemOk());
        problems << timed(times.chartNs, [&] { return feedChart(chart, cycle); });
        if (cycle == warmUp) {
            atStart = sample();
            sampleFirstHalf(cycle, atStart);
        }
        if (cycle % qMax(1, options.cycles / 10) == 0) {
            const ResourceSample now = sample();
            sampleFirstHalf(cycle, now);
            print(QStringLiteral("  cycle %1 after %2 s: %3")
                      .arg(cycle)
                      .arg(elapsed.elapsed() / 1000)
                      .arg(now.describe()));
        }
    }

    // Every fault taken away: what was held back is written, and the totals must add up.
    faults.endAll();
    for (int cycle = 1; cycle <= kClosingCycles; ++cycle) {
        plant.change();
        runOneCycle(rig, faults, plant);
        rig.smtp.waitForMessages(1, 200);
        mail.take(rig.smtp);
        problems << timed(times.recordsNs, [&] { return records.check(options.cycles + cycle); });
        problems << timed(times.alarmStatesNs, [&] {
            return plant.afterCycle(options.cycles + cycle, SoakPlant::Filing::All, true);
        });
        problems << sessions.afterCycle(options.cycles + cycle, mail.takeSystemOk());
    }
    SettleOutbox(rig.monitor->outbox);
    drainOutbox(rig, mail);
    // Before the final checks, whose listing of tens of thousands of files the allocator may keep.
    const ResourceSample atEnd = sample();
    problems << timed(times.filedNs, [&] { return plant.checkFiled(); }) << checkDelivered(rig, mail)
             << rig.tornFiles();
    if (grew(atStart, atEnd, firstHalfMostKb))
        problems << QStringLiteral("resources grew: %1 -> %2 (the first half of the run held at most %3 KiB "
                                   "of heap in use beside the run's own)")
                        .arg(atStart.describe(), atEnd.describe())
                        .arg(firstHalfMostKb);

    print(QStringLiteral("Cycles run: %1 (+%2 closing) in %3 s, seed %4")
              .arg(options.cycles)
              .arg(kClosingCycles)
              .arg(elapsed.elapsed() / 1000)
              .arg(options.seed));
    int total = 0;
    for (auto it = faults.injected().constBegin(); it != faults.injected().constEnd(); ++it)
        total += it.value();
    print(QStringLiteral("Faults injected: %1").arg(total));
    for (auto it = faults.injected().constBegin(); it != faults.injected().constEnd(); ++it)
        print(QStringLiteral("  %1: %2").arg(it.key()).arg(it.value()));
    print(QStringLiteral("Alarm records followed: %1; alarm states checked against the devices: %2")
              .arg(records.alarmRowsFollowed())
              .arg(plant.alarmExpectationsChecked()));
    print(QStringLiteral("Failure episodes followed: %1; record checks: %2")
              .arg(records.episodesFollowed())
              .arg(records.rowChecks()));
    print(QStringLiteral("The run's own checks: records after cycles %1, alarm states and readings due "
                         "after cycles %2, readings filed at the end %3; feeding the trend chart %4")
              .arg(seconds(times.recordsNs), seconds(times.alarmStatesNs), seconds(times.filedNs),
                   seconds(times.chartNs)));
    QStringList received;
    for (auto it = mail.kinds().constBegin(); it != mail.kinds().constEnd(); ++it)
        received << QStringLiteral("%1 %2").arg(it.value()).arg(it.key());
    print(QStringLiteral("Mail received: ") + received.join(QStringLiteral(", ")));
    print(QStringLiteral("Received twice (sent again after the server took it): %1")
              .arg(mail.duplicates().size()));
    print(OutboxFigures(rig.t.state.programFile(QString::fromLatin1(MailManager::SentMailLogName))));
    print(QStringLiteral("Calendar days run: %1; activations held back to the end of a cycle: %2")
              .arg(sessions.days())
              .arg(sessions.activationsAfterCycles()));
    print(QStringLiteral("Error log lines: %1; engine warnings: %2")
              .arg(rig.count(QStringLiteral("tblErrors")))
              .arg(g_warnings));
    print(QStringLiteral("Trend chart: %1 lines, %2 points each in memory (%3 KiB)")
              .arg(chart.seriesCount())
              .arg(chart.pointCount())
              .arg(chart.memoryBytes() / 1024));
    print(QStringLiteral("At the start:   %1").arg(beforeCycles.describe()));
    print(QStringLiteral("After cycle %1: %2").arg(warmUp).arg(atStart.describe()));
    print(QStringLiteral("At the end:     %1").arg(atEnd.describe()));
    if (!problems.isEmpty()) {
        print(QStringLiteral("PROBLEMS (%1):").arg(problems.size()));
        for (const QString &problem : std::as_const(problems))
            print(QStringLiteral("  ") + problem);
        return 1;
    }
    print(QStringLiteral("All checks held."));
    return 0;
}
