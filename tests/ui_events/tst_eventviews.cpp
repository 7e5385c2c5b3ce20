#include "support_events.h"

#include <ui/main/AlarmPopup.h>
#include <ui/main/EventViewsErrors.h>
#include <ui/settings/SettingsWidgets.h>

#include <support/Screenshot.h>

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QTextEdit>

namespace {
void clickRow(QTableView *grid, int row)
{
    const QRect cell = grid->visualRect(grid->model()->index(row, 0));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
}
} // namespace

class TestEventViews : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QApplication::setApplicationName("Tallyport"); }

    void anEmptyAlarmTable()
    {
        EventsWindow w;
        w.openEvents();
        QCOMPARE(w.window.currentView(), 3);
        QCOMPARE(w.find<QLabel>("lblAlarmRecordNum")->text(), QString("No Alarms"));
        QCOMPARE(w.find<QTextEdit>("rtbAlarms")->toPlainText(), QString("There are no alarms"));
        QVERIFY(!w.find<QPushButton>("btnResolution")->isEnabled());
        QCOMPARE(w.find<QScrollBar>("AlarmNum")->maximum(), 0);
        QVERIFY(w.find<QGroupBox>("frmResolution")->isHidden());
        QVERIFY(w.find<QTableView>("dbgridDeviceAlarms")->isHidden());
        QVERIFY(w.find<QTableView>("dbgridSystemErrors")->isHidden());
        auto *tabs = w.find<QTabWidget>("tabMain");
        QCOMPARE(tabs->count(), 3);
        QCOMPARE(tabs->tabText(2), QString("Errors"));
    }

    void resolutionEntryOpensSavesAndCancels()
    {
        EventsWindow w;
        const qint64 id = w.addAlarm(5);
        w.openEvents();
        auto *button = w.find<QPushButton>("btnResolution");
        auto *frame = w.find<QGroupBox>("frmResolution");
        auto *text = w.find<QPlainTextEdit>("txtResolution");
        QVERIFY(button->isEnabled());
        QCOMPARE(w.find<QLabel>("lblAlarmRecordNum")->text(), QString("Alarm 1 of 1"));

        button->click();
        QVERIFY(!frame->isHidden());
        QVERIFY(!button->isEnabled());
        text->setPlainText("draft");
        w.find<QPushButton>("btnCancelResolution")->click();
        QVERIFY(frame->isHidden());
        QVERIFY(button->isEnabled());
        QVERIFY(text->toPlainText().isEmpty());
        QCOMPARE(w.rows("tblAlarms WHERE Resolution IS NOT NULL"), 0);

        button->click();
        text->setPlainText("Door closed\nand checked");
        w.find<QPushButton>("btnSaveResolution")->click();
        QVERIFY(frame->isHidden());
        QVERIFY(button->isEnabled());
        QVariant stored;
        QVERIFY(w.db.GetFieldValue(id, "tblAlarms", "Resolution", stored));
        QCOMPARE(stored.toString(),
                 QString("Resolution Entered 3/14/2026 10:30:00 AM\rDoor closed\rand checked"));
        QVERIFY(w.find<QTextEdit>("rtbAlarms")
                    ->toPlainText()
                    .endsWith(
                        "Resolution: \nResolution Entered 3/14/2026 10:30:00 AM\nDoor closed\nand checked"));
    }

    // Acknowledge in the Events view: a typed name while nobody is logged in, the administrator's
    // while one is; a resolution of an open alarm acknowledges it too, of an ended one it does not.
    void theEventsViewAcknowledgesAndSoDoesAResolution()
    {
        EventsWindow w;
        const qint64 ended = w.addAlarm(50, "Cold room");
        QVERIFY(w.db.EndAlarm(ended));
        const qint64 resolved = w.addAlarm(40, "Cellar");
        const qint64 byAdmin = w.addAlarm(30, "Fridge");
        const qint64 typed = w.addAlarm(20, "Freezer");
        w.window.resize(900, 700);
        w.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.window));
        w.openEvents();
        auto *acknowledge = w.find<QPushButton>("btnAcknowledge");
        auto *frame = w.find<QGroupBox>("frmAcknowledge");
        auto *by = w.find<QLineEdit>("txtAckBy");
        auto *reader = w.find<QTextEdit>("rtbAlarms");
        auto ackBy = [&](qint64 id) {
            return w
                .value(QString("SELECT AckBy || '|' || AckVia || '|' || AckComment FROM tblAlarmAcks "
                               "WHERE AlarmID = %1")
                           .arg(id))
                .toString();
        };
        QVERIFY(acknowledge->isEnabled());
        QVERIFY(reader->toPlainText().contains("Not acknowledged yet."));

        acknowledge->click();
        QVERIFY(!frame->isHidden());
        QVERIFY(!by->isReadOnly());
        QVERIFY(!acknowledge->isEnabled() && !w.find<QPushButton>("btnResolution")->isEnabled());
        w.find<QPushButton>("btnSaveAcknowledge")->click(); // no name: the box asks for one
        QVERIFY(IsMarkedYellow(by));
        QCOMPARE(w.rows("tblAlarmAcks"), 0);
        QTest::keyClicks(by, "Ann");
        QTest::keyClicks(w.find<QLineEdit>("txtAckComment"), "on my way");
        SaveScreenshot(w.window, "events-acknowledge");
        w.find<QPushButton>("btnSaveAcknowledge")->click();
        QVERIFY(frame->isHidden());
        QCOMPARE(ackBy(typed), QString("Ann|desktop|on my way"));
        QVERIFY(!acknowledge->isEnabled());
        QVERIFY(reader->toPlainText().contains(
            "Acknowledged by Ann at 3/14/2026 10:30:00 AM (desktop): on my way"));
        QCOMPARE(w.views().browser().alarms().index(0, 11).data().toString(), QString("Ann"));

        // Logged in, the administrator's name is used and cannot be changed.
        w.t.state.LoginSucceeded = true;
        w.t.state.Config.AdminUserName = "Chief";
        w.find<QScrollBar>("AlarmNum")->setValue(2);
        QCOMPARE(w.views().browser().reader().alarmId, byAdmin);
        acknowledge->click();
        QCOMPARE(by->text(), QString("Chief"));
        QVERIFY(by->isReadOnly());
        w.find<QPushButton>("btnSaveAcknowledge")->click();
        QCOMPARE(ackBy(byAdmin), QString("Chief|desktop|"));

        // A resolution: with nobody logged in the entry asks for the name it acknowledges with.
        w.t.state.LoginSucceeded = false;
        w.find<QScrollBar>("AlarmNum")->setValue(3);
        QCOMPARE(w.views().browser().reader().alarmId, resolved);
        w.find<QPushButton>("btnResolution")->click();
        auto *resolutionBy = w.find<QLineEdit>("txtResolutionBy");
        QVERIFY(resolutionBy->isVisible());
        w.find<QPlainTextEdit>("txtResolution")->setPlainText("Door shut");
        QTest::keyClicks(resolutionBy, "Dee");
        w.find<QPushButton>("btnSaveResolution")->click();
        QCOMPARE(ackBy(resolved), QString("Dee|desktop|Door shut"));
        QVERIFY(!acknowledge->isEnabled());

        w.find<QScrollBar>("AlarmNum")->setValue(4);
        QCOMPARE(w.views().browser().reader().alarmId, ended);
        QVERIFY(!acknowledge->isEnabled());
        w.find<QPushButton>("btnResolution")->click();
        QVERIFY(!resolutionBy->isVisible());
        w.find<QPlainTextEdit>("txtResolution")->setPlainText("Seen later");
        w.find<QPushButton>("btnSaveResolution")->click();
        QCOMPARE(w.rows("tblAlarmAcks"), 3);
        QVERIFY(reader->toPlainText().contains("This alarm was never acknowledged."));
        QCOMPARE(w.t.prompts.unexpected, 0);
    }

    // The pop-up lists the open alarms nobody has taken and acknowledges the one picked; once
    // someone works in it, it stays until closed.
    void thePopupAcknowledgesTheAlarmPicked()
    {
        EventsWindow w;
        const qint64 older = w.addAlarm(20, "Freezer");
        const qint64 newer = w.addAlarm(10, "Fridge");
        const qint64 taken = w.addAlarm(5, "Cellar");
        QVERIFY(
            w.response.Acknowledge({taken, "Ann", "", AlarmResponse::Via::Api, "127.0.0.1"}).acknowledged());
        AlarmPopup popup(w.t.dir.path());
        popup.setResponse(&w.response);
        const QString notice = "There is a temperature alarm.  Please view status on Tallyport.";
        popup.showNotice(notice);
        QVERIFY(QTest::qWaitForWindowExposed(&popup));
        QCOMPARE(popup.text(), notice);
        auto *list = popup.findChild<QListWidget *>("lstPopupAlarms");
        auto *name = popup.findChild<QLineEdit *>("txtPopupAckBy");
        auto *button = popup.findChild<QPushButton *>("btnPopupAcknowledge");
        QCOMPARE(list->count(), 2);
        QVERIFY(list->item(0)->text().startsWith(QString("Alarm %1: Freezer on Lab, since ").arg(older)));
        QCOMPARE(list->currentRow(), 0);
        QVERIFY(name->isVisible());

        list->setCurrentRow(1);
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(IsMarkedYellow(name));
        QVERIFY(popup.engaged());
        QCOMPARE(w.rows("tblAlarmAcks"), 1);
        QTest::keyClicks(name, "Bob");
        SaveScreenshot(popup, "alarm-popup");
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(w.value(QString("SELECT AckBy FROM tblAlarmAcks WHERE AlarmID = %1").arg(newer)).toString(),
                 QString("Bob"));
        QCOMPARE(popup.findChild<QLabel *>("lblPopupAnswer")->text(),
                 QString("Alarm %1 is acknowledged.").arg(newer));
        QCOMPARE(list->count(), 1);
        // The next cycle's notice keeps it up with the name typed; Close puts it away.
        QTest::qWait(50);
        popup.showNotice(notice);
        QVERIFY(popup.isVisible());
        QCOMPARE(name->text(), QString("Bob"));
        popup.findChild<QPushButton *>("btnPopupClose")->click();
        QVERIFY(!popup.isVisible());
        QVERIFY(!popup.engaged());
    }

    void theReaderAndTheAlarmGridShowTheSameAlarm()
    {
        EventsWindow w;
        const qint64 oldest = w.addAlarm(30, "Oldest");
        w.addAlarm(20, "Middle");
        w.addAlarm(10, "Newest");
        w.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.window));
        w.openEvents();
        auto *alarmNum = w.find<QScrollBar>("AlarmNum");
        auto *grid = w.find<QTableView>("dbgridAlarms");
        auto *label = w.find<QLabel>("lblAlarmRecordNum");
        QCOMPARE(alarmNum->minimum(), 1);
        QCOMPARE(alarmNum->maximum(), 3);

        alarmNum->setValue(2);
        QCOMPARE(label->text(), QString("Alarm 2 of 3"));
        QVERIFY(w.find<QTextEdit>("rtbAlarms")->toPlainText().contains("sensor: Middle"));
        QCOMPARE(grid->currentIndex().row(), 1);

        w.find<QTabWidget>("tabMain")->setCurrentIndex(1);
        clickRow(grid, 2);
        QTRY_COMPARE(alarmNum->value(), 3);
        QCOMPARE(label->text(), QString("Alarm 3 of 3"));
        QCOMPARE(w.views().browser().reader().alarmId, oldest);
        QCOMPARE(grid->currentIndex().row(), 2);
    }

    void theErrorsTabListsEpisodesTheEventsMenuLeavesOut()
    {
        EventsWindow w;
        w.addEpisode("Lab", true);
        w.t.clock.advanceSeconds(60);
        w.addEpisode("Cold room", false);
        w.openEvents();
        auto *grid = w.find<QTableView>("dbgridDeviceAlarms");
        QCOMPARE(grid->model()->rowCount(), 1);
        QVERIFY(!grid->isHidden());
        w.find<QTabWidget>("tabMain")->setCurrentIndex(2);
        QCOMPARE(grid->model()->rowCount(), 2);
        QCOMPARE(grid->model()->index(0, 1).data().toString(), QString("Cold room"));
        w.openEvents();
        QCOMPARE(grid->model()->rowCount(), 1);
    }

    void aRightClickOnAGridAsksBeforeClearing_data()
    {
        QTest::addColumn<QString>("gridName");
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("question");
        QTest::newRow("device alarms") << "dbgridDeviceAlarms"
                                       << "tblServerFailures"
                                       << "Clear all alarms?";
        QTest::newRow("system errors") << "dbgridSystemErrors"
                                       << "tblErrors"
                                       << "Clear system errors?";
    }
    void aRightClickOnAGridAsksBeforeClearing()
    {
        QFETCH(QString, gridName);
        QFETCH(QString, table);
        QFETCH(QString, question);
        EventsWindow w;
        w.addAlarm(5);
        w.addEpisode("Lab", true);
        w.db.AddError("LogRoutine", "timed out");
        w.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.window));
        w.openEvents();
        w.find<QTabWidget>("tabMain")->setCurrentIndex(2);
        auto *grid = w.find<QTableView>(qPrintable(gridName));
        QVERIFY(!grid->isHidden());

        w.t.prompts.queueAnswer(Prompts::Answer::Cancel);
        QTest::mousePress(grid->viewport(), Qt::RightButton, {}, QPoint(5, 5));
        QCOMPARE(w.t.prompts.texts.last(), question);
        QCOMPARE(w.rows(qPrintable(table)), 1);
        QVERIFY(!grid->isHidden());

        w.t.prompts.queueAnswer(Prompts::Answer::Ok);
        QTest::mousePress(grid->viewport(), Qt::RightButton, {}, QPoint(5, 5));
        QCOMPARE(w.rows(qPrintable(table)), 0);
        QVERIFY(grid->isHidden());
        QCOMPARE(w.rows("tblAlarms"), 1);
        QCOMPARE(w.window.currentView(), 3);
        QCOMPARE(w.t.prompts.unexpected, 0);
    }

    void aDoubleClickEnlargesTheErrorGridAndAnotherPutsItBack()
    {
        EventsWindow w;
        w.addEpisode("Lab", true);
        w.db.AddError("LogRoutine", "timed out");
        w.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.window));
        w.openEvents();
        w.find<QTabWidget>("tabMain")->setCurrentIndex(2);
        ErrorListsPage *page = w.views().errorsPage();
        auto *errors = w.find<QTableView>("dbgridSystemErrors");
        auto *devices = w.find<QTableView>("dbgridDeviceAlarms");
        const QRect normal = errors->geometry();
        QVERIFY(normal.top() > devices->geometry().top());
        QVERIFY(normal.bottom() > page->height() - 20);

        QTest::mouseDClick(errors->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
        QVERIFY(page->errorGridEnlarged());
        QVERIFY(errors->geometry().top() <= devices->geometry().top());
        QVERIFY(errors->geometry().height() > page->height() * 3 / 4);

        QTest::mouseDClick(errors->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
        QVERIFY(!page->errorGridEnlarged());
        QCOMPARE(errors->geometry(), normal);
    }
};

QTEST_MAIN(TestEventViews)
#include "tst_eventviews.moc"
