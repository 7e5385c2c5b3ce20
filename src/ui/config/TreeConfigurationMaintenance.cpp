// Maintenance commands of the configuration window: factory defaults, a communication test and
// the device clock with the log update rate.
#include "TreeConfiguration.h"

#include "ConfigWidgets.h"
#include "DataLogFrame.h"
#include "ServerFrame.h"

#include <config/ConfigPage.h>
#include <config/DeviceClock.h>
#include <core/Clock.h>
#include <core/ProgramState.h>
#include <core/Prompts.h>
#include <editors/FieldText.h>
#include <link/DeviceCommands.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

void TreeConfiguration::onRestoreFactoryDefaults()
{
    if (m_busy)
        return;
    const QString name = m_server->txtServerName->text();
    if (m_state.prompts().ask(
            QStringLiteral("Reset '") + name + QStringLiteral("' to factory default values?"), QString(),
            Prompts::Buttons::YesNo, Prompts::Icon::Critical) != Prompts::Answer::Yes) {
        m_state.prompts().message(name + QStringLiteral(" was not reset to factory defaults."));
        return;
    }
    // Busy like every operation that talks to a device, so nothing else starts meanwhile.
    enterBusy();
    QPushButton *button = m_server->btnRestoreFactoryDefaults;
    button->setText(QStringLiteral("Restoring...."));
    const PageOutcome outcome =
        m_pages.SendCommand(m_server->txtServerIPAddress->text(), DeviceCommands().RestoreDefaultsCommand);
    button->setText(QStringLiteral("Restore Factory Defaults"));
    leaveBusy();
    if (stopped())
        return;
    if (outcome == PageOutcome::Done)
        m_state.prompts().message(QStringLiteral("Successfully set ") + name +
                                  QStringLiteral(" user page to factory defaults"));
    else if (outcome == PageOutcome::Busy)
        m_state.prompts().message(name +
                                  QStringLiteral(" is currently busy on the phone. The server could not be "
                                                 "reset to factory defaults. Please wait and try again."));
    else
        m_state.prompts().message(QStringLiteral("Error resetting ") + name +
                                  QStringLiteral(" to factory defaults"));
}

void TreeConfiguration::onTestCommunication()
{
    if (m_busy)
        return;
    enterBusy();
    QPushButton *button = m_server->btnTestCommunication;
    button->setText(QStringLiteral("Testing...."));
    const QString address = m_server->txtServerIPAddress->text();
    QLabel *status = m_server->lblServerError;
    status->show();
    if (m_pages.Identify(address) == PageOutcome::Done && !stopped()) {
        DisplayModel();
        setStatusText(status,
                      QStringLiteral("Successfully communicated with ") + m_server->txtServerName->text());
        QByteArray page;
        const bool read =
            m_pages.ReadPage(address, ConfigPage::Number(m_state.ModelFamily), page) == PageOutcome::Done;
        m_server->txtServerName->setText(read ? ConfigPage::Name(page) : QString());
        if (!stopped())
            m_state.prompts().message(QStringLiteral("Successfully communicated with ") +
                                      m_server->txtServerName->text() +
                                      QStringLiteral(" %1.%2.%3 at IP address ")
                                          .arg(m_state.ModelFamily)
                                          .arg(m_state.ModelNumber)
                                          .arg(m_state.FirmwareRevision) +
                                      address);
    } else if (!stopped()) {
        setStatusText(status, QStringLiteral("Failed to communicate with IP address ") + address, true);
        m_state.prompts().message(QStringLiteral("Error reading from IP address ") + address);
    }
    button->setText(QStringLiteral("Test Communications"));
    leaveBusy();
}

std::optional<int> TreeConfiguration::typedUpdateRate()
{
    QLineEdit *box = m_dataLog->txtUR;
    if (box->text().isEmpty()) {
        m_state.prompts().message(QStringLiteral("Please enter a value for the log update rate."));
        return std::nullopt;
    }
    // Text that is no number is out of range as well.
    const std::optional<double> rate = NumberFromText(box->text());
    if (!rate || *rate < 1 || *rate > 60) {
        m_state.prompts().message(QStringLiteral("The valid update rate is between 1 and 60 minutes"));
        box->setText(QStringLiteral("5"));
        box->setFocus();
        return std::nullopt;
    }
    return int(RoundHalfEven(*rate));
}

void TreeConfiguration::onStoreDateTime()
{
    // Busy first: a refused click leaves the box as it is.
    if (m_busy)
        return;
    const std::optional<int> rate = typedUpdateRate();
    if (!rate)
        return;
    enterBusy();
    m_dataLog->txtDT->clear();
    QString text;
    StoreClock(m_link, m_server->txtServerIPAddress->text(), *rate, m_state.clock().now(), text);
    if (!stopped())
        m_dataLog->txtDT->setText(text);
    leaveBusy();
}
