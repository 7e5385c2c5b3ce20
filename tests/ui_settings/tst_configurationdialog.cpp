#include "support_settings.h"

#include <core/Activation.h>
#include <core/IniFile.h>
#include <core/PollTimer.h>
#include <core/StatusList.h>
#include <support/Screenshot.h>
#include <ui/settings/ConfigurationDialog.h>
#include <ui/settings/PrinterList.h>
#include <ui/settings/SettingsWidgets.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QtTest/qtestspontaneevent.h>

class TestConfigurationDialog : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        QApplication::setApplicationName("Tallyport");
        m_f = std::make_unique<SettingsFixture>();
        m_f->t.state.Config.OrgName = "Acme";
        m_f->t.state.Config.AdminEmailAddress = "it@acme.test";
        m_f->save();
        m_dialog = std::make_unique<ConfigurationDialog>(m_f->t.state, m_f->file, m_f->mail);
        m_dialog->show();
    }
    void cleanup()
    {
        QCOMPARE(m_f->t.prompts.unexpected, 0);
        m_dialog.reset();
        m_f.reset();
    }

    void opensOnTheFirstTabWithTheSettings()
    {
        QCOMPARE(m_dialog->windowTitle(), QString("Tallyport Configuration"));
        QCOMPARE(m_dialog->tabs()->currentIndex(), 0);
        QCOMPARE(box("txtOrgName")->text(), QString("Acme"));
        QCOMPARE(box("txtUpdateRate")->text(), QString("60"));
        QCOMPARE(Control<QLabel>(*m_dialog, "lblPrinter")->text(), QString("No Printer Selected"));
        QCOMPARE(Control<QLabel>(*m_dialog, "lblLogDir")->text(), QString("Current Log File Location: "));
        QCOMPARE(Control<QComboBox>(*m_dialog, "cmboAMPM")->currentText(), QString("PM"));
        QVERIFY(!m_dialog->changed());
        SaveScreenshot(*m_dialog, "settings-window");
    }

    void updateRateBelowFiveIsRaisedAndNothingSavedUntilApplyAgain()
    {
        const QByteArray before = m_f->fileBytes();
        TypeInto(box("txtUpdateRate"), "4");
        apply();
        QCOMPARE(texts(),
                 QStringList({"The minimum update rate is 5 seconds.  Please adjust the update rate."}));
        QCOMPARE(box("txtUpdateRate")->text(), QString("5"));
        QVERIFY(IsMarkedYellow(box("txtUpdateRate")));
        QCOMPARE(m_dialog->tabs()->currentWidget(), box("txtUpdateRate")->parentWidget());
        QCOMPARE(m_f->fileBytes(), before);
        QVERIFY(Control<QPushButton>(*m_dialog, "btnApply")->isEnabled());

        apply();
        QCOMPARE(texts().last(), QString("Configuration parameters have been saved"));
        QCOMPARE(m_f->int16At(1064), qint16(5));
    }

    void numbersTheRecordCannotTakeAreRefused_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty retries") << QByteArray("txtCommunicationRetry") << ""
                                       << "Please do not leave any option blank";
        QTest::newRow("empty update rate") << QByteArray("txtUpdateRate") << ""
                                           << "Please do not leave any option blank";
        QTest::newRow("update rate past 16 bits")
            << QByteArray("txtUpdateRate") << "40000"
            << "The update rate can not be more than 32767 seconds.  Please adjust the update rate.";
        // The attempts and the time-out are taken in the ranges their labels give.
        QTest::newRow("six attempts") << QByteArray("txtCommunicationRetry") << "6"
                                      << "The number of communication attempts must be a value from 1 "
                                         "to 5.  Please adjust the number of communication attempts.";
        QTest::newRow("time-out 10") << QByteArray("txtTCPTimeOut") << "10"
                                     << "The network communication time out must be a value from 2 to "
                                        "9.  Please adjust the network communication time out.";
        QTest::newRow("time-out 1") << QByteArray("txtTCPTimeOut") << "1"
                                    << "The network communication time out must be a value from 2 to "
                                       "9.  Please adjust the network communication time out.";
    }
    void numbersTheRecordCannotTakeAreRefused()
    {
        QFETCH(QByteArray, name);
        QFETCH(QString, typed);
        QFETCH(QString, message);
        const QByteArray before = m_f->fileBytes();
        TypeInto(box(name), typed);
        apply();
        QCOMPARE(texts(), QStringList({message}));
        QVERIFY(IsMarkedYellow(box(name)));
        QCOMPARE(m_f->fileBytes(), before);
        // Typing into it clears the mark.
        QTest::keyClick(box(name), Qt::Key_Backspace);
        QVERIFY(!IsMarkedYellow(box(name)));
    }

    void numberBoxesTakeDigitsOnly()
    {
        const QList<QLabel *> labels = m_dialog->findChildren<QLabel *>();
        const auto shown = [&labels](const QString &text) {
            return std::any_of(labels.cbegin(), labels.cend(),
                               [&text](const QLabel *l) { return l->text().contains(text); });
        };
        QVERIFY(shown("(Enter a value from 1 to 5)"));
        QVERIFY(shown("(sec)  (Enter a value from 2 to 9)"));
        QLineEdit *rate = box("txtTCPTimeOut");
        TypeInto(rate, "3");
        QTest::keyClicks(rate, "a-.");
        QCOMPARE(rate->text(), QString("3"));
        QVERIFY(m_dialog->changed());
    }

    void passwordsMustMatchOnlyWithAUserName()
    {
        const QByteArray before = m_f->fileBytes();
        TypeInto(box("txtUN"), "admin");
        TypeInto(box("txtPW_0"), "one");
        TypeInto(box("txtPW_1"), "two");
        apply();
        QCOMPARE(texts(), QStringList({"The passwords do not match."}));
        QCOMPARE(m_f->fileBytes(), before);

        // Without a user name the first password is stored as it is.
        TypeInto(box("txtUN"), "");
        apply();
        QCOMPARE(texts().last(), QString("Configuration parameters have been saved"));
        QVERIFY(m_f->file.ReadConfiguration());
        QCOMPARE(m_f->t.state.Config.AdminPassword, QString("one"));
        QCOMPARE(m_f->t.state.Config.AdminUserName, QString(""));
    }

    void typingANewPasswordClearsTheConfirmation()
    {
        TypeInto(box("txtUN"), "admin");
        TypeInto(box("txtPW_0"), "secret");
        TypeInto(box("txtPW_1"), "secret");
        QTest::keyClick(box("txtPW_0"), Qt::Key_X);
        QCOMPARE(box("txtPW_1")->text(), QString());
        apply();
        QCOMPARE(texts(), QStringList({"The passwords do not match."}));
        TypeInto(box("txtPW_1"), "secretx");
        apply();
        QCOMPARE(texts().last(), QString("Configuration parameters have been saved"));
    }

    // Pasted administrator values that do not fit their encrypted fields are refused whole: the
    // boxes do not cut them, and nothing is saved.
    void tooLongAdministratorValuesAreRefusedNotCut()
    {
        const QByteArray before = m_f->fileBytes();
        // A paste of accented text is longer in bytes than in letters.
        TypeInto(box("txtUN"), QString(40, QChar(0xE9)));
        QCOMPARE(box("txtUN")->text().size(), 40);
        apply();
        QCOMPARE(texts(), QStringList({"The user name can not be longer than 63 characters.  Please enter a "
                                       "shorter user name."}));
        QVERIFY(IsMarkedYellow(box("txtUN")));
        QCOMPARE(m_dialog->tabs()->tabText(m_dialog->tabs()->currentIndex()), QString("Security"));

        const QString password(70, 'p');
        TypeInto(box("txtUN"), "admin");
        TypeInto(box("txtPW_0"), password);
        TypeInto(box("txtPW_1"), password);
        QCOMPARE(box("txtPW_0")->text(), password);
        apply();
        QCOMPARE(texts().last(), QString("The password can not be longer than 63 characters.  Please enter a "
                                         "shorter password."));
        QVERIFY(!texts().contains("Configuration parameters have been saved"));
        QCOMPARE(m_f->fileBytes(), before);
        QVERIFY(m_f->t.state.Config.AdminUserName.isEmpty());
    }

    // Restoring a minimised window (the window system's own show event) keeps the edits and the
    // question about them; opening the window again starts afresh.
    void editsSurviveRestoringTheWindow()
    {
        TypeInto(box("txtOrgName"), "Edited");
        QShowEvent restored;
        QSpontaneKeyEvent::setSpontaneous(&restored);
        // Delivered as the window system delivers it (sendEvent would clear the flag).
        static_cast<QObject *>(m_dialog.get())->event(&restored);
        QVERIFY(m_dialog->changed());
        m_f->t.prompts.queueAnswer(Prompts::Answer::No);
        Control<QPushButton>(*m_dialog, "btnClose")->click();
        QCOMPARE(m_f->t.prompts.titles, QStringList({"Settings have changed"}));
        QVERIFY(m_dialog->isVisible());
    }

    // Until a save succeeds nothing typed reaches the program's settings or its mailer; once it
    // does, all of it is in effect at once.
    void nothingTakesEffectBeforeASave()
    {
        const ConfigRecord before = m_f->t.state.Config;
        m_f->mail.SetUpMailManager();
        TypeInto(box("txtHost"), "discarded.example.com");
        TypeInto(box("txtFromAddress"), "discarded@example.com");
        TypeInto(box("txtUN"), "admin");
        TypeInto(box("txtPW_0"), "pw");
        TypeInto(box("txtPW_1"), "pw");
        TypeInto(box("txtServerFailureEmailAddress"), "admin");
        m_f->t.prompts.queueAnswer(Prompts::Answer::No);
        apply();
        QCOMPARE(texts(), QStringList({"Is admin a valid email address?"}));
        TypeInto(box("txtServerFailureEmailAddress"), "it@acme.test");
        TypeInto(box("txtUpdateRate"), "3");
        apply();
        m_f->t.prompts.queueFileName(m_f->t.dir.path());
        Control<QPushButton>(*m_dialog, "btnLogDir")->click();
        QCOMPARE(m_f->t.state.Config, before);
        QCOMPARE(m_f->mail.server().host, QString());

        apply();
        QCOMPARE(texts().last(), QString("Configuration parameters have been saved"));
        QCOMPARE(m_f->t.state.Config.SMTPHost, QString("discarded.example.com"));
        QCOMPARE(m_f->t.state.Config.AdminUserName, QString("admin"));
        QCOMPARE(m_f->t.state.Config.LogDirectory, m_f->t.dir.path());
        QCOMPARE(m_f->mail.server().host, QString("discarded.example.com"));
    }

    void questionableAdministratorAddressIsAskedAbout()
    {
        const QByteArray before = m_f->fileBytes();
        TypeInto(box("txtServerFailureEmailAddress"), "admin");
        m_dialog->tabs()->setCurrentIndex(0);
        m_f->t.prompts.queueAnswer(Prompts::Answer::No);
        apply();
        QCOMPARE(texts(), QStringList({"Is admin a valid email address?"}));
        QCOMPARE(m_f->t.prompts.titles.last(), QString("Tallyport"));
        QCOMPARE(m_dialog->tabs()->currentIndex(), 1);
        QCOMPARE(m_f->fileBytes(), before);

        m_f->t.prompts.queueAnswer(Prompts::Answer::Yes);
        apply();
        QCOMPARE(texts().last(), QString("Configuration parameters have been saved"));
        QCOMPARE(m_f->textAt(956, 100), QByteArray("admin"));

        // An address with an at sign and a dot is stored without a question.
        TypeInto(box("txtServerFailureEmailAddress"), "ops@acme.test");
        apply();
        QCOMPARE(texts().size(), 4);
        QCOMPARE(texts().last(), QString("Configuration parameters have been saved"));
        QCOMPARE(m_f->textAt(956, 100), QByteArray("ops@acme.test"));
    }

    void blankCredentialsLeaveTheMenusUnlocked()
    {
        TypeInto(box("txtUN"), "   ");
        TypeInto(box("txtPW_0"), "  ");
        TypeInto(box("txtPW_1"), "  ");
        apply();
        QCOMPARE(texts(), QStringList({"Configuration parameters have been saved"}));

        PollTimer timer(m_f->t.state);
        Activation activation(m_f->t.state, timer);
        m_f->t.state.Config = ConfigRecord();
        activation.RunActivationSequence();
        const MenuRights rights = activation.CurrentMenuRights();
        QVERIFY(rights.configurationEnabled);
        QCOMPARE(rights.logInCaption, QString("Log In"));
    }

    void applyWritesEveryFieldAtItsOffsetAndClearsTheStatusList()
    {
        m_f->t.state.UpdateStatus("Please click on Setup", "");
        TypeInto(box("txtOrgName"), "Harbour Cold Store");
        TypeInto(box("txtOrgPhoneNumber"), "555 0100");
        TypeInto(box("txtUpdateRate"), "30");
        TypeInto(box("txtCommunicationRetry"), "3");
        TypeInto(box("txtTCPTimeOut"), "4");
        TypeInto(box("txtHost"), "mail.acme.test");
        TypeInto(box("txtFromAddress"), "vkl@acme.test");
        Control<QCheckBox>(*m_dialog, "chkSystemOKEmail")->click();
        Control<QCheckBox>(*m_dialog, "chkEnableTrending")->click();
        QVERIFY(!Control<QLabel>(*m_dialog, "lblEnableTrending")->isHidden());
        TypeInto(box("txtTimeToPrint"), "7");
        TypeInto(box("txtUN"), "admin");
        TypeInto(box("txtPW_0"), "pw");
        TypeInto(box("txtPW_1"), "pw");
        QVERIFY(m_dialog->changed());
        apply();
        QCOMPARE(texts(), QStringList({"Configuration parameters have been saved"}));
        QVERIFY(!m_dialog->changed());
        QVERIFY(m_dialog->saved());
        QVERIFY(m_f->t.status.lines().isEmpty());

        QCOMPARE(m_f->textAt(104, 51), QByteArray("Harbour Cold Store"));
        QCOMPARE(m_f->textAt(405, 20), QByteArray("555 0100"));
        QCOMPARE(m_f->textAt(425, 100), QByteArray("No Printer Selected"));
        QCOMPARE(m_f->textAt(527, 3), QByteArray("No"));
        QCOMPARE(m_f->textAt(532, 2), QByteArray("7"));
        QCOMPARE(m_f->textAt(534, 2), QByteArray("PM"));
        QCOMPARE(m_f->textAt(536, 100), QByteArray("mail.acme.test"));
        QCOMPARE(m_f->int16At(1060), qint16(3));
        QCOMPARE(m_f->int16At(1062), qint16(4));
        QCOMPARE(m_f->int16At(1064), qint16(30));
        QCOMPARE(m_f->textAt(1070, 100), QByteArray("vkl@acme.test"));
        QCOMPARE(m_f->int16At(1170), qint16(1));
        QCOMPARE(m_f->int16At(1197), qint16(1));
        QCOMPARE(m_f->int16At(1499), qint16(0));
        // The user name is stored encrypted.
        QVERIFY(!m_f->fileBytes().contains("admin"));
        QVERIFY(m_f->file.ReadConfiguration());
        QCOMPARE(m_f->t.state.Config.AdminUserName, QString("admin"));
    }

    // The settings file written, "Tallyport.ini" not: the message says which, what was saved
    // is in effect, and the Remote Access edits wait for another Apply.
    void remoteAccessNotSavedIsReportedAndTheRestApplies()
    {
        QVERIFY(QDir().mkdir(m_f->t.path(IniFile::FileName)));
        TypeInto(box("txtOrgName"), "Other");
        TypeInto(box("txtWebPort"), "8181");
        apply();
        QCOMPARE(texts().size(), 1);
        QVERIFY2(texts().first().startsWith("Configuration parameters have been saved, except the Remote "
                                            "Access settings: "),
                 qPrintable(texts().first()));
        QCOMPARE(m_f->textAt(104, 51), QByteArray("Other"));
        QCOMPARE(m_f->t.state.Config.OrgName, QString("Other"));
        QCOMPARE(m_f->t.state.Ini.web.port, 8080);
        QVERIFY(m_dialog->saved());
        QVERIFY(m_dialog->changed());
    }

    void failedSaveSaysSo()
    {
        // A directory where the file should be: the settings cannot be written.
        QFile::remove(m_f->file.path());
        QVERIFY(QDir().mkdir(m_f->file.path()));
        TypeInto(box("txtOrgName"), "Other");
        apply();
        QCOMPARE(texts(),
                 QStringList({"Error saving configuration file.  Please verify that hard drive is not "
                              "write protected."}));
        QVERIFY(m_dialog->changed());
        QVERIFY(!m_dialog->saved());
    }

    void closingWithUnsavedChangesAsks()
    {
        TypeInto(box("txtHost"), "other.host");
        m_f->t.prompts.queueAnswer(Prompts::Answer::No);
        Control<QPushButton>(*m_dialog, "btnClose")->click();
        QVERIFY(m_dialog->isVisible());
        QCOMPARE(m_f->t.prompts.titles.last(), QString("Settings have changed"));
        QCOMPARE(texts().last(),
                 QString("You have made changes to the settings without saving them.  Do you wish "
                         "to discard your changes?\n\nClick Yes to discard changes.\nTo save "
                         "changes, click No and then click Apply before closing this window"));
        m_f->t.prompts.queueAnswer(Prompts::Answer::Yes);
        m_dialog->close();
        QVERIFY(!m_dialog->isVisible());
        QCOMPARE(texts().size(), 2);

        // Without changes it closes at once.
        m_dialog->show();
        QTest::keyClick(m_dialog.get(), Qt::Key_Escape);
        QVERIFY(!m_dialog->isVisible());
        QCOMPARE(texts().size(), 2);

        // A channel begun on the Notifications tab and not saved with its own button asks too.
        m_dialog->show();
        TypeInto(box("txtNotifyUrl"), "https://ntfy.example.org/freezers");
        m_f->t.prompts.queueAnswer(Prompts::Answer::No);
        QTest::keyClick(m_dialog.get(), Qt::Key_Escape);
        QVERIFY(m_dialog->isVisible());
        QCOMPARE(texts().size(), 3);
    }

    void logDirectoryKeepsThePathExactlyAsChosen()
    {
        const QString chosen = QDir(m_f->t.dir.path()).filePath("Backup Copies/MixedCase");
        m_f->t.prompts.queueFileName(chosen);
        Control<QPushButton>(*m_dialog, "btnLogDir")->click();
        QCOMPARE(Control<QLabel>(*m_dialog, "lblLogDir")->text(), "Current Log File Location: " + chosen);
        QVERIFY(m_dialog->changed());
        QVERIFY(m_f->t.state.Config.LogDirectory.isEmpty());
        apply();
        QCOMPARE(m_f->textAt(1399, 100), chosen.toUtf8());
        QCOMPARE(m_f->t.state.Config.LogDirectory, chosen);

        // Cancel changes nothing; a path the record would cut is refused.
        m_f->t.prompts.queueFileName(QString());
        Control<QPushButton>(*m_dialog, "btnLogDir")->click();
        m_f->t.prompts.queueFileName("/" + QString(120, 'd'));
        Control<QPushButton>(*m_dialog, "btnLogDir")->click();
        QVERIFY(texts().last().contains("can not be stored as the log file location"));
        QCOMPARE(Control<QLabel>(*m_dialog, "lblLogDir")->text(), "Current Log File Location: " + chosen);

        // Back to none: no second copy of the data files.
        auto *none = Control<QPushButton>(*m_dialog, "btnNoLogDir");
        QVERIFY(none->isEnabled());
        none->click();
        QCOMPARE(Control<QLabel>(*m_dialog, "lblLogDir")->text(), QString("Current Log File Location: "));
        QVERIFY(!none->isEnabled());
        apply();
        QCOMPARE(m_f->textAt(1399, 100), QByteArray());
        QVERIFY(m_f->t.state.Config.LogDirectory.trimmed().isEmpty());
    }

    void checkingAPrinterUnchecksTheOthers()
    {
        auto *list = Control<PrinterList>(*m_dialog, "lstPrinters");
        QVERIFY(list->isHidden());
        list->setPrinters({});
        QCOMPARE(list->count(), 1);
        QCOMPARE(list->item(0)->text(), PrinterList::NoPrintersText);
        QVERIFY(!(list->item(0)->flags() & Qt::ItemIsUserCheckable));

        list->setPrinters({"Office Laser", "Label Printer"});
        Control<QPushButton>(*m_dialog, "btnPrinter")->click();
        QVERIFY(!list->isHidden());
        list->item(0)->setCheckState(Qt::Checked);
        list->item(1)->setCheckState(Qt::Checked);
        QCOMPARE(list->item(0)->checkState(), Qt::Unchecked);
        QCOMPARE(Control<QLabel>(*m_dialog, "lblPrinter")->text(), QString("Label Printer"));
        apply();
        QCOMPARE(m_f->textAt(425, 100), QByteArray("Label Printer"));
        QCOMPARE(m_f->int16At(525), qint16(1));
    }

private:
    QLineEdit *box(const char *name) { return Control<QLineEdit>(*m_dialog, name); }
    QLineEdit *box(const QByteArray &name) { return box(name.constData()); }
    void apply() { Control<QPushButton>(*m_dialog, "btnApply")->click(); }
    const QStringList &texts() const { return m_f->t.prompts.texts; }

    std::unique_ptr<SettingsFixture> m_f;
    std::unique_ptr<ConfigurationDialog> m_dialog;
};

QTEST_MAIN(TestConfigurationDialog)
#include "tst_configurationdialog.moc"
