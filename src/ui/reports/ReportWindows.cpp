#include "ReportWindows.h"

#include "ReportPrinting.h"

#include <reports/MonthlyReport.h>
#include <ui/main/MainWindow.h>

ReportWindows::ReportWindows(ProgramState &state, MainWindow &window, Database &db, MonthlyReport &monthly)
    : QObject(&window), m_state(state), m_window(window), m_db(db)
{
    window.openReports = [this] { open(); };
    monthly.print = PrintReportOn;
}

void ReportWindows::open()
{
    if (!m_open) {
        m_open = new ReportsWindow(m_state, m_db, &m_window);
        m_open->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_open->setWindowState(m_open->windowState() & ~Qt::WindowMinimized);
    m_open->show();
    m_open->raise();
    m_open->activateWindow();
}

#include "moc_ReportWindows.cpp"
