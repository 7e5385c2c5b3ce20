#include "ServerFrame.h"

#include "ConfigWidgets.h"

#include <core/Win1252.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
const QColor Yellow(255, 255, 0);
}

ServerFrame::ServerFrame(QWidget *parent) : QGroupBox(QStringLiteral("Server"), parent)
{
    setObjectName(QStringLiteral("frmSetup_0"));
    txtServerName = named(new QLineEdit(this), "txtServerName");
    txtServerIPAddress = named(new QLineEdit(this), "txtServerIPAddress");
    txtModel = named(new QLineEdit(QStringLiteral("Server model could not be determined"), this), "txtModel");
    txtModel->setReadOnly(true);
    txtServerNotes = named(new QLineEdit(this), "txtServerNotes");
    txtUserPassword = named(new QLineEdit(QStringLiteral("****"), this), "txtUserPassword");
    cmboUnits = named(new QComboBox(this), "cmboUnits");
    cmboUnits->addItems({TemperatureUnitText(QLatin1Char('F')), TemperatureUnitText(QLatin1Char('C'))});
    chkEnable = named(new QCheckBox(QStringLiteral("Enable this Device"), this), "chkEnable");
    lblServerError = named(new QLabel(this), "lblServerError");
    lblServerError->setWordWrap(true);
    lblServerError->setMinimumHeight(lblServerError->fontMetrics().height() * 3);
    lblServerError->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    watchRequired(txtServerName);
    watchRequired(txtServerIPAddress);

    auto *fields = new QFormLayout;
    fields->addRow(QStringLiteral("Server Name:"), txtServerName);
    fields->addRow(QStringLiteral("IP Address:"), txtServerIPAddress);
    fields->addRow(QStringLiteral("Server Model:"), txtModel);
    fields->addRow(QStringLiteral("Notes:"), txtServerNotes);
    fields->addRow(QStringLiteral("Password:"), txtUserPassword);
    fields->addRow(QStringLiteral("Temperature Display Units:"), cmboUnits);
    fields->addRow(QString(), chkEnable);

    btnSaveServer = namedButton(this, "Save", "btnSaveServer");
    btnCancel = namedButton(this, "Close", "btnCancel");
    btnRefresh = namedButton(this, "Refresh", "btnRefresh");
    btnSensors = namedButton(this, "Sensors", "btnSensors");
    btnMore = namedButton(this, "More...", "btnMore");
    btnServerEmailAddresses = namedButton(this, "Alarm Email Addresses", "btnServerEmailAddresses");
    btnRestoreFactoryDefaults = namedButton(this, "Restore Factory Defaults", "btnRestoreFactoryDefaults");
    btnTestCommunication = namedButton(this, "Test Communications", "btnTestCommunication");
    auto *buttons = new QGridLayout;
    buttons->addWidget(btnSaveServer, 0, 0);
    buttons->addWidget(btnRefresh, 0, 1);
    buttons->addWidget(btnCancel, 0, 2);
    buttons->addWidget(btnSensors, 1, 0);
    buttons->addWidget(btnServerEmailAddresses, 1, 1);
    buttons->addWidget(btnMore, 1, 2);
    buttons->addWidget(btnTestCommunication, 2, 0);
    buttons->addWidget(btnRestoreFactoryDefaults, 2, 1);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(lblServerError);
    layout->addLayout(buttons);
    layout->addStretch();
}

QChar ServerFrame::unitLetter() const
{
    const QString text = cmboUnits->currentText();
    return text.size() > 1 ? text.at(1) : QLatin1Char('F');
}

void ServerFrame::selectUnit(QChar letter)
{
    cmboUnits->setCurrentIndex(letter == QLatin1Char('C') ? 1 : 0);
}

void ServerFrame::markMissing(QLineEdit *box)
{
    QPalette palette = box->palette();
    palette.setColor(QPalette::Base, Yellow);
    box->setPalette(palette);
    box->setFocus();
}

void ServerFrame::watchRequired(QLineEdit *box)
{
    connect(box, &QLineEdit::textEdited, box, [box] {
        QPalette palette = box->palette();
        palette.setColor(QPalette::Base, Qt::white);
        box->setPalette(palette);
    });
}

#include "moc_ServerFrame.cpp"
