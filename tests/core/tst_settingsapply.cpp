#include <alarms/AdvancedEmailSettings.h>
#include <core/ConfigRecord.h>
#include <core/SettingsApply.h>

#include <QTest>

namespace {
SettingsInput validInput()
{
    SettingsInput in;
    in.orgName = "Acme";
    in.updateRate = "30";
    in.communicationRetry = "3";
    in.tcpTimeOut = "4";
    in.host = "mail.acme.test";
    in.fromAddress = "vkl@acme.test";
    in.autoPrintReport = "Yes";
    in.timeToPrint = "8";
    in.ampm = "PM";
    in.printerName = "No Printer Selected";
    in.logDirectory = "/srv/Backup";
    return in;
}
} // namespace

class TestSettingsApply : public QObject {
    Q_OBJECT
private slots:
    void recordNumbers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("check");
        QTest::addColumn<int>("value");
        QTest::newRow("empty") << "" << int(NumberCheck::Blank) << 0;
        QTest::newRow("blanks") << "   " << int(NumberCheck::Blank) << 0;
        QTest::newRow("letters") << "1a" << int(NumberCheck::Blank) << 0;
        QTest::newRow("minus") << "-5" << int(NumberCheck::Blank) << 0;
        QTest::newRow("zero") << "0" << int(NumberCheck::Ok) << 0;
        QTest::newRow("leading zeros") << "000060" << int(NumberCheck::Ok) << 60;
        QTest::newRow("largest") << "32767" << int(NumberCheck::Ok) << 32767;
        QTest::newRow("one more") << "32768" << int(NumberCheck::TooLarge) << 0;
        QTest::newRow("port 65535") << "65535" << int(NumberCheck::TooLarge) << 0;
        QTest::newRow("twenty digits") << "12345678901234567890" << int(NumberCheck::TooLarge) << 0;
    }
    void recordNumbers()
    {
        QFETCH(QString, text);
        QFETCH(int, check);
        QFETCH(int, value);
        qint16 read = 0;
        QCOMPARE(int(ReadRecordNumber(text, read)), check);
        if (check == int(NumberCheck::Ok))
            QCOMPARE(int(read), value);
    }

    void protectedAndTextFieldsAreNeverStoredCut()
    {
        QVERIFY(FitsProtectedField(QString(63, 'x')));
        QVERIFY(FitsProtectedField(QString(63, 'x') + "   ")); // stored trimmed
        QVERIFY(!FitsProtectedField(QString(64, 'x')));
        // 32 accented letters are 64 bytes of UTF-8.
        QVERIFY(!FitsProtectedField(QString(32, QChar(0xE9))));
        QVERIFY(FitsTextField("LogDirectory", "/home/Jürgen/Backup"));
        QVERIFY(!FitsTextField("LogDirectory", QString(101, 'd')));
        QVERIFY(!FitsTextField("LogDirectory", QString::fromUtf8("/home/\u674e")));
    }

    void passwordsMustMatchOnlyWithAUserName()
    {
        ConfigRecord record;
        SettingsInput in = validInput();
        in.userName = "admin";
        in.password = "one";
        in.confirmPassword = "two";
        Refusal r = CheckAndCopySettings(record, in);
        QCOMPARE(r.message, QString("The passwords do not match."));
        QVERIFY(record.AdminUserName.isNull());
        QCOMPARE(record.UpdateRate, qint16(0));

        in.userName.clear();
        QVERIFY(!CheckAndCopySettings(record, in).refused());
        QCOMPARE(record.AdminPassword, QString("one"));
    }

    void tooLongCredentialsAreRefusedBeforeAnythingIsKept()
    {
        ConfigRecord record;
        SettingsInput in = validInput();
        in.userName = QString(64, 'u');
        Refusal r = CheckAndCopySettings(record, in);
        QCOMPARE(r.message,
                 QString("The user name can not be longer than 63 characters.  Please enter a shorter "
                         "user name."));
        QCOMPARE(r.box, QString("txtUN"));
        QVERIFY(record.AdminUserName.isNull());
        QVERIFY(record.LogDirectory.isNull());

        in.userName = "admin";
        in.password = in.confirmPassword = QString(40, QChar(0xFC));
        QCOMPARE(CheckAndCopySettings(record, in).box, QString("txtPW_0"));
    }

    void updateRateAndNumbers_data()
    {
        QTest::addColumn<QString>("rate");
        QTest::addColumn<QString>("retries");
        QTest::addColumn<QString>("timeOut");
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("replacement");
        const QString blank = "Please do not leave any option blank";
        QTest::newRow("rate 4 is raised to 5")
            << "4"
            << "1"
            << "2"
            << "txtUpdateRate"
            << "The minimum update rate is 5 seconds.  Please adjust the update rate."
            << "5";
        QTest::newRow("rate blank") << ""
                                    << "1"
                                    << "2"
                                    << "txtUpdateRate" << blank << QString();
        QTest::newRow("rate too large")
            << "40000"
            << "1"
            << "2"
            << "txtUpdateRate"
            << "The update rate can not be more than 32767 seconds.  Please adjust the update rate."
            << QString();
        QTest::newRow("retries blank") << "60"
                                       << ""
                                       << "2"
                                       << "txtCommunicationRetry" << blank << QString();
        // Attempts and time-out are taken only in the ranges the cycle and the link use as typed.
        const QString attempts = "The number of communication attempts must be a value from 1 to 5.  "
                                 "Please adjust the number of communication attempts.";
        const QString timeOutRange = "The network communication time out must be a value from 2 to 9.  "
                                     "Please adjust the network communication time out.";
        QTest::newRow("no attempts") << "60"
                                     << "0"
                                     << "2"
                                     << "txtCommunicationRetry" << attempts << QString();
        QTest::newRow("six attempts") << "60"
                                      << "6"
                                      << "2"
                                      << "txtCommunicationRetry" << attempts << QString();
        QTest::newRow("time-out 1") << "60"
                                    << "5"
                                    << "1"
                                    << "txtTCPTimeOut" << timeOutRange << QString();
        QTest::newRow("time-out 10") << "60"
                                     << "1"
                                     << "10"
                                     << "txtTCPTimeOut" << timeOutRange << QString();
        QTest::newRow("time-out too large") << "60"
                                            << "1"
                                            << "99999"
                                            << "txtTCPTimeOut" << timeOutRange << QString();
    }
    void updateRateAndNumbers()
    {
        QFETCH(QString, rate);
        QFETCH(QString, retries);
        QFETCH(QString, timeOut);
        QFETCH(QString, box);
        QFETCH(QString, message);
        QFETCH(QString, replacement);
        ConfigRecord record;
        record.UpdateRate = 60;
        SettingsInput in = validInput();
        in.updateRate = rate;
        in.communicationRetry = retries;
        in.tcpTimeOut = timeOut;
        in.userName = "admin";
        in.password = in.confirmPassword = "pw";
        const Refusal r = CheckAndCopySettings(record, in);
        QCOMPARE(r.message, message);
        QCOMPARE(r.box, box);
        QCOMPARE(r.replacement, replacement);
        // The credentials and log directory stay in memory; no number and no other setting is
        // taken.
        QCOMPARE(record.AdminUserName, QString("admin"));
        QCOMPARE(record.LogDirectory, QString("/srv/Backup"));
        QCOMPARE(record.UpdateRate, qint16(60));
        QVERIFY(record.OrgName.isNull());
    }

    void everySettingIsCopiedAndTextCutToItsField()
    {
        ConfigRecord record;
        SettingsInput in = validInput();
        in.orgName = QString(60, 'n');
        in.systemOKEmail = true;
        in.popUps = true;
        in.printerIndex = 2;
        QVERIFY(!CheckAndCopySettings(record, in).refused());
        QCOMPARE(record.OrgName, QString(51, 'n'));
        QCOMPARE(record.UpdateRate, qint16(30));
        QCOMPARE(record.CommunicationRetry, qint16(3));
        QCOMPARE(record.TCPTimeOut, qint16(4));
        QCOMPARE(record.SMTPHost, QString("mail.acme.test"));
        QCOMPARE(record.AutoPrintReport, QString("Yes"));
        QCOMPARE(record.AMPM, QString("PM"));
        QCOMPARE(record.PrinterIndex, qint16(2));
        QCOMPARE(record.SystemOKEmail, qint16(1));
        QCOMPARE(record.EnableTrending, qint16(0));
        QCOMPARE(record.PopUps, qint16(1));
        // The administrator address is the next step's.
        QVERIFY(record.AdminEmailAddress.isNull());
    }

    void addressQuestion()
    {
        QVERIFY(!AddressNeedsQuestion(""));
        QVERIFY(!AddressNeedsQuestion("it@acme.test"));
        QVERIFY(AddressNeedsQuestion("admin"));
        QVERIFY(AddressNeedsQuestion("admin@localhost"));
        QCOMPARE(AddressQuestion("admin"), QString("Is admin a valid email address?"));
    }

    void advancedShowsTheStoredMethod_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("shown");
        QTest::newRow("never written") << QString() << "LOGIN";
        QTest::newRow("starts with NUL") << QString(QChar(0)) + "PLAIN"
                                         << "LOGIN";
        QTest::newRow("padded") << "CRAM-MD5            "
                                << "CRAM-MD5";
        QTest::newRow("lower case") << "ntlm"
                                    << "NTLM";
        QTest::newRow("none") << "NONE"
                              << "NONE";
        QTest::newRow("unknown") << "KERBEROS"
                                 << "LOGIN";
    }
    void advancedShowsTheStoredMethod()
    {
        QFETCH(QString, stored);
        QFETCH(QString, shown);
        ConfigRecord record;
        record.AuthenticationMethod = stored;
        QCOMPARE(AdvancedEmailFromRecord(record).method, shown);
    }

    void advancedRefusesWhatTheRecordCannotHold()
    {
        ConfigRecord record;
        record.SMTPPort = 25;
        AdvancedEmailInput in;
        in.port = "";
        in.timeOut = "30";
        QCOMPARE(CheckAndCopyAdvancedEmail(record, in).message,
                 QString("The SMTP Port can not be left blank.  Please enter the SMTP port number."));
        in.port = "40000";
        const Refusal port = CheckAndCopyAdvancedEmail(record, in);
        QCOMPARE(port.message,
                 QString("The SMTP Port can not be larger than 32767.  Please enter the SMTP port number."));
        QCOMPARE(port.box, QString("txtSMTPPort"));
        in.port = "587";
        in.timeOut = "";
        QCOMPARE(CheckAndCopyAdvancedEmail(record, in).message,
                 QString("The server timeout can not be left blank.  Please enter a time in seconds."));
        QCOMPARE(record.SMTPPort, qint16(25));

        // A mail key of any length is taken whole (the settings file keeps a long one apart).
        in.timeOut = "45";
        in.password = QString(200, 'p');
        in.authentication = true;
        in.method = "PLAIN";
        QVERIFY(!CheckAndCopyAdvancedEmail(record, in).refused());
        QCOMPARE(record.SMTPPort, qint16(587));
        QCOMPARE(record.SMTPTimeOut, qint16(45));
        QCOMPARE(record.AuthenticationRequired, qint16(1));
        QCOMPARE(record.AuthenticationMethod, QString("PLAIN"));
        QCOMPARE(record.SMTPPassword, QString(200, 'p'));
    }
};

QTEST_GUILESS_MAIN(TestSettingsApply)
#include "tst_settingsapply.moc"
