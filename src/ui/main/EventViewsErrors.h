#pragma once

#include <QWidget>

class EventBrowser;
class QLabel;
class QTableView;

// The errors tab: the device failure episodes above the program's error log. Each grid is shown
// only while it has rows. A right-button press on a grid asks whether to clear its list; a
// double click on the error log enlarges it over the whole tab, and another puts it back.
class ErrorListsPage final : public QWidget {
    Q_OBJECT
public:
    ErrorListsPage(EventBrowser &browser, QWidget *parent = nullptr);

    QTableView *deviceAlarmsGrid() const { return m_dbgridDeviceAlarms; }
    QTableView *systemErrorsGrid() const { return m_dbgridSystemErrors; }
    bool errorGridEnlarged() const { return m_enlarged; }
    void toggleErrorGridSize();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void showGrids();
    void placeGrids();
    void place(QLabel *caption, QTableView *grid, int top, int height);

    EventBrowser &m_browser;
    QLabel *m_deviceCaption = nullptr;
    QTableView *m_dbgridDeviceAlarms = nullptr;
    QLabel *m_errorsCaption = nullptr;
    QTableView *m_dbgridSystemErrors = nullptr;
    bool m_enlarged = false;
};
