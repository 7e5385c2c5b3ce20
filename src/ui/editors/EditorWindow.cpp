#include "EditorWindow.h"

#include "FormBinding.h"
#include "KeyFilterInstaller.h"

#include <core/ProgramState.h>

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

EditorWindow::EditorWindow(const EditorServices &services, const EditorLayout &layout, QWidget *parent)
    : QDialog(parent), m_session(services, layout, m_form)
{
    setObjectName(layout.name);
    setWindowTitle(layout.caption);
    setAttribute(Qt::WA_DeleteOnClose, false);
    connect(&m_session, &EditorSession::transferRunningChanged, this, &EditorWindow::onTransferRunning);
}

EditorWindow::~EditorWindow() = default;

QPushButton *EditorWindow::button(const QString &name) const
{
    return findChild<QPushButton *>(name);
}

void EditorWindow::finish(QWidget *body)
{
    auto *main = new QVBoxLayout(this);
    main->addWidget(body);
    main->addWidget(buildStatusArea());

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    for (const QString &name : m_session.layout().buttons) {
        auto *button = new QPushButton(name.mid(3), this); // "btnSave" says "Save"
        button->setObjectName(name);
        button->setAutoDefault(false);
        buttons->addWidget(button);
    }
    main->addLayout(buttons);
    connect(button(QStringLiteral("btnClose")), &QPushButton::clicked, this, &QDialog::close);

    m_binding = new FormBinding(m_form, *this);
    auto *filters = new KeyFilterInstaller(m_form, m_session.services().state.prompts(), this);
    filters->installOn(*this);
    m_lblStatus->setVisible(false);
    connect(&m_form, &EditorForm::statusTextChanged, this, [this](const QString &text) {
        m_lblStatus->setText(text);
        m_lblStatus->setVisible(!text.isEmpty());
    });
    connect(&m_form, &EditorForm::messageAdded, this, [this](const QString &message) {
        m_lstStatus->addItem(message);
        m_lstStatus->scrollToBottom();
    });
    connect(&m_form, &EditorForm::messagesCleared, m_lstStatus, &QListWidget::clear);
}

QWidget *EditorWindow::buildStatusArea()
{
    auto *area = new QWidget(this);
    auto *layout = new QVBoxLayout(area);
    layout->setContentsMargins(0, 0, 0, 0);
    m_lblStatus = new QLabel(area);
    m_lblStatus->setObjectName(QStringLiteral("lblStatus"));
    m_lstStatus = new QListWidget(area);
    m_lstStatus->setObjectName(QStringLiteral("lstStatus"));
    m_lstStatus->setMaximumHeight(90);
    layout->addWidget(m_lblStatus);
    layout->addWidget(m_lstStatus);
    return area;
}

void EditorWindow::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (m_shownOnce)
        return;
    m_shownOnce = true;
    // After the window has appeared, so the operator sees the download progress.
    QTimer::singleShot(0, this, [this] { onFirstShow(); });
}

void EditorWindow::onTransferRunning(bool running)
{
    setCursor(running ? Qt::BusyCursor : Qt::ArrowCursor);
    if (!running && m_closePending) {
        m_closePending = false;
        QTimer::singleShot(0, this, &QDialog::close);
    }
}

// While a transfer runs the window stays open: the transfer stops after its current exchange
// and the window closes then.
void EditorWindow::closeEvent(QCloseEvent *event)
{
    if (m_session.transferRunning()) {
        m_closePending = true;
        m_session.requestStop();
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void EditorWindow::reject()
{
    if (m_session.transferRunning()) {
        close();
        return;
    }
    QDialog::reject();
}

#include "moc_EditorWindow.cpp"
