#pragma once

#include <QGroupBox>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QTableView;

// The on-board data log frame of the configuration window (frmDateTime): the device clock, the
// log update rate and record count, and the downloaded log.
class DataLogFrame final : public QGroupBox {
    Q_OBJECT
public:
    explicit DataLogFrame(QWidget *parent = nullptr);

    // Empties the clock and log fields and unticks the reset box.
    void clearFields();

    QLineEdit *txtDT;
    QLineEdit *txtUR;
    QLineEdit *txtNR;
    QCheckBox *chkCLF;
    QPushButton *btnStoreDateTime;
    QPushButton *btnGetLogFile;
    QPushButton *btnExportLog;
    QPushButton *Command2; // "Decode": kept hidden
    QTableView *gridLog;
};
