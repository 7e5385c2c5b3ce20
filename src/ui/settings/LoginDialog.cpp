#include "LoginDialog.h"

#include <core/Login.h>
#include <core/ProgramState.h>
#include <core/Prompts.h>

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>

LoginDialog::LoginDialog(ProgramState &state, QWidget *parent) : QDialog(parent), m_state(state)
{
    setObjectName(QStringLiteral("frmLogin"));
    setWindowTitle(QStringLiteral("Login"));
    auto *form = new QFormLayout(this);
    m_userName = new QLineEdit(this);
    m_userName->setObjectName(QStringLiteral("txtUserName"));
    m_password = new QLineEdit(this);
    m_password->setObjectName(QStringLiteral("txtPassword"));
    m_password->setEchoMode(QLineEdit::Password);
    form->addRow(QStringLiteral("User Name"), m_userName);
    form->addRow(QStringLiteral("Password"), m_password);
    auto *buttons = new QHBoxLayout;
    auto *ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("cmdOK"));
    ok->setDefault(true);
    auto *cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("cmdCancel"));
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    form->addRow(buttons);
    setMinimumWidth(320);
    connect(ok, &QPushButton::clicked, this, &LoginDialog::onOk);
    connect(cancel, &QPushButton::clicked, this, &LoginDialog::onCancel);
}

void LoginDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    m_userName->clear();
    m_password->clear();
    m_userName->setFocus();
}

void LoginDialog::onOk()
{
    switch (CheckLogin(m_state.Config, m_userName->text(), m_password->text())) {
    case LoginResult::Succeeded:
        m_state.LoginSucceeded = true;
        accept();
        return;
    case LoginResult::WrongPassword:
        m_state.prompts().message(QStringLiteral("Invalid Password, try again!"), QStringLiteral("Login"));
        m_password->setFocus();
        m_password->selectAll();
        return;
    case LoginResult::WrongUserName:
        m_state.prompts().message(QStringLiteral("Invalid Username, try again!"), QStringLiteral("Login"));
        m_userName->setFocus();
        m_userName->selectAll();
        return;
    }
}

void LoginDialog::onCancel()
{
    m_state.LoginSucceeded = false;
    reject();
}

#include "moc_LoginDialog.cpp"
