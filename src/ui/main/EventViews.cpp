#include "EventViews.h"

#include "EventViewsErrors.h"
#include "EventViewsGrid.h"
#include "EventViewsReader.h"

#include <alarms/AlarmResponse.h>

#include <QItemSelectionModel>
#include <QLabel>
#include <QScopedValueRollback>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

EventViews::EventViews(ProgramState &state, Database &db, QTabWidget *tabMain, QObject *parent)
    : QObject(parent), m_browser(state, db), m_tabMain(tabMain)
{
    m_readerPage = new AlarmReaderPage(m_browser);
    m_tabMain->addTab(m_readerPage, QStringLiteral("Alarm Details"));

    auto *listPage = new QWidget;
    auto *listLayout = new QVBoxLayout(listPage);
    listLayout->setSpacing(0);
    listLayout->addWidget(MakeGridCaption(QStringLiteral("Alarms"), "dbgridAlarms", listPage));
    m_dbgridAlarms = MakeEventGrid("dbgridAlarms", &m_browser.alarms(),
                                   {70, 80, 160, 160, 90, 160, 320, 130, 130, 90, 160, 130, 160}, listPage);
    listLayout->addWidget(m_dbgridAlarms, 1);
    m_tabMain->addTab(listPage, QStringLiteral("Alarm History"));

    m_errorsPage = new ErrorListsPage(m_browser);
    m_tabMain->addTab(m_errorsPage, QStringLiteral("Errors"));

    connect(m_tabMain, &QTabWidget::currentChanged, this, [this](int index) {
        if (index == ErrorsTab)
            m_browser.BindErrorsTab();
    });
    connect(&m_browser, &EventBrowser::readerChanged, this, &EventViews::selectShownAlarm);
    // A row picked by the user is shown once the grid has handled the click: showing it reads
    // the alarm list again, which must not happen inside the grid's own handling.
    connect(m_dbgridAlarms->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) {
                if (m_selecting || !current.isValid())
                    return;
                const int row = current.row();
                QTimer::singleShot(0, this, [this, row] { onAlarmRowPicked(row); });
            });
}

void EventViews::setResponse(AlarmResponse *response)
{
    if (m_browser.response())
        disconnect(m_browser.response(), nullptr, this, nullptr);
    m_browser.setResponse(response);
    if (response)
        connect(response, &AlarmResponse::acknowledged, this, [this] {
            // The grid keeps its rows while their number stays; the reader follows its alarm.
            m_browser.alarms().refresh();
            DisplayAlarms();
        });
    DisplayAlarms();
}

QScrollBar *EventViews::alarmNum() const
{
    return m_readerPage->alarmNum();
}

void EventViews::RefreshEventsDatabase()
{
    m_browser.RefreshEventsDatabase();
}

void EventViews::DisplayAlarms()
{
    m_readerPage->DisplayAlarms();
}

void EventViews::onAlarmRowPicked(int row)
{
    if (row + 1 != m_browser.reader().alarmNum)
        m_readerPage->showRow(row);
}

void EventViews::selectShownAlarm()
{
    // The grid's current row follows the alarm in the reader.
    const QScopedValueRollback guard(m_selecting, true);
    const int row = m_browser.reader().alarmNum - 1;
    QItemSelectionModel *selection = m_dbgridAlarms->selectionModel();
    if (row < 0) {
        selection->clear();
        return;
    }
    const QModelIndex index = m_browser.alarms().index(row, 0);
    selection->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_dbgridAlarms->scrollTo(index);
}

#include "moc_EventViews.cpp"
