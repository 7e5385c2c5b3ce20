// The Debian package: made from this build with CPack, unpacked with dpkg-deb, its files, unit
// and desktop entry checked, and its own program run headless for a poll cycle.
#include "support_program.h"

#include "../monitoring/support_monitoring.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {
struct Result {
    int exitCode = -1;
    QString output;
};

Result runTool(const QString &program, const QStringList &arguments, int timeoutMs = 45000)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    Result result;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        result.output = QStringLiteral("timed out");
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.output = QString::fromLocal8Bit(process.readAll());
    return result;
}

QString readText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}
} // namespace

class TestPackage : public QObject {
    Q_OBJECT

    QTemporaryDir m_work;
    QString m_package;

    QString root() const { return m_work.filePath("root"); }
    QString installed(const QString &path) const { return root() + path; }

private slots:
    void initTestCase();
    void holdsTheProgramAndItsFiles();
    void controlDeclaresDependencies();
    void maintainerScriptsFollowDebiansServiceRules();
    void passesLintian();
    void unitFileVerifies();
    void desktopEntryValidates();
    void unpackedProgramRunsACycle();
    void installedCopyKeepsFilesInTheUsersDataFolder();
};

void TestPackage::initTestCase()
{
#ifndef TALLYPORT_CPACK
    QSKIP("the package is made from the regular build tree with its windows only");
#else
    if (QStandardPaths::findExecutable("dpkg-deb").isEmpty())
        QSKIP("dpkg-deb is not installed");
    // CPack installs the build into a staging tree and packs it, as `--target package` does.
    const Result made = runTool(QStringLiteral(TALLYPORT_CPACK),
                                {"--config", TALLYPORT_BINARY_DIR "/CPackConfig.cmake", "-B", m_work.path()});
    QVERIFY2(made.exitCode == 0, qPrintable(made.output));
    const QStringList debs = QDir(m_work.path()).entryList({"tallyport_*_amd64.deb", "tallyport_*.deb"});
    QVERIFY2(!debs.isEmpty(), qPrintable(made.output));
    m_package = m_work.filePath(debs.first());
    const Result unpacked = runTool("dpkg-deb", {"-x", m_package, root()});
    QVERIFY2(unpacked.exitCode == 0, qPrintable(unpacked.output));
    QCOMPARE(runTool("dpkg-deb", {"-e", m_package, m_work.filePath("control")}).exitCode, 0);
#endif
}

void TestPackage::holdsTheProgramAndItsFiles()
{
    for (const char *path :
         {"/usr/bin/tallyport", "/usr/bin/tallyport-sim", "/usr/bin/tallyport-makedb",
          "/usr/share/tallyport/schema.sql", "/usr/share/tallyport/ding.wav",
          "/usr/share/applications/tallyport.desktop", "/usr/share/icons/hicolor/scalable/apps/tallyport.svg",
          "/usr/lib/systemd/system/tallyport.service", "/usr/share/doc/tallyport/README.md",
          "/usr/share/doc/tallyport/examples/tallyport-dashboard.json",
          "/usr/share/doc/tallyport/examples/tallyport-rules.yml"})
        QVERIFY2(QFile::exists(installed(QLatin1String(path))), path);
    for (const char *program : {"/usr/bin/tallyport", "/usr/bin/tallyport-sim", "/usr/bin/tallyport-makedb"})
        QVERIFY2(QFileInfo(installed(QLatin1String(program))).isExecutable(), program);
    QCOMPARE(readText(installed("/usr/share/tallyport/schema.sql")),
             readText(TALLYPORT_SOURCE_DIR "/resources/schema.sql"));
}

void TestPackage::controlDeclaresDependencies()
{
    const Result depends = runTool("dpkg-deb", {"-f", m_package, "Depends"});
    QCOMPARE(depends.exitCode, 0);
    // What the programs link (found by dpkg-shlibdeps) and the plugins Qt loads.
    for (const char *name : {"libqt6core6", "libqt6widgets6", "libqt6httpserver6", "libcurl4", "libssl3",
                             "libqt6sql6-sqlite", "qt6-qpa-plugins", "adduser"})
        QVERIFY2(depends.output.contains(QLatin1String(name)), qPrintable(depends.output));
}

// The maintainer scripts run in a sandbox: the system paths they touch point into a temporary
// directory, and the commands that change the system are stubs that log their arguments and
// answer as the scenario says (group or user present, unit known to deb-systemd-helper, enabled).
struct MaintainerScriptRun {
    QTemporaryDir sandbox;
    QString controlDir;
    bool systemdRunning = true;
    QStringList present; // "group", "user", "installed", "enabled"

    QStringList run(const QString &script, const QStringList &arguments, int *exitCode = nullptr)
    {
        const QString stubs = sandbox.filePath("stubs");
        QDir().mkpath(stubs);
        QDir().mkpath(sandbox.filePath("var"));
        const QString systemdDir = sandbox.filePath("run-systemd-system");
        if (systemdRunning)
            QDir().mkpath(systemdDir);
        else
            QDir(systemdDir).removeRecursively();
        static const char stub[] = "#!/bin/sh\n"
                                   "echo \"$(basename \"$0\") $*\" >> \"$STUB_LOG\"\n"
                                   "case \"$(basename \"$0\") $*\" in\n"
                                   "  'getent group'*) exec test -n \"$STUB_GROUP\" ;;\n"
                                   "  'getent passwd'*) exec test -n \"$STUB_USER\" ;;\n"
                                   "  *debian-installed*) exec test -n \"$STUB_INSTALLED\" ;;\n"
                                   "  *was-enabled*) exec test -n \"$STUB_ENABLED\" ;;\n"
                                   "esac\n";
        for (const char *name : {"getent", "addgroup", "adduser", "chown", "systemctl", "deb-systemd-helper",
                                 "deb-systemd-invoke"}) {
            QFile file(QDir(stubs).filePath(QLatin1String(name)));
            if (file.open(QIODevice::WriteOnly))
                file.write(stub);
            file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        QString text = readText(QDir(controlDir).filePath(script));
        text.replace("/run/systemd/system", systemdDir);
        text.replace("/var/", sandbox.filePath("var") + "/");
        const QString copy = sandbox.filePath(script);
        QFile file(copy);
        if (file.open(QIODevice::WriteOnly))
            file.write(text.toUtf8());
        file.close();

        const QString log = sandbox.filePath("calls.log");
        QFile::remove(log);
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("PATH", stubs + ":" + environment.value("PATH"));
        environment.insert("STUB_LOG", log);
        for (const char *what : {"group", "user", "installed", "enabled"})
            environment.insert(QStringLiteral("STUB_%1").arg(QLatin1String(what)).toUpper(),
                               present.contains(QLatin1String(what)) ? "1" : "");
        process.setProcessEnvironment(environment);
        process.start("sh", QStringList{copy} + arguments);
        process.waitForFinished(20000);
        if (exitCode)
            *exitCode = process.exitCode();
        return readText(log).split('\n', Qt::SkipEmptyParts);
    }
};

void TestPackage::maintainerScriptsFollowDebiansServiceRules()
{
    MaintainerScriptRun scripts;
    scripts.controlDir = m_work.filePath("control");
    const auto enablesOrStarts = [](const QStringList &calls) {
        return calls.filter(
            QRegularExpression("helper enable|invoke (start|restart)|systemctl (enable|start)"));
    };

    // First install: user and group made, the unit recorded but neither enabled nor started.
    int exitCode = -1;
    QStringList calls = scripts.run("postinst", {"configure"}, &exitCode);
    QCOMPARE(exitCode, 0);
    QVERIFY2(calls.contains("addgroup --system tallyport"), qPrintable(calls.join('\n')));
    QVERIFY(!calls.filter("adduser --system --ingroup tallyport").isEmpty());
    QVERIFY(calls.contains("deb-systemd-helper update-state tallyport.service"));
    QVERIFY(calls.contains("systemctl --system daemon-reload"));
    QVERIFY2(enablesOrStarts(calls).isEmpty(), qPrintable(calls.join('\n')));
    QVERIFY(calls.filter("invoke").isEmpty());
    for (const char *dir : {"var/lib/tallyport", "var/backups/tallyport"}) {
        const QFile::Permissions permissions =
            QFileInfo(scripts.sandbox.filePath(QLatin1String(dir))).permissions();
        QVERIFY2(permissions.testFlag(QFile::WriteOwner), dir);
        QVERIFY2(!(permissions & (QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther)),
                 dir);
    }

    // A tallyport group without the user (made by hand, or left from before) is used as it is.
    scripts.present = {"group"};
    calls = scripts.run("postinst", {"configure"}, &exitCode);
    QCOMPARE(exitCode, 0);
    QVERIFY(calls.filter("addgroup").isEmpty());
    QVERIFY(!calls.filter("adduser --system --ingroup tallyport").isEmpty());

    // Upgrade: a running service restarts with the new program (try-restart leaves a stopped
    // one stopped); the operator's enablement is kept, none is made.
    scripts.present = {"group", "user", "installed"};
    calls = scripts.run("postinst", {"configure", "1.0.0"});
    QVERIFY2(calls.contains("deb-systemd-invoke try-restart tallyport.service"),
             qPrintable(calls.join('\n')));
    QVERIFY(enablesOrStarts(calls).isEmpty());
    QVERIFY(calls.filter("adduser").isEmpty());
    scripts.present << "enabled";
    calls = scripts.run("postinst", {"configure", "1.0.0"});
    QVERIFY(calls.contains("deb-systemd-helper enable tallyport.service"));
    QVERIFY(calls.filter(QRegularExpression("invoke (start|restart)")).isEmpty());

    // Removal stops the service before its program goes; an upgrade does not stop it.
    QVERIFY(scripts.run("prerm", {"upgrade", "1.0.1"}).filter("invoke").isEmpty());
    QVERIFY(scripts.run("prerm", {"remove"}).contains("deb-systemd-invoke stop tallyport.service"));
    QVERIFY(scripts.run("postrm", {"remove"}).contains("deb-systemd-helper mask tallyport.service"));
    calls = scripts.run("postrm", {"purge"});
    QVERIFY(calls.contains("deb-systemd-helper purge tallyport.service"));
    QVERIFY(calls.contains("deb-systemd-helper unmask tallyport.service"));

    // Without a running systemd (a container, a chroot) nothing is invoked, the state is kept.
    scripts.systemdRunning = false;
    calls = scripts.run("postinst", {"configure", "1.0.0"});
    QVERIFY(calls.contains("deb-systemd-helper update-state tallyport.service"));
    QVERIFY(calls.filter(QRegularExpression("invoke|systemctl")).isEmpty());
    QVERIFY(scripts.run("prerm", {"remove"}).filter("invoke").isEmpty());
}

void TestPackage::passesLintian()
{
    if (QStandardPaths::findExecutable("lintian").isEmpty())
        QSKIP("lintian is not installed");
    const Result checked = runTool("lintian", {"--tag-display-limit", "0", m_package}, 240000);
    const QStringList tags = checked.output.split('\n').filter(QRegularExpression("^[EW]: "));
    QVERIFY2(checked.exitCode == 0 && tags.isEmpty(), qPrintable(checked.output));
    // Every program has its manual page.
    for (const char *page : {"tallyport", "tallyport-sim", "tallyport-makedb"})
        QVERIFY2(
            QFile::exists(installed(QStringLiteral("/usr/share/man/man1/%1.1.gz").arg(QLatin1String(page)))),
            page);
}

void TestPackage::unitFileVerifies()
{
    const QString unit = readText(installed("/usr/lib/systemd/system/tallyport.service"));
    for (const char *line : {"ExecStart=/usr/bin/tallyport --headless --dir /var/lib/tallyport",
                             "User=tallyport", "Restart=on-failure", "StateDirectory=tallyport",
                             "StateDirectoryMode=0700", "WantedBy=multi-user.target"})
        QVERIFY2(unit.contains(QLatin1String(line)), line);
    if (QStandardPaths::findExecutable("systemd-analyze").isEmpty())
        QSKIP("systemd-analyze is not installed");
    // Verified as installed, with the program where the package put it.
    QString copy = unit;
    copy.replace("ExecStart=/usr/bin/tallyport", "ExecStart=" + installed("/usr/bin/tallyport"));
    const QString path = m_work.filePath("tallyport.service");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(copy.toUtf8());
    file.close();
    const Result verified = runTool("systemd-analyze", {"verify", path});
    QVERIFY2(verified.exitCode == 0, qPrintable(verified.output));
    QVERIFY2(!verified.output.contains("tallyport.service:"), qPrintable(verified.output));
    // Exits that retrying cannot mend are not retried; the hardening keeps the exposure low.
    QVERIFY(unit.contains("RestartPreventExitStatus=1 2"));
    const Result security = runTool("systemd-analyze", {"security", "--offline=yes", path});
    static const QRegularExpression level(QStringLiteral("Overall exposure level for \\S+: (\\d+\\.\\d)"));
    const QRegularExpressionMatch match = level.match(security.output);
    QVERIFY2(match.hasMatch(), qPrintable(security.output));
    QVERIFY2(match.captured(1).toDouble() < 2.0, qPrintable(match.captured(0)));
}

void TestPackage::desktopEntryValidates()
{
    if (QStandardPaths::findExecutable("desktop-file-validate").isEmpty())
        QSKIP("desktop-file-validate is not installed (desktop-file-utils)");
    const Result validated =
        runTool("desktop-file-validate", {installed("/usr/share/applications/tallyport.desktop")});
    QVERIFY2(validated.exitCode == 0 && validated.output.trimmed().isEmpty(), qPrintable(validated.output));
    const QString entry = readText(installed("/usr/share/applications/tallyport.desktop"));
    QVERIFY(entry.contains("\nExec=tallyport\n"));
    QVERIFY(entry.contains("\nIcon=tallyport\n"));
}

void TestPackage::unpackedProgramRunsACycle()
{
    MonitoringFixture f(141);
    QString error;
    QVERIFY2(f.start(error), qPrintable(error));
    SimDevice *device = f.addDevice("Boiler Room", 5, 5, 25, {{0, "Boiler", "Temperature Sensor Port 1"}});
    QVERIFY(device);
    device->setReading(0, 70);
    f.t.state.Config.UpdateRate = 5;
    QVERIFY(f.activation->configFile().SaveConfiguration());
    const qint64 sensor = f.sensorId("Boiler Room", 0);

    ProgramRun run(installed("/usr/bin/tallyport"));
    run.start({"--headless", "--dir", f.t.dir.path()});
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(f.t.path(QStringLiteral("Sensor-%1.dat").arg(sensor))), 20000);
    QTRY_VERIFY_WITH_TIMEOUT(run.outputContains("127.0.141.1: OK"), 10000);
    run.terminate();
    QVERIFY(run.finish(10000));
    QCOMPARE(run.exitCode(), 0);
    // The installed copy brings its alarm sound into the program directory.
    QVERIFY(QFile::exists(f.t.path("ding.wav")));
}

void TestPackage::installedCopyKeepsFilesInTheUsersDataFolder()
{
    QTemporaryDir home;
    ProgramRun run(installed("/usr/bin/tallyport"));
    run.setEnvironment("HOME", home.path());
    run.setEnvironment("XDG_DATA_HOME", home.filePath("data"));
    run.start({"--headless"});
    const QString folder = home.filePath("data/Tallyport");
    QTRY_VERIFY_WITH_TIMEOUT(run.outputContains("There are no sensors programmed yet"), 15000);
    QVERIFY2(run.output().contains("running without a window in " + folder), qPrintable(run.output()));
    run.terminate();
    QVERIFY(run.finish(10000));
    for (const char *name : {"wexa.mdb", "TallyportConfig.dat", "ding.wav"})
        QVERIFY2(QFile::exists(QDir(folder).filePath(QLatin1String(name))), name);
}

QTEST_GUILESS_MAIN(TestPackage)
#include "tst_package.moc"
