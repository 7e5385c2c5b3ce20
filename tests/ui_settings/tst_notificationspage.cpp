#include <notify/support_notify.h>

#include <core/IniFile.h>
#include <support/Screenshot.h>
#include <ui/settings/NotificationsPage.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QTest>

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
};

QTEST_MAIN(TestNotificationsPage)
#include "tst_notificationspage.moc"
