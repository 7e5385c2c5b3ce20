#pragma once

#include <QGroupBox>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The device frame of the configuration window (frmSetup index 0): the device record's fields,
// the status line and the device buttons.
class ServerFrame final : public QGroupBox {
    Q_OBJECT
public:
    explicit ServerFrame(QWidget *parent = nullptr);

    // The unit letter of the selection: the character after the degree sign.
    QChar unitLetter() const;
    void selectUnit(QChar letter);
    // A required box left empty turns yellow and takes the focus; typing turns it white again.
    static void markMissing(QLineEdit *box);

    QLineEdit *txtServerName;
    QLineEdit *txtServerIPAddress;
    QLineEdit *txtModel;
    QLineEdit *txtServerNotes;
    QLineEdit *txtUserPassword;
    QComboBox *cmboUnits;
    QCheckBox *chkEnable;
    QLabel *lblServerError;
    QPushButton *btnSaveServer;
    QPushButton *btnCancel;
    QPushButton *btnRefresh;
    QPushButton *btnSensors;
    QPushButton *btnMore;
    QPushButton *btnServerEmailAddresses;
    QPushButton *btnRestoreFactoryDefaults;
    QPushButton *btnTestCommunication;

private:
    static void watchRequired(QLineEdit *box);
};
