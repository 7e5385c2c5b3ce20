#include "MainWindow.h"

#include "AlarmPopup.h"
#include "AppIcon.h"
#include "EventViews.h"
#include "ModalWindow.h"
#include "TrendChartView.h"
#include "TrendLegend.h"

#include <acquisition/Monitor.h>
#include <acquisition/TrendSensors.h>

#include <core/ProgramState.h>
#include <core/Prompts.h>
#include <core/StatusList.h>
#include <ui/settings/SettingsWidgets.h>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSplashScreen>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindowStateChangeEvent>

namespace {
const QString kCloseText =
    QStringLiteral("WARNING, closing this program will halt the collection of system data.\n\n"
                   "Click YES to close this program, or NO to leave the program running.");

} // namespace

MainWindow::MainWindow(ProgramState &state, QWidget *parent)
    : QMainWindow(parent), m_state(state), m_pollTimer(state), m_activation(state, m_pollTimer),
      m_trendData(state.clock()), m_trendFeed(state, m_trendData)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowIcon(TallyportIcon());
    buildViews();
    buildMenus();
    connect(&m_pollTimer, &PollTimer::gridEnabledChanged, m_grid, &QWidget::setEnabled);
    m_pollTimer.afterCycle = [this] { trendAfterCycle(); };
    // An activation asked for during a cycle runs as soon as the cycle is over.
    connect(&m_pollTimer, &PollTimer::updateEnded, this, [this] {
        if (m_activation.activationDeferred())
            activate();
    });
    resize(1000, 700);
}

MainWindow::~MainWindow()
{
    // The splash closes itself after a second; a window closed sooner takes it along.
    delete m_splash;
}

void MainWindow::buildViews()
{
    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);

    m_frmStatus = Named(new QGroupBox(central), "frmStatus");
    auto *statusLayout = new QVBoxLayout(m_frmStatus);
    m_grid = Named(new QTableView(m_frmStatus), "gridServerStatus");
    m_grid->verticalHeader()->hide();
    m_grid->verticalHeader()->setDefaultSectionSize(m_grid->fontMetrics().height() + 8);
    m_grid->setSelectionMode(QAbstractItemView::NoSelection);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    statusLayout->addWidget(m_grid, 3);
    m_lstStatus = Named(new QListView(m_frmStatus), "lstStatus");
    m_lstStatus->setModel(&m_state.status());
    m_lstStatus->setEditTriggers(QAbstractItemView::NoEditTriggers);
    statusLayout->addWidget(m_lstStatus, 1);
    auto *bottom = new QHBoxLayout;
    m_btnUpdate = Named(new QPushButton(QStringLiteral("Update"), m_frmStatus), "btnUpdate");
    connect(m_btnUpdate, &QPushButton::clicked, &m_pollTimer, &PollTimer::UpdateNow);
    m_shpGo = Named(new QFrame(m_frmStatus), "shpGo");
    m_shpGo->setFixedSize(18, 18);
    m_shpGo->setFrameShape(QFrame::Box);
    m_shpGo->setAutoFillBackground(true);
    showIndicator(DeviceLink::ColorIdle);
    m_progress = Named(new QProgressBar(m_frmStatus), "ProgressBar");
    m_progress->setTextVisible(false);
    m_progress->setValue(0);
    bottom->addWidget(m_btnUpdate);
    bottom->addWidget(m_shpGo);
    bottom->addWidget(m_progress, 1);
    statusLayout->addLayout(bottom);
    layout->addWidget(m_frmStatus);

    m_chart = Named(new QWidget(central), "XYChart4");
    auto *chartLayout = new QHBoxLayout(m_chart);
    chartLayout->setContentsMargins(0, 0, 0, 0);
    m_trendView = new TrendChartView(m_trendData, m_chart);
    m_trendLegend = new TrendLegend(*m_trendView, m_chart);
    chartLayout->addWidget(m_trendView, 1);
    chartLayout->addWidget(m_trendLegend);
    layout->addWidget(m_chart, 1);
    m_btnFreezeExamine = Named(new QPushButton(TrendFeed::ExamineCaption, central), "btnFreezeExamine");
    connect(m_btnFreezeExamine, &QPushButton::clicked, this, &MainWindow::onFreezeExamine);
    layout->addWidget(m_btnFreezeExamine, 0, Qt::AlignLeft);

    m_frmErrors = Named(new QGroupBox(QStringLiteral("Alarms"), central), "frmErrors");
    auto *errorsLayout = new QVBoxLayout(m_frmErrors);
    m_tabMain = Named(new QTabWidget(m_frmErrors), "tabMain");
    errorsLayout->addWidget(m_tabMain);
    layout->addWidget(m_frmErrors);

    setCentralWidget(central);
    m_btnFreezeExamine->hide();
    VKLShow(1);
}

void MainWindow::setMonitor(Monitor &monitor)
{
    m_grid->setModel(&monitor.grid);
    setTrendGridModel(&monitor.grid);
    m_trendFeed.chartedSensors = [this, &monitor] {
        return ChartedSensors(monitor.database, m_state.programDirectory());
    };
    // Every column fits what it shows, and the sensor names take the room that is left.
    QHeaderView *header = m_grid->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::ResizeToContents);
    header->setSectionResizeMode(StatusGridModel::SensorColumn, QHeaderView::Stretch);
    connectLink(monitor);
    m_popup = new AlarmPopup(m_state.programDirectory(), this);
    monitor.alarms.announce = [this](const QString &notice) { m_popup->showNotice(notice); };
    setAlarmResponse(monitor.response);
}

void MainWindow::setAlarmResponse(AlarmResponse &response)
{
    m_response = &response;
    if (m_popup)
        m_popup->setResponse(&response);
    if (m_events)
        m_events->setResponse(&response);
}

void MainWindow::connectLink(Monitor &monitor)
{
    // The configuration windows' transactions go through the link; the poll cycle's overlapping
    // exchanges report through their own object.
    DeviceLink &link = monitor.link;
    connect(&link, &DeviceLink::indicatorColorChanged, this, &MainWindow::showIndicator);
    connect(&link, &DeviceLink::progressChanged, this, &MainWindow::showProgress);
    connect(&link, &DeviceLink::busyCursor, this, &MainWindow::showBusy);
    PollExchanges &exchanges = monitor.cycle.exchanges();
    connect(&exchanges, &PollExchanges::indicatorColorChanged, this, &MainWindow::showIndicator);
    connect(&exchanges, &PollExchanges::progressChanged, this, &MainWindow::showProgress);
    connect(&exchanges, &PollExchanges::busyCursor, this, &MainWindow::showBusy);
}

void MainWindow::showProgress(const QString &form, int value, int maximum)
{
    if (form != objectName())
        return;
    m_progress->setMaximum(qMax(1, maximum));
    m_progress->setValue(qMin(value, m_progress->maximum()));
}

void MainWindow::showBusy(const QString &form, bool busy)
{
    if (form != objectName())
        return;
    if (busy)
        setCursor(Qt::BusyCursor);
    else
        unsetCursor();
}

void MainWindow::showIndicator(int colorNumber)
{
    m_shpGo->setStyleSheet(QStringLiteral("background-color: %1").arg(ColorFromNumber(colorNumber).name()));
}

void MainWindow::attachEventViews(Database &db)
{
    if (m_events)
        return;
    m_events = new EventViews(m_state, db, m_tabMain, this);
    if (m_response)
        m_events->setResponse(m_response);
    refreshEvents = [this] {
        m_events->RefreshEventsDatabase();
        m_events->DisplayAlarms();
    };
}

void MainWindow::buildMenus()
{
    QMenu *setup = menuBar()->addMenu(QStringLiteral("&Setup"));
    setup->setObjectName(QStringLiteral("mnuConfig"));
    m_mnuTree = Named(setup->addAction(QStringLiteral("Quellmark Servers and Sensors")), "mnuTree");
    m_mnuOrganization = Named(setup->addAction(QStringLiteral("Configure Tallyport")), "mnuOrganization");
    m_mnuLogIn = Named(setup->addAction(QStringLiteral("Log In")), "mnuLogIn");
    connect(m_mnuTree, &QAction::triggered, this,
            [this] { runConfigurationWindow(openDeviceConfiguration, true); });
    connect(m_mnuOrganization, &QAction::triggered, this,
            [this] { runConfigurationWindow(openSettings, false); });
    connect(m_mnuLogIn, &QAction::triggered, this, &MainWindow::onLogInOut);

    auto *report = Named(menuBar()->addAction(QStringLiteral("Create Reports")), "mnuGenReport");
    connect(report, &QAction::triggered, this, &MainWindow::onCreateReports);
    auto *status = Named(menuBar()->addAction(QStringLiteral("Status")), "mnuStatusFrame");
    connect(status, &QAction::triggered, this, [this] { VKLShow(1); });
    m_mnuTrending = Named(menuBar()->addAction(QStringLiteral("Trending")), "mnuTrending");
    m_mnuTrending->setEnabled(false);
    connect(m_mnuTrending, &QAction::triggered, this, [this] { VKLShow(2); });
    auto *events = Named(menuBar()->addAction(QStringLiteral("Events")), "mnuAlarmFrame");
    connect(events, &QAction::triggered, this, [this] {
        if (refreshEvents)
            refreshEvents();
        VKLShow(3);
    });
    auto *about = Named(menuBar()->addAction(QStringLiteral("About")), "mnuAbout");
    connect(about, &QAction::triggered, this, &MainWindow::onAbout);
}

void MainWindow::buildTrayIcon()
{
    const QString title = QApplication::applicationName();
    m_trayMenu = new QMenu(QStringLiteral("&SysTray"), this);
    m_trayMenu->setObjectName(QStringLiteral("mPopupSys"));
    auto *restore = Named(m_trayMenu->addAction(QStringLiteral("&Open Tallyport")), "mPopRestore");
    Named(m_trayMenu->addSeparator(), "mnuSeperatorBar");
    m_mpopConfigure = Named(m_trayMenu->addAction(QStringLiteral("Configure ") + title), "mpopConfigure");
    auto *reports = Named(m_trayMenu->addAction(QStringLiteral("&Create Reports")), "mpopCreateReports");
    connect(reports, &QAction::triggered, this, &MainWindow::onCreateReports);
    connect(restore, &QAction::triggered, this, &MainWindow::restoreFromTray);
    // From the notification area the settings window opens without stopping the polling.
    connect(m_mpopConfigure, &QAction::triggered, this, [this] {
        if (openSettingsModeless)
            openSettingsModeless();
    });
    m_mpopConfigure->setEnabled(m_mnuOrganization->isEnabled());

    m_tray = new QSystemTrayIcon(windowIcon(), this);
    m_tray->setObjectName(QStringLiteral("trayIcon"));
    m_tray->setToolTip(title.left(63));
    m_tray->setContextMenu(m_trayMenu);
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::DoubleClick)
            restoreFromTray();
        // The right button brings the window to the front; the icon opens mPopupSys itself.
        else if (reason == QSystemTrayIcon::Context && isVisible()) {
            raise();
            activateWindow();
        }
    });
    m_tray->show();
}

void MainWindow::start()
{
    m_state.ActiveFormName = QStringLiteral("frmMain");
    m_state.AutoPrintDone = false;
    m_state.LoginSucceeded = false;
    m_state.ReinitOnActivate = true;
    m_state.status().clear();
    m_plainCaption =
        QApplication::applicationName() + QStringLiteral(" Rev ") + QApplication::applicationVersion();
    setWindowTitle(m_plainCaption);
    m_tabMain->setCurrentIndex(0);
    VKLShow(1);
    show();

    m_splash = new QSplashScreen(SplashPicture(m_plainCaption));
    m_splash->setObjectName(QStringLiteral("frmSplash"));
    m_splash->setAttribute(Qt::WA_DeleteOnClose);
    m_splash->show();
    QTimer::singleShot(1000, m_splash, &QWidget::close);

    buildTrayIcon();
    QTimer::singleShot(0, this, &MainWindow::activate);
}

void MainWindow::VKLShow(int view)
{
    if (view < 1 || view > 3)
        return;
    m_view = view;
    m_frmStatus->setVisible(view == 1);
    m_chart->setVisible(view == 2);
    m_btnFreezeExamine->setVisible(view == 2);
    m_frmErrors->setVisible(view == 3);
}

void MainWindow::activate()
{
    // The configuration window that holds polling runs the activation when it closes.
    if (!m_state.ReinitOnActivate || m_pollingHeld)
        return;
    applyMenuRights(m_activation.RunActivationSequence());
    if (m_activation.activationDeferred())
        return;
    m_tabMain->setCurrentIndex(0);
    m_trendFeed.Activated();
    // The activation restarts live trending when it is enabled; with trending off the chart
    // cannot be reached from the menu, so the view leaves it.
    m_btnFreezeExamine->setText(TrendFeed::ExamineCaption);
    if (!m_state.TrendingEnabled && m_view == 2)
        VKLShow(1);
}

void MainWindow::reactivate()
{
    m_state.ReinitOnActivate = true;
    activate();
}

void MainWindow::trendAfterCycle()
{
    m_trendFeed.AfterCycle();
}

void MainWindow::onFreezeExamine()
{
    m_btnFreezeExamine->setText(m_trendFeed.FreezeExamine(m_btnFreezeExamine->text()));
    // Back to live updates: the chart shows the whole run again.
    if (!m_trendFeed.frozen())
        m_trendView->showWholeRun();
    else
        m_trendView->redraw();
}

void MainWindow::applyMenuRights(const MenuRights &rights)
{
    m_mnuTree->setEnabled(rights.configurationEnabled);
    m_mnuOrganization->setEnabled(rights.configurationEnabled);
    // The notification area's way into the settings is locked with the Setup menu.
    if (m_mpopConfigure)
        m_mpopConfigure->setEnabled(rights.configurationEnabled);
    m_mnuLogIn->setText(rights.logInCaption);
    m_mnuLogIn->setEnabled(rights.logInEnabled);
    m_mnuTrending->setEnabled(rights.trendingEnabled);
    setWindowTitle(rights.administratorCaption ? m_plainCaption + Activation::AdministratorSuffix
                                               : m_plainCaption);
}

void MainWindow::runConfigurationWindow(const std::function<void()> &open, bool deviceWindow)
{
    if (m_state.UpdateInProgress)
        return;
    m_pollTimer.StopPollTimer();
    if (deviceWindow)
        m_state.ActiveFormName = QStringLiteral("frmTreeConfiguration");
    // The notification area's way into the settings is closed while the window is open, as the
    // menus are.
    m_pollingHeld = true;
    if (m_mpopConfigure)
        m_mpopConfigure->setEnabled(false);
    if (open)
        open();
    else
        m_state.prompts().message(
            QStringLiteral("This window is not available in this version of Tallyport."));
    m_pollingHeld = false;
    m_state.ActiveFormName = QStringLiteral("frmMain");
    m_state.ReinitOnActivate = true;
    // The activation gives the notification area's entry its rights back.
    activate();
}

void MainWindow::onLogInOut()
{
    if (m_mnuLogIn->text() != QLatin1String("Log In")) {
        applyMenuRights(m_activation.LogOut());
        return;
    }
    // The login window is a window command like the others: never opened inside a cycle.
    if (m_state.UpdateInProgress)
        return;
    if (openLogin)
        openLogin();
    activate();
    // The login decides the rights at once, whether or not an activation ran (About and Create
    // Reports clear ReinitOnActivate).
    applyMenuRights(m_activation.CurrentMenuRights());
}

// The About box leaves polling alone: it talks to no device, so cycles go on beneath it, and it
// opens also while one runs.
void MainWindow::onAbout()
{
    QDialog box(this);
    box.setObjectName(QStringLiteral("frmAbout"));
    box.setWindowTitle(QStringLiteral("About ") + QApplication::applicationName());
    auto *layout = new QVBoxLayout(&box);
    auto *text = new QLabel(m_plainCaption + QStringLiteral("\n\nCollects readings, alarms and failures from "
                                                            "networked environmental monitoring devices."),
                            &box);
    layout->addWidget(text);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &box);
    connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
    layout->addWidget(buttons);
    ExecModal(box);
    m_state.ActiveFormName = QStringLiteral("frmMain");
}

void MainWindow::onCreateReports()
{
    if (m_state.UpdateInProgress)
        return;
    m_state.ReinitOnActivate = false;
    // Polling held stopped by a configuration window stays stopped: its device transactions
    // must not overlap a cycle.
    if (!m_pollingHeld) {
        m_pollTimer.StopPollTimer();
        m_pollTimer.StartPollTimer();
    }
    // The window is not modal: polling goes on while it is open.
    if (openReports)
        openReports();
}

void MainWindow::restoreFromTray()
{
    showMaximized();
    raise();
    activateWindow();
}

void MainWindow::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange)
        return;
    // Minimised: only the notification-area icon stays. Without a notification area the
    // window minimises normally, or it could not be found again.
    if (isMinimized()) {
        VKLShow(1);
        if (m_tray && m_tray->isVisible() && QSystemTrayIcon::isSystemTrayAvailable())
            QTimer::singleShot(0, this, &QWidget::hide);
    }
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (m_closing) {
        event->accept();
        return;
    }
    // Unsaved settings are asked about once, while everything still runs: No keeps the program
    // and the window open so that they can be applied.
    if (mayClose && !mayClose()) {
        event->ignore();
        return;
    }
    // Polling goes on while the question is open. Yes ends monitoring from the button itself, so a
    // cycle that started inside the question stops at its next wait instead of running to its end
    // before the answer is acted on.
    const auto answer = m_state.prompts().askAndAct(
        kCloseText, QStringLiteral("Close ") + QApplication::applicationName() + QStringLiteral("?"),
        Prompts::Buttons::YesNo, Prompts::Icon::Critical, [this](Prompts::Answer given) {
            if (given == Prompts::Answer::Yes)
                m_activation.EndMonitoring();
        });
    if (answer != Prompts::Answer::Yes) {
        event->ignore();
        return;
    }
    m_closing = true;
    m_activation.Shutdown();
    closeOtherWindows();
    if (m_tray)
        m_tray->hide();
    event->accept();
    // Quit once every wait below this handler has unwound.
    QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

void MainWindow::closeOtherWindows()
{
    m_windowOrder.CloseNewestFirst(this);
}

#include "moc_MainWindow.cpp"
