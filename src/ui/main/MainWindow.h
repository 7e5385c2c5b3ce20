#pragma once

#include "WindowOrder.h"

#include <acquisition/TrendData.h>
#include <acquisition/TrendFeed.h>
#include <core/Activation.h>
#include <core/PollTimer.h>

#include <QMainWindow>
#include <QPointer>
#include <QSplashScreen>

#include <functional>

class AlarmPopup;
class AlarmResponse;
class Database;
class EventViews;
class Monitor;
class ProgramState;
class QAbstractItemModel;
class QAction;
class QFrame;
#include <QGroupBox>
class QListView;
class QMenu;
class QProgressBar;
class QPushButton;
class QSystemTrayIcon;
class QTabWidget;
class QTableView;
class QWidget;
class TrendChartView;
class TrendLegend;

// frmMain: the start-up window. It shows the status, trending and events views, owns the
// poll timer and the notification-area icon, and asks before the program closes.
class MainWindow final : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(ProgramState &state, QWidget *parent = nullptr);
    ~MainWindow() override;

    // Load: splash, notification-area icon, caption; then the first activation.
    void start();

    // Shows view 1 (status), 2 (trending) or 3 (events); any other number changes nothing.
    void VKLShow(int view);
    int currentView() const { return m_view; }

    // Runs the activation sequence when ReinitOnActivate is set and applies the menu rights.
    void activate();
    // Sets ReinitOnActivate and runs the activation sequence (after the poll cycle, when one is
    // running): settings saved while polling went on take effect this way.
    void reactivate();

    // Shows the monitoring engine: the status grid, the connection indicator, the progress
    // bar and the alarm notice.
    void setMonitor(Monitor &monitor);
    AlarmPopup *alarmPopup() const { return m_popup; }
    // Where the pop-up and the event views acknowledge alarms (setMonitor gives the monitor's).
    void setAlarmResponse(AlarmResponse &response);

    PollTimer &pollTimer() { return m_pollTimer; }
    Activation &activation() { return m_activation; }
    QString plainCaption() const { return m_plainCaption; }

    // Windows opened from the menus. Each is shown modally by the function; until a window
    // exists its menu item says so.
    std::function<void()> openDeviceConfiguration;
    std::function<void()> openSettings;
    // The settings window from the notification area: not modal, polling goes on.
    std::function<void()> openSettingsModeless;
    std::function<bool()> openLogin;
    // The Reports window, from the menu and the notification area; polling goes on.
    std::function<void()> openReports;
    // Fills the event views (called by the Events menu item before showing view 3).
    std::function<void()> refreshEvents;
    // Asked when the close button is pressed, before the close question: false keeps the
    // program open (a settings window holds changes the user wants to keep).
    std::function<bool()> mayClose;

    // Puts the alarm and error views on tabMain, reading db, and makes the Events menu refresh
    // them. Called once, when the database object of the run exists.
    void attachEventViews(Database &db);
    EventViews *eventViews() const { return m_events; }

    // The frames later views fill.
    QWidget *statusFrame() const { return m_frmStatus; }
    QWidget *chartArea() const { return m_chart; }
    QTabWidget *eventTabs() const { return m_tabMain; }
    QTableView *statusGrid() const { return m_grid; }

    // The trending chart. It reads the status grid model given here (the six grid columns).
    void setTrendGridModel(const QAbstractItemModel *model) { m_trendData.setModel(model); }
    // What follows a completed poll cycle: completes the chart's layout after the first cycle of
    // an activation and adds the cycle's readings while trending is enabled. The poll timer's
    // afterCycle calls it. Each activation gives the charted sensors their series and history.
    void trendAfterCycle();
    TrendData &trendData() { return m_trendData; }
    TrendFeed &trendFeed() { return m_trendFeed; }
    TrendChartView *trendChart() const { return m_trendView; }
    TrendLegend *trendLegend() const { return m_trendLegend; }

protected:
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void buildViews();
    void buildMenus();
    void buildTrayIcon();
    void applyMenuRights(const MenuRights &rights);
    void runConfigurationWindow(const std::function<void()> &open, bool deviceWindow);
    void onLogInOut();
    void onAbout();
    void onCreateReports();
    void restoreFromTray();
    void closeOtherWindows();
    void showIndicator(int colorNumber);
    void showProgress(const QString &form, int value, int maximum);
    void showBusy(const QString &form, bool busy);
    void connectLink(Monitor &monitor);
    void onFreezeExamine();

    ProgramState &m_state;
    PollTimer m_pollTimer;
    Activation m_activation;
    TrendData m_trendData;
    TrendFeed m_trendFeed;
    WindowOrder m_windowOrder;
    QString m_plainCaption;
    int m_view = 1;
    bool m_closing = false;
    // A configuration window opened from the menu (device window, settings) holds polling
    // stopped: nothing else may start it again, and an activation waits for the window to close.
    bool m_pollingHeld = false;

    QGroupBox *m_frmStatus = nullptr;
    QGroupBox *m_frmErrors = nullptr;
    QWidget *m_chart = nullptr;
    TrendChartView *m_trendView = nullptr;
    TrendLegend *m_trendLegend = nullptr;
    QPushButton *m_btnFreezeExamine = nullptr;
    QPushButton *m_btnUpdate = nullptr;
    QTableView *m_grid = nullptr;
    QListView *m_lstStatus = nullptr;
    QFrame *m_shpGo = nullptr;
    QProgressBar *m_progress = nullptr;
    QTabWidget *m_tabMain = nullptr;
    EventViews *m_events = nullptr;
    AlarmResponse *m_response = nullptr;

    QAction *m_mnuTree = nullptr;
    QAction *m_mnuOrganization = nullptr;
    QAction *m_mnuLogIn = nullptr;
    QAction *m_mnuTrending = nullptr;
    QAction *m_mpopConfigure = nullptr;
    QSystemTrayIcon *m_tray = nullptr;
    QMenu *m_trayMenu = nullptr;
    AlarmPopup *m_popup = nullptr;
    QPointer<QSplashScreen> m_splash;
};
