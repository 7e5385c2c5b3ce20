#pragma once

#include <QDialog>

class ProgramState;
class QLineEdit;

// frmLogin: asks for the administrator user name and password.
class LoginDialog final : public QDialog {
    Q_OBJECT
public:
    explicit LoginDialog(ProgramState &state, QWidget *parent = nullptr);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void onOk();
    void onCancel();

    ProgramState &m_state;
    QLineEdit *m_userName;
    QLineEdit *m_password;
};
