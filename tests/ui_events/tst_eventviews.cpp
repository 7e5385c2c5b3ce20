#include "support_events.h"

#include <ui/main/EventViewsErrors.h>

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
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
