// The settings file under faults: a save cut short by a full disk, protected fields that no
// longer decrypt, and a file that cannot be saved while the daily system-OK e-mail is due.
#include "support_child.h"
#include "support_rig.h"

#include <core/Activation.h>
#include <core/ConfigFile.h>

#include <QFile>
#include <QTest>

namespace {
QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool overwrite(const QString &path, int offset, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::ReadWrite) && f.seek(offset) && f.write(bytes) == bytes.size();
}

// Offsets of the protected fields in the record.
constexpr int kSmtpUserName = 636;
constexpr int kAdminPassword = 1299;
// The rig watching one device, "Alpha", with the daily system-OK e-mail due.
void startWithDailyOkDue(FaultRig &rig)
{
    QString error;
    QVERIFY2(rig.start(error), qPrintable(error));
    QVERIFY(rig.addDevice("Alpha", {{0, "Alpha Freezer", FaultRig::Temperature}}));
    rig.layOutGrid();
    rig.t.state.Config.SystemOKEmail = 1;
    rig.t.state.Config.LastSystemOKEmail = DateTimeText(rig.t.clock.now().addDays(-1));
    rig.saveSettings();
}

// A field that is not base64 cipher text.
const QByteArray kGarbled = QByteArray("%%not cipher%%").leftJustified(100, ' ');
} // namespace

class TestSettingsFaults : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        m_t = std::make_unique<TestState>();
        m_timer = std::make_unique<PollTimer>(m_t->state);
        m_activation = std::make_unique<Activation>(m_t->state, *m_timer);
        QVERIFY(m_activation->cipher().InitCipher());
        ConfigRecord &c = m_t->state.Config;
        c.OrgName = "Test Org";
        c.SMTPUserName = "mailer";
        c.SMTPPassword = "mailpw";
        c.AdminUserName = "admin";
        c.AdminPassword = "secret";
        QVERIFY(file().SaveConfiguration());
    }
    void cleanup()
    {
        m_activation.reset();
        m_timer.reset();
        m_t.reset();
    }

    // A save that cannot write all 1501 bytes fails, says so and leaves the previous file.
    void saveCutShortKeepsThePreviousFile()
    {
        const QByteArray before = readAll(file().path());
        m_t->state.Config.OrgName = "Changed";
        {
            FileSizeLimit full(1000);
            QVERIFY(full.isSet());
            QVERIFY(!file().SaveConfiguration());
        }
        QCOMPARE(readAll(file().path()), before);
        QCOMPARE(m_t->errors.lines().size(), 1);
        QVERIFY(m_t->errors.lines().first().startsWith("Error saving configuration parameters to "));
        QVERIFY(file().SaveConfiguration());
        QCOMPARE(readAll(file().path()).size(), 1501);
    }

    // Each protected field decrypts on its own: one damaged field leaves the others intact.
    void oneDamagedFieldLeavesTheOthers()
    {
        QVERIFY(overwrite(file().path(), kSmtpUserName, kGarbled));
        m_t->state.Config = ConfigRecord();
        QVERIFY(!file().ReadConfiguration());
        const ConfigRecord &c = m_t->state.Config;
        QCOMPARE(c.SMTPUserName, QString());
        QCOMPARE(c.SMTPPassword, QString("mailpw"));
        QCOMPARE(c.AdminUserName, QString("admin"));
        QCOMPARE(c.AdminPassword, QString("secret"));
        QCOMPARE(c.OrgName, QString("Test Org"));
        QCOMPARE(m_t->errors.lines().size(), 1);
        QVERIFY(m_t->errors.lines().first().contains("SMTPUserName"));
        QVERIFY(!file().administratorLoginDamaged());
        // Read again at every cycle: the same failure is not logged again.
        QVERIFY(!file().ReadConfiguration());
        QCOMPARE(m_t->errors.lines().size(), 1);
        // The activation's status list names the field and what to do; the file was found.
        m_activation->RunActivationSequence();
        QVERIFY(m_t->status.contains(ConfigFile::DamagedMailLoginKey));
        QVERIFY(m_t->status.contains("Please enter the mail server user name again"));
        QVERIFY(!m_t->status.contains(Activation::NoConfigLine));
        QCOMPARE(m_t->state.Config.SMTPPassword, QString("mailpw"));

        // A save writes what is in use: the damaged field empty, the others as they were.
        QVERIFY(file().SaveConfiguration());
        QVERIFY(file().ReadConfiguration());
        QCOMPARE(m_t->state.Config.SMTPUserName, QString());
        QCOMPARE(m_t->state.Config.AdminPassword, QString("secret"));
    }

    // A damaged administrator password never unlocks the configuration menus, not even after a
    // save; the status list says how to recover.
    void damagedAdministratorPasswordKeepsSetupLocked()
    {
        QVERIFY(overwrite(file().path(), kAdminPassword, kGarbled));
        int count = 0;
        m_activation->services.CountNamedSensors = [&count](int &n) {
            n = count;
            return true;
        };
        const MenuRights rights = m_activation->RunActivationSequence();
        QCOMPARE(m_t->state.Config.AdminPassword, QString());
        QVERIFY(!rights.configurationEnabled);
        QVERIFY(!rights.logInEnabled);
        QVERIFY(m_t->status.contains(ConfigFile::DamagedLoginKey));
        QVERIFY(m_t->status.contains("Setup stays locked."));

        QVERIFY(file().SaveConfiguration());
        QCOMPARE(readAll(file().path()).mid(kAdminPassword, 100), kGarbled);
        m_t->state.ReinitOnActivate = true;
        QVERIFY(!m_activation->RunActivationSequence().configurationEnabled);

        // Restoring a good file unlocks at the next activation (the login is asked for again).
        m_t->state.Config.AdminPassword = "secret";
        QVERIFY(file().SaveConfiguration());
        const MenuRights restored = m_activation->RunActivationSequence();
        QVERIFY(!restored.configurationEnabled);
        QVERIFY(restored.logInEnabled);
        QVERIFY(!m_t->status.contains(ConfigFile::DamagedLoginKey));
    }

    // The daily system-OK e-mail while the settings file cannot be saved (a full disk): one
    // e-mail a day, not one after every device, and one logged save failure.
    void dailyOkEmailWhileTheFileCannotBeSaved()
    {
        FaultRig rig(11);
        QString error;
        QVERIFY2(rig.start(error), qPrintable(error));
        for (const char *name : {"Alpha", "Bravo", "Charlie"})
            QVERIFY(rig.addDevice(name, {{0, QString(name) + " Freezer", FaultRig::Temperature}}));
        rig.layOutGrid();
        rig.t.state.Config.SystemOKEmail = 1;
        rig.t.state.Config.LastSystemOKEmail = DateTimeText(rig.t.clock.now().addDays(-1));
        rig.saveSettings();
        const QByteArray okSubject = "Quellmark VKL-E is up and running!";
        {
            FileSizeLimit full(1000);
            QVERIFY(full.isSet());
            rig.runCycle();
            QCOMPARE(rig.mailsWith(okSubject), 1);
            rig.runCycle();
            QCOMPARE(rig.mailsWith(okSubject), 1);
            rig.runCycle(24 * 3600);
            QCOMPARE(rig.mailsWith(okSubject), 2);
        }
        rig.runCycle();
        QCOMPARE(rig.mailsWith(okSubject), 2);
        // One failed save a day, each logged once (written once the database takes it).
        QCOMPARE(rig.errorLines("Error saving configuration parameters to ").size(), 2);
    }

    // A restart on a day the settings file could not take the day of the system-OK e-mail: the
    // day kept beside it is found, and no second e-mail goes out.
    void restartOnADayTheFileCouldNotBeSaved()
    {
        FaultRig rig(11);
        startWithDailyOkDue(rig);
        if (QTest::currentTestFailed())
            return;
        const QByteArray okSubject = "Quellmark VKL-E is up and running!";
        FileSizeLimit full(1000);
        QVERIFY(full.isSet());
        rig.runCycle();
        QCOMPARE(rig.mailsWith(okSubject), 1);
        rig.restart(false);
        rig.runCycle();
        QCOMPARE(rig.mailsWith(okSubject), 1);
    }

    // A damaged administrator password makes every read of the file fail while it lasts; the
    // daily e-mail is still decided, on the settings in use, and the lock stays.
    void dailyOkEmailWhileALoginFieldIsDamaged()
    {
        FaultRig rig(11);
        startWithDailyOkDue(rig);
        if (QTest::currentTestFailed())
            return;
        ConfigFile &settings = rig.activation->configFile();
        QVERIFY(overwrite(settings.path(), kAdminPassword, kGarbled));
        rig.runCycle();
        QCOMPARE(rig.mailsWith("Quellmark VKL-E is up and running!"), 1);
        QVERIFY(settings.administratorLoginDamaged());
        QCOMPARE(readAll(settings.path()).mid(kAdminPassword, 100), kGarbled);
        rig.runCycle();
        QCOMPARE(rig.mailsWith("Quellmark VKL-E is up and running!"), 1);
    }

private:
    ConfigFile &file() { return m_activation->configFile(); }

    std::unique_ptr<TestState> m_t;
    std::unique_ptr<PollTimer> m_timer;
    std::unique_ptr<Activation> m_activation;
};

QTEST_GUILESS_MAIN(TestSettingsFaults)
#include "tst_settingsfaults.moc"
