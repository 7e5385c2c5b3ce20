#include "EventViewsErrors.h"

#include "EventViewsGrid.h"

#include <alarms/EventBrowser.h>

#include <QLabel>
#include <QMouseEvent>
#include <QStyle>
#include <QTableView>

namespace {
constexpr int kSpacing = 6;
} // namespace

ErrorListsPage::ErrorListsPage(EventBrowser &browser, QWidget *parent) : QWidget(parent), m_browser(browser)
{
    m_deviceCaption = MakeGridCaption(QStringLiteral("Device Alarms"), "dbgridDeviceAlarms", this);
    m_dbgridDeviceAlarms =
        MakeEventGrid("dbgridDeviceAlarms", &browser.deviceAlarms(), {70, 200, 90, 170, 170, 170}, this);
    m_errorsCaption = MakeGridCaption(QStringLiteral("System Errors"), "dbgridSystemErrors", this);
    m_dbgridSystemErrors =
        MakeEventGrid("dbgridSystemErrors", &browser.systemErrors(), {70, 170, 260, 300}, this);
    m_dbgridDeviceAlarms->setToolTip(QStringLiteral("Right-click to clear the device alarms"));
    m_dbgridSystemErrors->setToolTip(
        QStringLiteral("Right-click to clear the system errors; double-click to enlarge or shrink"));
    // The margins a layout would give the page, as on the other tabs.
    setContentsMargins(style()->pixelMetric(QStyle::PM_LayoutLeftMargin),
                       style()->pixelMetric(QStyle::PM_LayoutTopMargin),
                       style()->pixelMetric(QStyle::PM_LayoutRightMargin),
                       style()->pixelMetric(QStyle::PM_LayoutBottomMargin));
    for (QTableView *grid : {m_dbgridDeviceAlarms, m_dbgridSystemErrors})
        grid->viewport()->installEventFilter(this);
    connect(&browser, &EventBrowser::gridsShownChanged, this, &ErrorListsPage::showGrids);
    showGrids();
}

void ErrorListsPage::showGrids()
{
    m_deviceCaption->setVisible(m_browser.deviceAlarmsShown());
    m_dbgridDeviceAlarms->setVisible(m_browser.deviceAlarmsShown());
    m_errorsCaption->setVisible(m_browser.systemErrorsShown());
    m_dbgridSystemErrors->setVisible(m_browser.systemErrorsShown());
    placeGrids();
}

void ErrorListsPage::toggleErrorGridSize()
{
    m_enlarged = !m_enlarged;
    placeGrids();
}

void ErrorListsPage::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    placeGrids();
}

void ErrorListsPage::place(QLabel *caption, QTableView *grid, int top, int height)
{
    const QRect area = contentsRect();
    const int captionHeight = caption->sizeHint().height();
    caption->setGeometry(area.left(), area.top() + top, area.width(), captionHeight);
    grid->setGeometry(area.left(), area.top() + top + captionHeight, area.width(),
                      qMax(0, height - captionHeight));
}

void ErrorListsPage::placeGrids()
{
    // The device alarms take the upper part and the error log a third below them; the error
    // log covers the whole tab when enlarged or when it is alone, the device alarms when they
    // are alone.
    const int full = contentsRect().height();
    const int errorsHeight = qMax(full / 3, 120);
    const bool errorsAlone = !m_browser.deviceAlarmsShown();
    const bool devicesAlone = !m_browser.systemErrorsShown();
    place(m_deviceCaption, m_dbgridDeviceAlarms, 0, devicesAlone ? full : full - errorsHeight - kSpacing);
    if (m_enlarged || errorsAlone)
        place(m_errorsCaption, m_dbgridSystemErrors, 0, full);
    else
        place(m_errorsCaption, m_dbgridSystemErrors, full - errorsHeight, errorsHeight);
    m_errorsCaption->raise();
    m_dbgridSystemErrors->raise();
}

bool ErrorListsPage::eventFilter(QObject *watched, QEvent *event)
{
    const bool devices = watched == m_dbgridDeviceAlarms->viewport();
    const bool errors = watched == m_dbgridSystemErrors->viewport();
    if (!devices && !errors)
        return QWidget::eventFilter(watched, event);
    if (event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent *>(event)->button() == Qt::RightButton) {
        if (devices)
            m_browser.ClearDeviceAlarms();
        else
            m_browser.ClearSystemErrors();
        return true;
    }
    if (errors && event->type() == QEvent::MouseButtonDblClick &&
        static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        toggleErrorGridSize();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

#include "moc_EventViewsErrors.cpp"
