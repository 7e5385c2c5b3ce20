#include "support_settings.h"

#include <ui/settings/AdvancedEmailDialog.h>
#include <ui/settings/SettingsWidgets.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPushButton>

class TestAdvancedEmail : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        m_f = std::make_unique<SettingsFixture>();
        m_f->t.state.Config.SMTPPort = 587;
        m_f->t.state.Config.SMTPTimeOut = 45;
        m_f->t.state.Config.AuthenticationRequired = 1;
        m_f->t.state.Config.AuthenticationMethod = "CRAM-MD5";
        m_f->t.state.Config.SMTPUserName = "mailer";
        m_f->t.state.Config.SMTPPassword = "hunter2";
        m_f->save();
        m_dialog = std::make_unique<AdvancedEmailDialog>(m_f->t.state, m_f->file);
    }
    void cleanup()
    {
        QCOMPARE(m_f->t.prompts.unexpected, 0);
        m_dialog.reset();
        m_f.reset();
    }

    void showsTheFileAsItIsAtEveryOpening()
    {
        m_dialog->show();
        QCOMPARE(m_dialog->windowTitle(), QString("Internet Email Settings"));
        QCOMPARE(m_dialog->txtSMTPPort->text(), QString("587"));
        QCOMPARE(m_dialog->txtServerTimeOut->text(), QString("45"));
        QCOMPARE(m_dialog->cmboAuthenticationMethod->currentText(), QString("CRAM-MD5"));
        QCOMPARE(m_dialog->txtUserName->text(), QString("mailer"));
        QCOMPARE(m_dialog->txtPassword->echoMode(), QLineEdit::Password);
        QCOMPARE(m_dialog->cmboAuthenticationMethod->count(), 5);
        m_dialog->CancelButton->click();

        // Changed in the file meanwhile (the record in memory differs): the file is shown.
        m_f->t.state.Config.SMTPPort = 2525;
        m_f->save();
        m_f->t.state.Config.SMTPPort = 1;
        m_dialog->show();
        QCOMPARE(m_dialog->txtSMTPPort->text(), QString("2525"));
    }

    void neverWrittenMethodShowsLogin()
    {
        // A file written before any method was stored: the method field holds NUL bytes.
        QByteArray bytes = m_f->fileBytes();
        bytes.replace(936, 20, QByteArray(20, '\0'));
        QFile f(m_f->file.path());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        f.close();
        m_dialog->show();
        QCOMPARE(m_dialog->cmboAuthenticationMethod->currentText(), QString("LOGIN"));
    }

    void uncheckingAuthenticationSelectsNone()
    {
        m_dialog->show();
        QVERIFY(m_dialog->cmboAuthenticationMethod->isEnabled());
        m_dialog->chkAuthentication->click();
        QCOMPARE(m_dialog->cmboAuthenticationMethod->currentText(), QString("NONE"));
        QVERIFY(!m_dialog->cmboAuthenticationMethod->isEnabled());
        QVERIFY(!m_dialog->txtUserName->isEnabled());
        QVERIFY(!m_dialog->txtPassword->isEnabled());
        QVERIFY(m_dialog->txtLoginDomain->isEnabled());
        // Checking it again leaves "NONE" until another method is picked.
        m_dialog->chkAuthentication->click();
        QCOMPARE(m_dialog->cmboAuthenticationMethod->currentText(), QString("NONE"));
        QVERIFY(m_dialog->txtPassword->isEnabled());
    }

    void blankNumbersAreRefusedAndTheWindowStays_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message");
        QTest::newRow("port") << QByteArray("txtSMTPPort") << ""
                              << "The SMTP Port can not be left blank.  Please enter the SMTP port number.";
        QTest::newRow("time-out")
            << QByteArray("txtServerTimeOut") << ""
            << "The server timeout can not be left blank.  Please enter a time in seconds.";
        QTest::newRow("port past 16 bits")
            << QByteArray("txtSMTPPort") << "40000"
            << "The SMTP Port can not be larger than 32767.  Please enter the SMTP port number.";
    }
    void blankNumbersAreRefusedAndTheWindowStays()
    {
        QFETCH(QByteArray, name);
        QFETCH(QString, typed);
        QFETCH(QString, message);
        const QByteArray before = m_f->fileBytes();
        m_dialog->show();
        auto *box = Control<QLineEdit>(*m_dialog, name.constData());
        TypeInto(box, typed);
        m_dialog->OKButton->click();
        QCOMPARE(m_f->t.prompts.texts, QStringList({message}));
        QVERIFY(IsMarkedYellow(box));
        QVERIFY(m_dialog->isVisible());
        QCOMPARE(m_f->fileBytes(), before);
        QTest::keyClick(box, Qt::Key_Backspace);
        QVERIFY(!IsMarkedYellow(box));
    }

    void aLetterInThePortBoxDoesNothing()
    {
        m_dialog->show();
        QLineEdit *port = m_dialog->txtSMTPPort;
        port->setFocus();
        port->end(false);
        QTest::keyClicks(port, "x;");
        QCOMPARE(port->text(), QString("587"));
        QTest::keyClick(port, Qt::Key_Backspace);
        QTest::keyClick(port, Qt::Key_5);
        QCOMPARE(port->text(), QString("585"));
    }

    void okSavesTheFileAndCloses()
    {
        m_dialog->show();
        TypeInto(m_dialog->txtSMTPPort, "465");
        TypeInto(m_dialog->txtServerTimeOut, "20");
        m_dialog->chkSSL->click();
        m_dialog->cmboAuthenticationMethod->setCurrentText("PLAIN");
        TypeInto(m_dialog->txtLoginDomain, "ACME");
        m_dialog->OKButton->click();
        QVERIFY(!m_dialog->isVisible());
        QCOMPARE(m_dialog->result(), int(QDialog::Accepted));
        QCOMPARE(m_f->int16At(1056), qint16(465));
        QCOMPARE(m_f->int16At(1058), qint16(20));
        QCOMPARE(m_f->int16At(1066), qint16(1));
        QCOMPARE(m_f->int16At(1068), qint16(1));
        QCOMPARE(m_f->textAt(936, 20), QByteArray("PLAIN"));
        QCOMPARE(m_f->textAt(836, 100), QByteArray("ACME"));
        QVERIFY(m_f->t.prompts.texts.isEmpty());
    }

    void failedSaveIsReportedAndTheWindowStillCloses()
    {
        m_dialog->show();
        QFile::remove(m_f->file.path());
        QVERIFY(QDir().mkdir(m_f->file.path()));
        TypeInto(m_dialog->txtSMTPPort, "2525");
        m_dialog->OKButton->click();
        QCOMPARE(m_f->t.prompts.texts, QStringList({"Error saving SMTP advanced settings."}));
        QVERIFY(!m_dialog->isVisible());
        // What was not saved does not reach the program's settings.
        QCOMPARE(m_f->t.state.Config.SMTPPort, qint16(587));
        QVERIFY(!m_dialog->saved());
    }

    void unreadableFileKeepsTheSettingsInMemory()
    {
        QFile f(m_f->file.path());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("short");
        f.close();
        m_dialog->show();
        QCOMPARE(m_f->t.prompts.texts.size(), 1);
        QVERIFY(m_f->t.prompts.texts.first().startsWith(
            "There was an error loading the the Advanced Email form.  The error is "));
        QCOMPARE(m_dialog->txtUserName->text(), QString("mailer"));
        QCOMPARE(m_f->t.state.Config.SMTPPassword, QString("hunter2"));
    }

private:
    std::unique_ptr<SettingsFixture> m_f;
    std::unique_ptr<AdvancedEmailDialog> m_dialog;
};

QTEST_MAIN(TestAdvancedEmail)
#include "tst_advancedemail.moc"
