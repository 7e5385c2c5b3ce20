#include "EmailListFrame.h"

#include "ConfigWidgets.h"

#include <alarms/MailManager.h>
#include <config/DeviceRecords.h>
#include <core/ProgramState.h>
#include <core/Prompts.h>
#include <db/Database.h>

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>

EmailListFrame::EmailListFrame(ProgramState &state, Database &db, MailManager &mail, QWidget *parent)
    : QGroupBox(QStringLiteral("Email List"), parent), m_state(state), m_db(db), m_mail(mail)
{
    setObjectName(QStringLiteral("frmSetup_2"));
    lstEmailAddr = named(new QListWidget(this), "lstEmailAddr");
    lstEmailAddr->viewport()->installEventFilter(this);
    txtEmailAddr = named(new QLineEdit(this), "txtEmailAddr");
    btnAddEmail = namedButton(this, "Add", "btnAddEmail");
    btnSaveEmail = namedButton(this, "Save", "btnSaveEmail");
    btnDeleteEmailAddress = namedButton(this, "Delete", "btnDeleteEmailAddress");
    btnTestEmailAddr = namedButton(this, "Test", "btnTestEmailAddr");
    btnCloseEmailFrame = namedButton(this, "Close", "btnCloseEmailFrame");

    auto *layout = new QGridLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Send an email to: "), this), 0, 0);
    layout->addWidget(txtEmailAddr, 0, 1, 1, 3);
    layout->addWidget(btnAddEmail, 0, 4);
    layout->addWidget(new QLabel(QStringLiteral("Email List"), this), 1, 0);
    layout->addWidget(lstEmailAddr, 2, 0, 1, 5);
    layout->addWidget(btnSaveEmail, 3, 0);
    layout->addWidget(btnDeleteEmailAddress, 3, 1);
    layout->addWidget(btnTestEmailAddr, 3, 2);
    layout->addWidget(btnCloseEmailFrame, 3, 4);

    connect(btnAddEmail, &QPushButton::clicked, this, &EmailListFrame::addAddress);
    // Every Add saves already: Save has nothing left to do.
    connect(btnDeleteEmailAddress, &QPushButton::clicked, this, &EmailListFrame::deleteSelected);
    connect(btnTestEmailAddr, &QPushButton::clicked, this, &EmailListFrame::sendTest);
    connect(btnCloseEmailFrame, &QPushButton::clicked, this, &EmailListFrame::closeRequested);
}

bool EmailListFrame::ParseAddrToList(const QString &emailAddr)
{
    lstEmailAddr->clear();
    lstEmailAddr->addItems(::ParseAddrToList(emailAddr));
    return true;
}

QString EmailListFrame::storedForm() const
{
    QStringList entries;
    for (int row = 0; row < lstEmailAddr->count(); ++row)
        entries.append(lstEmailAddr->item(row)->text());
    return JoinAddrList(entries);
}

bool EmailListFrame::SaveEmail()
{
    if (!m_db.UpdateServerEmail(m_serverId, storedForm()))
        m_state.prompts().message(
            QStringLiteral("There was an error saving the email addresses.  The error is : ") +
            m_db.lastError());
    return true;
}

void EmailListFrame::clearAll()
{
    lstEmailAddr->clear();
    txtEmailAddr->clear();
}

void EmailListFrame::addAddress()
{
    const QString address = txtEmailAddr->text();
    if (!AcceptableListAddress(address)) {
        m_state.prompts().message(
            QStringLiteral("Please verify email address.  This email address does not seem valid."));
        return;
    }
    lstEmailAddr->addItem(address.trimmed());
    txtEmailAddr->clear();
    if (!SaveEmail())
        m_state.prompts().message(
            QStringLiteral("Failed to save email address to the database.  The error is: ") +
            m_db.lastError());
    txtEmailAddr->setFocus();
}

void EmailListFrame::deleteSelected()
{
    delete lstEmailAddr->currentItem();
}

void EmailListFrame::askToRemoveSelected()
{
    if (lstEmailAddr->currentItem() == nullptr)
        return;
    if (m_state.prompts().ask(QStringLiteral("Remove this email address?"), QString(),
                              Prompts::Buttons::YesNo, Prompts::Icon::Question) == Prompts::Answer::Yes)
        deleteSelected();
}

void EmailListFrame::sendTest()
{
    btnTestEmailAddr->setEnabled(false);
    const QListWidgetItem *item = lstEmailAddr->currentItem();
    if (item == nullptr) {
        m_state.prompts().message(
            QStringLiteral("Select an address to send a test message to and then click Test button."));
    } else {
        const QString address = item->text();
        QString error;
        if (m_mail.SendTestEmail(address, error))
            m_state.prompts().message(QStringLiteral("Email successfully sent to ") + address);
        else
            m_state.prompts().message(QStringLiteral("Email was not successfully sent to ") + address +
                                      QStringLiteral(" the error is ") + error);
    }
    btnTestEmailAddr->setEnabled(true);
}

bool EmailListFrame::eventFilter(QObject *watched, QEvent *event)
{
    // The right button on an entry selects it and offers to remove it.
    if (watched == lstEmailAddr->viewport() && event->type() == QEvent::MouseButtonPress) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::RightButton) {
            if (QListWidgetItem *item = lstEmailAddr->itemAt(mouse->position().toPoint()))
                lstEmailAddr->setCurrentItem(item);
            askToRemoveSelected();
            return true;
        }
    }
    return QGroupBox::eventFilter(watched, event);
}

#include "moc_EmailListFrame.cpp"
