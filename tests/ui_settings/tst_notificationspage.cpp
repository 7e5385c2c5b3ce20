#include <notify/support_notify.h>

#include <core/IniFile.h>
#include <support/Screenshot.h>
#include <ui/settings/EscalationPage.h>
#include <ui/settings/NotificationsPage.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>

namespace {
void setCell(EscalationPage &page, int row, int column, const QString &text)
{
    page.tblSteps->item(row, column)->setText(text);
}

// The one message the user was shown since the last call, or an empty text.
QString lastMessage(TestState &t)
{
    const QString text = t.prompts.texts.isEmpty() ? QString() : t.prompts.texts.last();
    t.prompts.texts.clear();
    return text;
}
} // namespace

class TestNotificationsPage : public QObject {
    Q_OBJECT
private slots:
    // Add, refuse, test, rename and remove a channel as a user would.
    void channelsAreAddedTestedAndRemoved()
    {
        TestReceiver receiver(QHostAddress(QStringLiteral("127.0.190.20")));
        NotifyRig rig({});
        TestState &t = rig.t;
        Notifier notifier(t.state, rig.database);
        NotificationsPage page(t.state, &notifier);
        const QString ini = t.path(IniFile::FileName);

        // A bad URL is refused with the reason; nothing is saved.
        page.txtNotifyName->setText(QStringLiteral("phones"));
        page.cboNotifyType->setCurrentText(QStringLiteral("ntfy"));
        page.txtNotifyUrl->setText(QStringLiteral("ntfy.sh/freezers"));
        QTest::mouseClick(page.btnNotifySave, Qt::LeftButton);
        QCOMPARE(t.prompts.texts.size(), 1);
        QVERIFY(t.prompts.texts.first().contains(QStringLiteral("is not an http:// or https:// address")));
        QVERIFY(t.state.Ini.channels.isEmpty());
        QVERIFY(QSettings(ini, QSettings::IniFormat).childGroups().isEmpty());

        // Test sends through the channel as typed, and shows the answer; the window keeps running.
        page.txtNotifyUrl->setText(receiver.url(QStringLiteral("/freezers")));
        receiver.statuses = {403};
        QTest::mouseClick(page.btnNotifyTest, Qt::LeftButton);
        QVERIFY(!page.btnNotifyTest->isEnabled());
        QTRY_VERIFY(page.btnNotifyTest->isEnabled());
        QVERIFY2(page.lblNotifyAnswer->text().startsWith(QStringLiteral("Failed: HTTP 403")),
                 qPrintable(page.lblNotifyAnswer->text()));
        QTest::mouseClick(page.btnNotifyTest, Qt::LeftButton);
        QTRY_VERIFY(page.lblNotifyAnswer->text().startsWith(QStringLiteral("Delivered: HTTP 200")));
        QCOMPARE(receiver.requests.size(), 2);
        QCOMPARE(receiver.requests.last().headers.value("title"), QByteArray("Tallyport test message"));

        // Saved, it is in the file and in the settings in use.
        QTest::mouseClick(page.btnNotifySave, Qt::LeftButton);
        QCOMPARE(t.state.Ini.channels.size(), 1);
        QCOMPARE(page.lstNotifyChannels->count(), 1);
        QCOMPARE(QSettings(ini, QSettings::IniFormat).value(QStringLiteral("notify.phones/type")).toString(),
                 QStringLiteral("ntfy"));
        // The picture for the user's guide shows a public address, as a user's would be.
        page.txtNotifyUrl->setText(QStringLiteral("https://ntfy.sh/bobs-lab-freezers"));
        page.resize(page.sizeHint().expandedTo(QSize(640, 0)));
        page.show();
        SaveScreenshot(page, QStringLiteral("settings-notifications"));
        page.txtNotifyUrl->setText(receiver.url(QStringLiteral("/freezers")));

        // Renamed while the receiver is down, with an alarm's message waiting in the queue and an
        // alarm end an earlier run left stored: the old section goes, and both messages go out
        // under the new name once the receiver is back.
        receiver.close();
        notifier.Notify(AlarmEvent(), QStringLiteral("tblAlarms"), 7);
        QTRY_COMPARE(Waiting(notifier, QStringLiteral("phones")), 1);
        NotifyEvent end = AlarmEvent(QStringLiteral("alarm-end"));
        end.id = QStringLiteral("left-by-an-earlier-run");
        NotifyEventRow left =
            StoredEvent(end, QStringLiteral("tblAlarms"), 7, t.clock.now(), {QStringLiteral("phones")});
        QVERIFY(rig.database.AddNotifyEvent(left));
        page.txtNotifyName->setText(QStringLiteral("pagers"));
        page.txtNotifyEvents->setText(QStringLiteral("alarm, alarm-end"));
        QTest::mouseClick(page.btnNotifySave, Qt::LeftButton);
        QCOMPARE(QSettings(ini, QSettings::IniFormat).childGroups(),
                 QStringList{QStringLiteral("notify.pagers")});
        QCOMPARE(t.state.Ini.channels.size(), 1);
        QCOMPARE(t.state.Ini.channels.first().events, QStringLiteral("alarm, alarm-end"));
        notifier.Resume();
        QTRY_COMPARE(Waiting(notifier, QStringLiteral("pagers")), 2);
        QCOMPARE(notifier.channelNames(), QStringList{QStringLiteral("pagers")});
        QVERIFY(receiver.listen());
        t.clock.advanceSeconds(5);
        notifier.Resume();
        QVERIFY(WaitForRequests(receiver, 4));
        QCOMPARE(receiver.requests[2].headers.value("title"),
                 QByteArray("Sensor: Bob's freezer has generated an alarm!"));
        QCOMPARE(receiver.requests[3].headers.value("x-tallyport-id"), QByteArray("left-by-an-earlier-run"));
        QStringList outcomes;
        QTRY_VERIFY(rig.database.NotifyOutcomes(QStringLiteral("tblAlarms"), 7, outcomes) &&
                    outcomes.filter(QStringLiteral("pagers: Delivered")).size() == 2);
        QCOMPARE(outcomes.size(), 2);
        QVERIFY(t.status.lines().filter(QStringLiteral("phones")).isEmpty());

        // Removed after the question.
        t.prompts.queueAnswer(Prompts::Answer::Yes);
        QTest::mouseClick(page.btnNotifyRemove, Qt::LeftButton);
        QVERIFY(t.state.Ini.channels.isEmpty());
        QCOMPARE(page.lstNotifyChannels->count(), 0);
        QVERIFY(QSettings(ini, QSettings::IniFormat).childGroups().isEmpty());
    }

    // The reminders and the steps of escalation are typed, refused while a value cannot be used,
    // saved to Tallyport.ini and read back alike; a step follows its channel's new name.
    void escalationIsEditedRefusedAndFollowsARename()
    {
        NotifyRig rig({});
        TestState &t = rig.t;
        const QString ini = t.path(IniFile::FileName);
        NotificationsPage channels(t.state);
        channels.txtNotifyName->setText(QStringLiteral("phones"));
        channels.cboNotifyType->setCurrentText(QStringLiteral("ntfy"));
        channels.txtNotifyUrl->setText(QStringLiteral("https://ntfy.sh/bobs-lab-freezers"));
        QTest::mouseClick(channels.btnNotifySave, Qt::LeftButton);
        QCOMPARE(t.state.Ini.channels.size(), 1);

        EscalationPage page(t.state);
        QCOMPARE(page.tblSteps->rowCount(), 0);
        QVERIFY(!page.hasUnsavedEdits());
        page.spnRepeatMinutes->setValue(10);
        QTest::mouseClick(page.btnStepAdd, Qt::LeftButton);
        QTest::mouseClick(page.btnStepAdd, Qt::LeftButton);
        QCOMPARE(page.tblSteps->item(1, EscalationPage::NumberColumn)->text(), QString("2"));
        setCell(page, 0, EscalationPage::AfterColumn, "15");
        setCell(page, 0, EscalationPage::EmailColumn, "boss@example.com");
        setCell(page, 1, EscalationPage::AfterColumn, "half an hour");
        setCell(page, 1, EscalationPage::ChannelsColumn, "pagers");
        QVERIFY(page.hasUnsavedEdits());

        // Each value that cannot be used is refused with its reason; nothing is saved.
        struct Refusal {
            const char *reason; // of the refusal
            int column;         // then mended there
            const char *typed;
        };
        for (const Refusal &r :
             {Refusal{"after how many minutes is a whole number from 1 to 10080, not \"half an hour\"",
                      EscalationPage::AfterColumn, "30"},
              Refusal{"There is no notification channel \"pagers\"", EscalationPage::ChannelsColumn, ""},
              Refusal{"The step tells nobody", EscalationPage::EmailColumn, "director"},
              Refusal{"director", EscalationPage::EmailColumn, "director@example.com"}}) {
            QTest::mouseClick(page.btnEscalationSave, Qt::LeftButton);
            const QString message = lastMessage(t);
            QVERIFY2(message.startsWith("The escalation was not saved.  Step 2: ") &&
                         message.contains(QString::fromUtf8(r.reason)),
                     qPrintable(message));
            setCell(page, 1, r.column, QString::fromUtf8(r.typed));
        }
        QVERIFY(t.state.Ini.escalation.steps.isEmpty());
        QVERIFY(!QSettings(ini, QSettings::IniFormat).childGroups().contains("escalate.1"));

        setCell(page, 1, EscalationPage::ChannelsColumn, "phones");
        QTest::mouseClick(page.btnEscalationSave, Qt::LeftButton);
        QCOMPARE(lastMessage(t), QString());
        QVERIFY(!page.hasUnsavedEdits());
        const EscalationIniSettings saved = t.state.Ini.escalation;
        QCOMPARE(saved.repeatMinutes, 10);
        QCOMPARE(saved.steps.size(), 2);
        // Read back from the file alike.
        t.state.Ini.escalation = {};
        QVERIFY(IniFile(t.state).Read());
        QCOMPARE(t.state.Ini.escalation, saved);
        page.resize(page.sizeHint().expandedTo(QSize(640, 300)));
        page.show();
        SaveScreenshot(page, QStringLiteral("settings-escalation"));

        // The channel renamed on its tab: the step names it anew, and the tab shows it.
        channels.lstNotifyChannels->setCurrentRow(0);
        channels.txtNotifyName->setText(QStringLiteral("pagers"));
        QTest::mouseClick(channels.btnNotifySave, Qt::LeftButton);
        QCOMPARE(QSettings(ini, QSettings::IniFormat).value("escalate.2/channels").toString(),
                 QString("pagers"));
        page.hide();
        page.show();
        QCOMPARE(page.tblSteps->item(1, EscalationPage::ChannelsColumn)->text(), QString("pagers"));

        // A step removed goes from the file; the other keeps its number.
        page.tblSteps->setCurrentCell(0, EscalationPage::AfterColumn);
        QTest::mouseClick(page.btnStepRemove, Qt::LeftButton);
        QTest::mouseClick(page.btnEscalationSave, Qt::LeftButton);
        QCOMPARE(lastMessage(t), QString());
        const QStringList groups = QSettings(ini, QSettings::IniFormat).childGroups();
        QVERIFY(!groups.contains("escalate.1"));
        QVERIFY(groups.contains("escalate.2"));
        QCOMPARE(t.state.Ini.escalation.steps.size(), 1);
        QCOMPARE(t.state.Ini.escalation.steps.first().number, 2);
    }
};

QTEST_MAIN(TestNotificationsPage)
#include "tst_notificationspage.moc"
