#pragma once

#include <alarms/EventBrowser.h>

#include <QObject>

class AlarmReaderPage;
class AlarmResponse;
class Database;
class ErrorListsPage;
class ProgramState;
class QScrollBar;
class QTabWidget;
class QTableView;

// The events view of the main window, on the tabs of tabMain: the alarm reader with the
// resolution entry ("Alarm Details"), the alarm grid ("Alarm History") and the device-failure
// and error grids ("Errors", the third tab, which reads its grids again when it is selected).
// The alarm grid and the reader show the same alarm: picking a row shows it in the reader.
class EventViews final : public QObject {
    Q_OBJECT
public:
    static constexpr int ErrorsTab = 2;

    EventViews(ProgramState &state, Database &db, QTabWidget *tabMain, QObject *parent = nullptr);

    EventBrowser &browser() { return m_browser; }
    // Where alarms are acknowledged; the views show an acknowledgement made anywhere at once.
    void setResponse(AlarmResponse *response);
    // What the Events menu runs before showing the events view: the grids read again, then the
    // alarm chosen by AlarmNum shown.
    void RefreshEventsDatabase();
    void DisplayAlarms();

    QScrollBar *alarmNum() const;
    QTableView *alarmsGrid() const { return m_dbgridAlarms; }
    ErrorListsPage *errorsPage() const { return m_errorsPage; }

private:
    void selectShownAlarm();
    void onAlarmRowPicked(int row);

    EventBrowser m_browser;
    QTabWidget *m_tabMain;
    AlarmReaderPage *m_readerPage = nullptr;
    QTableView *m_dbgridAlarms = nullptr;
    ErrorListsPage *m_errorsPage = nullptr;
    bool m_selecting = false;
};
