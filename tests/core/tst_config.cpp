#include <core/Cipher.h>
#include <core/ConfigFile.h>
#include <core/ConfigRecord.h>
#include <core/IniFile.h>
#include <core/StatusList.h>

#include <support/FileBytes.h>
#include <support/TestState.h>

#include <QFile>
#include <QSettings>
#include <QTest>
#include <QtEndian>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace {
qint16 int16At(const QByteArray &bytes, int offset)
{
    return qFromLittleEndian<qint16>(bytes.constData() + offset);
}
} // namespace

class TestConfig : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        m_t = std::make_unique<TestState>();
        QVERIFY(m_cipher.InitCipher());
        m_file = std::make_unique<ConfigFile>(m_t->state, m_cipher);
    }

    void cipherRoundTripsThePaddedField_data()
    {
        QTest::addColumn<QString>("plain");
        QTest::newRow("empty") << "";
        QTest::newRow("word") << "secret";
        QTest::newRow("quote and accents") << QString::fromUtf8("Bob's pässwörd");
        QTest::newRow("63 bytes") << QString(63, 'x');
    }
    void cipherRoundTripsThePaddedField()
    {
        QFETCH(QString, plain);
        QString cipherText, error, back;
        QVERIFY2(m_cipher.EncryptField(plain, cipherText, error), qPrintable(error));
        QVERIFY(cipherText.size() <= 100);
        QVERIFY(plain.isEmpty() || !cipherText.contains(plain));
        const QString field = cipherText.leftJustified(100, ' ');
        QVERIFY2(m_cipher.DecryptField(field, back, error), qPrintable(error));
        QCOMPARE(back, plain);
    }

    void cipherRefusesWhatWouldNotFitAndGarbage()
    {
        QString cipherText, error, plain;
        QVERIFY(!m_cipher.EncryptField(QString(64, 'x'), cipherText, error));
        QVERIFY(!error.isEmpty());
        QVERIFY(!m_cipher.DecryptField("not base64 at all!!", plain, error));
        QVERIFY(!m_cipher.DecryptField("QUJD", plain, error)); // base64, but not a whole block
        Cipher uninitialised;
        QVERIFY(!uninitialised.EncryptField("a", cipherText, error));
    }

    void layoutMatchesTheRecord()
    {
        // Fields follow each other with no gaps and end at 1501 bytes.
        int next = 0;
        for (int i = 0; i < ConfigLayout::fieldCount(); ++i) {
            const auto &f = ConfigLayout::fields()[i];
            QCOMPARE(f.offset, next);
            next += f.width;
        }
        QCOMPARE(next, ConfigLayout::RecordSize);
        QCOMPARE(ConfigLayout::field("SMTPPort")->offset, 1056);
        QCOMPARE(ConfigLayout::field("LogDirectory")->offset, 1399);
        QCOMPARE(ConfigLayout::field("PopUps")->offset, 1499);
    }

    void firstStartWritesDefaultsAtTheirOffsets()
    {
        QVERIFY(!m_file->ReadConfiguration());
        QVERIFY(!m_file->ValidateConfiguration());
        const QByteArray bytes = readAll(m_file->path());
        QCOMPARE(bytes.size(), 1501);
        QCOMPARE(int16At(bytes, 1062), qint16(2));  // TCPTimeOut
        QCOMPARE(int16At(bytes, 1060), qint16(1));  // CommunicationRetry
        QCOMPARE(int16At(bytes, 1064), qint16(60)); // UpdateRate
        QCOMPARE(int16At(bytes, 1056), qint16(25)); // SMTPPort
        QCOMPARE(int16At(bytes, 1058), qint16(30)); // SMTPTimeOut
        QCOMPARE(bytes.mid(936, 20), QByteArray("NONE").leftJustified(20, ' '));
        // Never-assigned text stays NUL; protected fields hold blank-padded base64.
        QCOMPARE(bytes.mid(104, 51), QByteArray(51, '\0'));
        const QByteArray password = bytes.mid(736, 100);
        QVERIFY(password.endsWith(' '));
        QVERIFY(QByteArray::fromBase64Encoding(password.trimmed(), QByteArray::AbortOnBase64DecodingErrors));
        // A second validation finds nothing to replace.
        QVERIFY(m_file->ValidateConfiguration());
    }

    void replacementRules_data()
    {
        QTest::addColumn<int>("updateRate");
        QTest::addColumn<int>("tcpTimeOut");
        QTest::addColumn<int>("expectedRate");
        QTest::addColumn<int>("expectedTimeOut");
        QTest::newRow("rate 4 becomes 60") << 4 << 3 << 60 << 3;
        QTest::newRow("rate 5 stays") << 5 << 3 << 5 << 3;
        QTest::newRow("time-out 9 stays") << 60 << 9 << 60 << 9;
        QTest::newRow("time-out 10 becomes 2") << 60 << 10 << 60 << 2;
        QTest::newRow("time-out -1 becomes 2") << 60 << -1 << 60 << 2;
    }
    void replacementRules()
    {
        QFETCH(int, updateRate);
        QFETCH(int, tcpTimeOut);
        ConfigRecord &c = m_t->state.Config;
        c.CommunicationRetry = 1;
        c.SMTPPort = 25;
        c.SMTPTimeOut = 30;
        c.AuthenticationMethod = "LOGIN";
        c.UpdateRate = qint16(updateRate);
        c.TCPTimeOut = qint16(tcpTimeOut);
        QFETCH(int, expectedRate);
        QFETCH(int, expectedTimeOut);
        const bool unchanged = expectedRate == updateRate && expectedTimeOut == tcpTimeOut;
        QCOMPARE(m_file->ValidateConfiguration(), unchanged);
        QCOMPARE(int(c.UpdateRate), expectedRate);
        QCOMPARE(int(c.TCPTimeOut), expectedTimeOut);
        QCOMPARE(QFile::exists(m_file->path()), !unchanged);
    }

    // The mailer reads the 16-bit port unsigned; validation agrees: a port above 32767 stays, only
    // 0 becomes 25.
    void highPortStaysAndZeroBecomes25()
    {
        ConfigRecord &c = m_t->state.Config;
        c.CommunicationRetry = 1;
        c.SMTPTimeOut = 30;
        c.AuthenticationMethod = "LOGIN";
        c.UpdateRate = 60;
        c.TCPTimeOut = 2;
        c.SMTPPort = qint16(40000);
        QVERIFY(m_file->ValidateConfiguration());
        QCOMPARE(quint16(c.SMTPPort), quint16(40000));
        c.SMTPPort = 0;
        QVERIFY(!m_file->ValidateConfiguration());
        QCOMPARE(int(c.SMTPPort), 25);
    }

    void saveAndReadBackEveryField()
    {
        ConfigRecord &c = m_t->state.Config;
        c.OrgName = QString::fromUtf8("Bob's Café");
        c.OrgAddress = "1 Main St";
        c.SMTPHost = "mail.example.com";
        c.SMTPUserName = "mailuser  "; // trailing blanks are not stored
        c.SMTPPassword = "p@ss word";
        c.AdminUserName = "admin";
        c.AdminPassword = "letmein";
        c.LoginDomain = "CORP";
        c.SMTPPort = 587;
        c.UseSSL = 1;
        c.LastSystemOKEmail = "3/14/2026 10:30:00 AM";
        c.LogDirectory = "/srv/backup";
        c.PopUps = 1;
        QVERIFY(m_file->SaveConfiguration());
        QCOMPARE(c.SMTPUserName, QString("mailuser  ")); // memory keeps the plain value

        const QByteArray bytes = readAll(m_file->path());
        QCOMPARE(bytes.size(), 1501);
        QCOMPARE(bytes.mid(104, 11), QByteArray("Bob's Caf\xE9 "));
        QCOMPARE(int16At(bytes, 1056), qint16(587));
        for (int offset : {636, 736, 1199, 1299}) {
            const QByteArray field = bytes.mid(offset, 100);
            QVERIFY(!field.contains("mailuser") && !field.contains("letmein") && !field.contains("admin"));
            QVERIFY(field.endsWith(' '));
        }

        const ConfigRecord saved = c;
        c = ConfigRecord();
        QVERIFY(m_file->ReadConfiguration());
        QCOMPARE(c.SMTPUserName, QString("mailuser"));
        c.SMTPUserName = saved.SMTPUserName;
        QCOMPARE(c, saved);
    }

    void longTextIsCutAtItsWidth()
    {
        m_t->state.Config.OrgName = QString(80, 'n');
        QVERIFY(m_file->SaveConfiguration());
        const QByteArray bytes = readAll(m_file->path());
        QCOMPARE(bytes.size(), 1501);
        QCOMPARE(bytes.mid(104, 51), QByteArray(51, 'n'));
        QCOMPARE(bytes.at(155), '\0'); // OrgAddress untouched
    }

    void tooLongProtectedValueIsNotSaved()
    {
        m_t->state.Config.AdminPassword = QString(70, 'p');
        QVERIFY(!m_file->SaveConfiguration());
        QVERIFY(!QFile::exists(m_file->path()));
        QCOMPARE(m_t->errors.lines().size(), 1);
        QVERIFY(m_t->errors.lines().first().startsWith("Error saving configuration parameters to "));
    }

    // A mail server key longer than the record's field is kept whole, encrypted, in
    // "Tallyport.ini" [mail], and read from there; the record's field is left empty (never cut).
    // Both files are the owner's only, whatever the umask.
    void longMailKeysAreKeptWholeInTheIniFile()
    {
#ifdef Q_OS_UNIX
        const mode_t previous = umask(022);
#endif
        ConfigRecord &c = m_t->state.Config;
        const QString user = "relay-user-" + QString(70, 'u');
        const QString key = "SG." + QString(66, 'k'); // 69 characters, as a provider hands it out
        c.SMTPUserName = user;
        c.SMTPPassword = key;
        c.AdminPassword = "short";
        QVERIFY(m_file->SaveConfiguration());
        const QString iniPath = m_t->path(IniFile::FileName);
        const QByteArray ini = readAll(iniPath);
        QVERIFY(ini.contains("smtpPassword=") && ini.contains("smtpUserName="));
        QVERIFY(!ini.contains("kkkkkkkk") && !ini.contains("relay-user"));
        QString plain, error;
        const QByteArray record = readAll(m_file->path());
        QVERIFY(m_cipher.DecryptField(QString::fromLatin1(record.mid(736, 100)), plain, error));
        QCOMPARE(plain, QString());

        c = ConfigRecord();
        QVERIFY(m_file->ReadConfiguration());
        QCOMPARE(c.SMTPUserName, user);
        QCOMPARE(c.SMTPPassword, key);
        QCOMPARE(c.AdminPassword, QString("short"));
#ifdef Q_OS_UNIX
        for (const QString &path : {m_file->path(), iniPath})
            QCOMPARE(QFile::permissions(path) & ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser),
                     QFile::ReadOwner | QFile::WriteOwner);
        umask(previous);
#endif

        // A key that fits goes back into the record and leaves the ini file.
        c.SMTPPassword = "fits";
        QVERIFY(m_file->SaveConfiguration());
        QVERIFY(!readAll(iniPath).contains("smtpPassword"));
        c = ConfigRecord();
        QVERIFY(m_file->ReadConfiguration());
        QCOMPARE(c.SMTPPassword, QString("fits"));
        QCOMPARE(c.SMTPUserName, user);

        // A kept key that no longer decrypts: the field is empty, and the status list names it
        // and what to do.
        {
            QSettings edit(iniPath, QSettings::IniFormat);
            edit.setValue("mail/smtpUserName", "%%garbled%%");
        }
        QVERIFY(!m_file->ReadConfiguration());
        QCOMPARE(c.SMTPUserName, QString());
        QCOMPARE(m_file->undecryptedFields(), QStringList({"SMTPUserName"}));
        QVERIFY(m_t->status.contains(ConfigFile::DamagedMailLoginKey));
        QVERIFY(m_t->status.contains("Please enter the mail server user name again"));
    }

    void unreadableFilesFailAndAreKept_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("short") << QByteArray(700, 'x');
        QTest::newRow("empty") << QByteArray();
        QByteArray garbage(1501, '\0');
        for (int i = 0; i < garbage.size(); ++i)
            garbage[i] = char((i * 37 + 11) & 0xFF);
        QTest::newRow("garbage") << garbage;
    }
    void unreadableFilesFailAndAreKept()
    {
        QFETCH(QByteArray, content);
        writeAll(m_file->path(), content);
        QVERIFY(!m_file->ReadConfiguration());
        QCOMPARE(m_t->prompts.beeps, 1);
        QCOMPARE(m_t->errors.lines().size(), 1);
        QVERIFY(m_t->errors.lines().first().startsWith("Error reading configuration parameters from "));
        // Cipher text never stands in for a plain value.
        QVERIFY(m_t->state.Config.AdminPassword.size() < 64);

        m_file->ValidateConfiguration();
        QVERIFY(m_file->SaveConfiguration());
        QCOMPARE(readAll(m_file->path() + ".unreadable"), content);
        const QByteArray saved = readAll(m_file->path());
        QCOMPARE(saved.size(), 1501);
        // A whole record whose administrator fields do not decrypt keeps them as stored: blank,
        // they would unlock Setup.
        const bool whole = content.size() == 1501;
        QCOMPARE(m_file->ReadConfiguration(), !whole);
        QCOMPARE(m_file->administratorLoginDamaged(), whole);
        if (whole)
            QCOMPARE(saved.mid(1199, 200), content.mid(1199, 200));
    }

private:
    std::unique_ptr<TestState> m_t;
    Cipher m_cipher;
    std::unique_ptr<ConfigFile> m_file;
};

QTEST_GUILESS_MAIN(TestConfig)
#include "tst_config.moc"
