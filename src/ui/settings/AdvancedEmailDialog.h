#pragma once

#include <QDialog>

class ConfigFile;
class ProgramState;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QVBoxLayout;
struct AdvancedEmailInput;

// frmAdvancedEmail ("Internet Email Settings"): the mail server's port, time-out, SSL and
// authentication. Every time it is shown it reads the settings file; OK saves it.
class AdvancedEmailDialog final : public QDialog {
    Q_OBJECT
public:
    AdvancedEmailDialog(ProgramState &state, ConfigFile &configFile, QWidget *parent = nullptr);

    // OK saved the settings file.
    bool saved() const { return m_saved; }

    QLineEdit *txtSMTPPort;
    QLineEdit *txtServerTimeOut;
    QCheckBox *chkSSL;
    QCheckBox *chkAuthentication;
    QComboBox *cmboAuthenticationMethod;
    QLineEdit *txtUserName;
    QLineEdit *txtPassword;
    QLineEdit *txtLoginDomain;
    QPushButton *OKButton;
    QPushButton *CancelButton;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void buildServerBox(QVBoxLayout *layout);
    void buildAuthenticationBox(QVBoxLayout *layout);
    void buildButtons(QVBoxLayout *layout);
    void load();
    void showValues(const AdvancedEmailInput &input);
    AdvancedEmailInput collect() const;
    void applyAuthenticationRule();
    void onOk();

    ProgramState &m_state;
    ConfigFile &m_configFile;
    bool m_centred = false;
    bool m_saved = false;
};
