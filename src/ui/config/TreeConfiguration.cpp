#include "TreeConfiguration.h"

#include "ConfigWidgets.h"
#include "DataLogFrame.h"
#include "EmailListFrame.h"
#include "ServerFrame.h"

#include <core/ProgramState.h>
#include <link/DeviceLink.h>

#include <QAction>
#include <QEvent>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

// A small monitor picture: green screen for a device that communicates, grey with a red bar
// for one that does not.
QIcon deviceIcon(bool commOn)
{
    QPixmap picture(16, 16);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QColor(60, 60, 60));
    painter.setBrush(commOn ? QColor(40, 170, 70) : QColor(170, 170, 170));
    painter.drawRoundedRect(1, 2, 14, 10, 2, 2);
    painter.fillRect(6, 12, 4, 2, QColor(60, 60, 60));
    painter.fillRect(3, 14, 10, 1, QColor(60, 60, 60));
    if (!commOn)
        painter.fillRect(3, 6, 10, 2, QColor(200, 30, 30));
    return QIcon(picture);
}

} // namespace

TreeConfiguration::TreeConfiguration(ProgramState &state, Database &db, DeviceLink &link, MailManager &mail,
                                     const ModelEditorRegistry &editors, QWidget *parent)
    : QDialog(parent), m_state(state), m_db(db), m_link(link), m_editors(editors), m_pages(state, link),
      m_commOnIcon(deviceIcon(true)), m_commOffIcon(deviceIcon(false))
{
    setObjectName(QLatin1String(FormName));
    setWindowTitle(QStringLiteral("Tallyport Setup"));
    m_server = new ServerFrame(this);
    m_email = new EmailListFrame(state, db, mail, this);
    m_dataLog = new DataLogFrame(this);
    buildWindow();
    buildMenus();
    connectLink();
    // Enter belongs to the box it is typed in (it runs the search there), never to a button.
    for (QPushButton *button : findChildren<QPushButton *>())
        button->setAutoDefault(false);

    // As the window loads: no frame, a black empty status line, no phone parameters, no search yet.
    HideAllFrames();
    setStatusText(m_server->lblServerError, QString());
    m_server->selectUnit(QLatin1Char('F'));
    m_server->btnMore->hide();
    m_btnFindNext->setEnabled(false);
}

TreeConfiguration::~TreeConfiguration()
{
    m_link.resumeTransactions();
}

void TreeConfiguration::buildWindow()
{
    m_tree = named(new QTreeWidget(this), "ServerTree");
    m_tree->setHeaderHidden(true);
    m_tree->setContextMenuPolicy(Qt::CustomContextMenu);
    m_tree->setMinimumWidth(400);
    QFont fixed = m_tree->font();
    fixed.setFamily(QStringLiteral("Monospace"));
    fixed.setStyleHint(QFont::TypeWriter);
    m_tree->setFont(fixed);
    m_txtSearchCriteria = named(new QLineEdit(QStringLiteral("Search Criteria"), this), "txtSearchCriteria");
    m_txtSearchCriteria->setToolTip(QStringLiteral("Enter search criteria to find specific server"));
    m_txtSearchCriteria->installEventFilter(this);
    m_btnFindNext = named(new QPushButton(QStringLiteral("Find Next"), this), "btnFindNext");
    m_btnFindNext->setToolTip(QStringLiteral("Find next server that matches search criteria"));
    m_progressBar = named(new QProgressBar(this), "ProgressBar");
    m_progressBar->setTextVisible(false);
    m_progressBar->hide();

    auto *search = new QHBoxLayout;
    search->addWidget(m_txtSearchCriteria, 1);
    search->addWidget(m_btnFindNext);
    auto *left = new QVBoxLayout;
    left->addWidget(m_tree, 1);
    left->addLayout(search);
    left->addWidget(m_progressBar);
    auto *frames = new QVBoxLayout;
    frames->addWidget(m_server);
    frames->addWidget(m_email);
    frames->addStretch();
    auto *layout = new QHBoxLayout(this);
    layout->addLayout(left);
    layout->addLayout(frames, 1);
    layout->addWidget(m_dataLog, 1);
    resize(1260, 600);

    connect(m_tree, &QTreeWidget::currentItemChanged, this, &TreeConfiguration::onTreeSelection);
    connect(m_tree, &QTreeWidget::customContextMenuRequested, this, &TreeConfiguration::onTreeRightButton);
    connect(m_btnFindNext, &QPushButton::clicked, this, &TreeConfiguration::onFindNext);
    connect(m_server->btnSaveServer, &QPushButton::clicked, this, &TreeConfiguration::onSaveServer);
    connect(m_server->btnRefresh, &QPushButton::clicked, this, &TreeConfiguration::onRefresh);
    connect(m_server->btnCancel, &QPushButton::clicked, this, [this] {
        if (!m_busy)
            HideAllFrames();
    });
    connect(m_server->btnSensors, &QPushButton::clicked, this, &TreeConfiguration::Sensors);
    connect(m_server->btnMore, &QPushButton::clicked, this, &TreeConfiguration::onMore);
    connect(m_server->btnServerEmailAddresses, &QPushButton::clicked, this,
            &TreeConfiguration::openEmailFrame);
    connect(m_server->btnRestoreFactoryDefaults, &QPushButton::clicked, this,
            &TreeConfiguration::onRestoreFactoryDefaults);
    connect(m_server->btnTestCommunication, &QPushButton::clicked, this,
            &TreeConfiguration::onTestCommunication);
    connect(m_dataLog->btnStoreDateTime, &QPushButton::clicked, this, &TreeConfiguration::onStoreDateTime);
    connect(m_dataLog->btnGetLogFile, &QPushButton::clicked, this, &TreeConfiguration::onDownloadLog);
    connect(m_dataLog->btnExportLog, &QPushButton::clicked, this, &TreeConfiguration::onExportLog);
    m_dataLog->gridLog->setModel(&m_logModel);
    connect(m_email, &EmailListFrame::closeRequested, this, [this] {
        m_email->hide();
        m_server->show();
    });
}

void TreeConfiguration::buildMenus()
{
    auto *menuBar = new QMenuBar(this);
    auto *mnuAdd = named(menuBar->addAction(QStringLiteral("Add New Server")), "mnuAdd");
    QMenu *mnuEdit = named(menuBar->addMenu(QStringLiteral("Edit")), "mnuEdit");
    auto *mnuEditServer = named(mnuEdit->addAction(QStringLiteral("Server")), "mnuEditServer");
    auto *mnuEditSensors = named(mnuEdit->addAction(QStringLiteral("Sensors")), "mnuEditSensors");
    layout()->setMenuBar(menuBar);

    m_popup = named(new QMenu(this), "mnuPopUp");
    auto *mnuServerPopUp = named(m_popup->addAction(QStringLiteral("Edit Server")), "mnuServerPopUp");
    auto *mnuSensorPopUp = named(m_popup->addAction(QStringLiteral("Edit Sensors")), "mnuSensorPopUp");
    named(m_popup->addSeparator(), "mnuSeperator");
    m_mnuEnableDisable = named(m_popup->addAction(QString()), "mnuEnableDisable");
    auto *mnuDelete = named(m_popup->addAction(QStringLiteral("Delete Server")), "mnuDeleteServerPopUp");

    connect(mnuAdd, &QAction::triggered, this, &TreeConfiguration::AddAServer);
    connect(mnuEditServer, &QAction::triggered, this, &TreeConfiguration::onEditServer);
    connect(mnuServerPopUp, &QAction::triggered, this, &TreeConfiguration::onEditServer);
    connect(mnuEditSensors, &QAction::triggered, this, &TreeConfiguration::Sensors);
    connect(mnuSensorPopUp, &QAction::triggered, this, &TreeConfiguration::Sensors);
    connect(m_mnuEnableDisable, &QAction::triggered, this, &TreeConfiguration::onEnableDisable);
    connect(mnuDelete, &QAction::triggered, this, &TreeConfiguration::onDeleteServer);
}

// Device transactions drive this window's pointer and progress bar while it is the active form.
void TreeConfiguration::connectLink()
{
    const QString form = QLatin1String(FormName);
    connect(&m_link, &DeviceLink::busyCursor, this, [this, form](const QString &name, bool busy) {
        if (name != form)
            return;
        m_linkBusy = busy;
        updateCursor();
    });
    connect(&m_link, &DeviceLink::progressChanged, this,
            [this, form](const QString &name, int value, int maximum) {
                if (name != form)
                    return;
                m_progressBar->setRange(0, qMax(1, maximum));
                m_progressBar->setValue(qMin(value, qMax(1, maximum)));
            });
    connect(&m_link, &DeviceLink::progressVisibleChanged, this,
            [this, form](const QString &name, bool visible) {
                if (name == form)
                    m_progressBar->setVisible(visible);
            });
    connect(&m_link, &DeviceLink::downloadProgress, this, [this](qint64 received, int expected) {
        if (m_downloading)
            setStatusText(m_server->lblServerError, DownloadProgressText(m_server->txtServerName->text(),
                                                                         received, expected, m_resettingLog));
    });
}

void TreeConfiguration::enterBusy()
{
    m_busy = true;
    updateCursor();
}

void TreeConfiguration::leaveBusy()
{
    m_busy = false;
    updateCursor();
    // A close that cancelled the transactions is over once the operation has unwound.
    if (m_closing)
        m_link.resumeTransactions();
}

void TreeConfiguration::updateCursor()
{
    setCursor((m_busy || m_linkBusy) ? Qt::WaitCursor : Qt::ArrowCursor);
}

bool TreeConfiguration::stopped() const
{
    return m_closing || !m_state.MonitoringActive();
}

void TreeConfiguration::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (const QScreen *screen = this->screen()) {
        const QRect area = screen->availableGeometry();
        move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
    }
    LoadServers();
    m_dataLog->Command2->hide();
}

void TreeConfiguration::done(int result)
{
    // Closed while waiting on a device: the wait ends now, and the operation stops quietly.
    if (m_busy || m_link.transactionRunning()) {
        m_closing = true;
        m_link.cancelTransactions();
    }
    QDialog::done(result);
}

bool TreeConfiguration::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_txtSearchCriteria) {
        if (event->type() == QEvent::MouseButtonPress)
            m_txtSearchCriteria->clear();
        else if (event->type() == QEvent::KeyPress && onSearchKey(static_cast<QKeyEvent *>(event)->key()))
            return true;
    }
    return QDialog::eventFilter(watched, event);
}

#include "moc_TreeConfiguration.cpp"
