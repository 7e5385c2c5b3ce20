#pragma once

#include <QGroupBox>

class Database;
class MailManager;
class ProgramState;
class QLineEdit;
class QListWidget;
class QPushButton;

// The alarm e-mail list frame of the configuration window (frmSetup index 2): the addresses that
// get the alarm e-mails of one device, added (and saved at once), removed, and sent a test mail.
class EmailListFrame final : public QGroupBox {
    Q_OBJECT
public:
    EmailListFrame(ProgramState &state, Database &db, MailManager &mail, QWidget *parent = nullptr);

    // The device the list belongs to (-1: none).
    void setServerId(qint64 id) { m_serverId = id; }

    // Fills the list from the stored form: each address followed by ",".
    bool ParseAddrToList(const QString &emailAddr);
    // The list in the stored form.
    QString storedForm() const;
    // Writes the list to the device's record.
    bool SaveEmail();
    // Empties the list and the address box.
    void clearAll();

    QListWidget *lstEmailAddr;
    QLineEdit *txtEmailAddr;
    QPushButton *btnAddEmail;
    QPushButton *btnSaveEmail;
    QPushButton *btnDeleteEmailAddress;
    QPushButton *btnTestEmailAddr;
    QPushButton *btnCloseEmailFrame;

signals:
    void closeRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void addAddress();
    void deleteSelected();
    void askToRemoveSelected();
    void sendTest();

    ProgramState &m_state;
    Database &m_db;
    MailManager &m_mail;
    qint64 m_serverId = -1;
};
