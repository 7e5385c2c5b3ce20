#pragma once

#include "ReportsWindow.h"

#include <QObject>
#include <QPointer>

class Database;
class MainWindow;
class MonthlyReport;
class ProgramState;

// Opens the Reports window from the main window's menu and the notification area, one at a
// time (asked for again, the open one comes to the front), and lets the monthly report print.
class ReportWindows final : public QObject {
    Q_OBJECT
public:
    ReportWindows(ProgramState &state, MainWindow &window, Database &db, MonthlyReport &monthly);

    void open();
    ReportsWindow *openWindow() const { return m_open; }

private:
    ProgramState &m_state;
    MainWindow &m_window;
    Database &m_db;
    QPointer<ReportsWindow> m_open;
};
