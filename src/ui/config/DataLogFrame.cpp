#include "DataLogFrame.h"

#include "ConfigWidgets.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

DataLogFrame::DataLogFrame(QWidget *parent)
    : QGroupBox(QStringLiteral("On Board Data Log Parameters"), parent)
{
    setObjectName(QStringLiteral("frmDateTime"));
    txtDT = named(new QLineEdit(this), "txtDT");
    txtDT->setReadOnly(true);
    txtUR = named(new QLineEdit(this), "txtUR");
    txtUR->setToolTip(
        QStringLiteral("This value is how often data is stored in the on board data log.  Valid "
                       "range is 1 to 60 minutes."));
    txtNR = named(new QLineEdit(this), "txtNR");
    txtNR->setReadOnly(true);
    chkCLF = named(new QCheckBox(QStringLiteral("Reset log record pointer after download"), this), "chkCLF");
    chkCLF->setToolTip(
        QStringLiteral("Check this box prior to downloading to reset the log record pointer back to 0."));
    btnStoreDateTime = named(new QPushButton(QStringLiteral("Store Data Log Parameters to Server"), this),
                             "btnStoreDateTime");
    btnStoreDateTime->setToolTip(
        QStringLiteral("Click this button to store the time and the update rate to the server."));
    btnGetLogFile = named(new QPushButton(QStringLiteral("Download all log records"), this), "btnGetLogFile");
    btnExportLog = named(new QPushButton(QStringLiteral("Export data to .csv file"), this), "btnExportLog");
    btnExportLog->setToolTip(QStringLiteral("Export all log records to a .csv file."));
    btnExportLog->hide();
    Command2 = named(new QPushButton(QStringLiteral("Decode"), this), "Command2");
    Command2->hide();
    gridLog = named(new QTableView(this), "gridLog");
    gridLog->verticalHeader()->hide();
    // Rows of one fixed height: a full log of 65,535 records scrolls without measuring them.
    gridLog->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    gridLog->verticalHeader()->setDefaultSectionSize(gridLog->fontMetrics().height() + 6);
    gridLog->setSelectionBehavior(QAbstractItemView::SelectRows);
    gridLog->setEditTriggers(QAbstractItemView::NoEditTriggers);

    auto *rate = new QHBoxLayout;
    rate->addWidget(txtUR);
    rate->addWidget(new QLabel(QStringLiteral("(Valid range: 1 to 60 minutes)"), this));
    auto *fields = new QFormLayout;
    fields->addRow(QStringLiteral("Local Time at Server:"), txtDT);
    fields->addRow(QStringLiteral("Update Rate (min):"), rate);
    fields->addRow(QStringLiteral("Number of Log Records:"), txtNR);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(btnStoreDateTime);
    buttons->addWidget(btnGetLogFile);
    buttons->addWidget(btnExportLog);
    buttons->addWidget(Command2);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(chkCLF);
    layout->addLayout(buttons);
    layout->addWidget(gridLog, 1);
}

void DataLogFrame::clearFields()
{
    txtDT->clear();
    txtUR->clear();
    txtNR->clear();
    chkCLF->setChecked(false);
}

#include "moc_DataLogFrame.cpp"
