// The device record in the configuration window: add, edit (download from the device), save
// (upload to the device and write the record), the model editor and the phone parameters.
#include "TreeConfiguration.h"

#include "ConfigWidgets.h"
#include "DataLogFrame.h"
#include "EmailListFrame.h"
#include "ModelEditorRegistry.h"
#include "ServerFrame.h"

#include <config/ConfigPage.h>
#include <config/DeviceClock.h>
#include <config/DeviceModels.h>
#include <config/DeviceRecords.h>
#include <core/ProgramState.h>
#include <core/Prompts.h>
#include <db/Database.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTreeWidget>

namespace {
// Why a page read of a device failed whose name holds the word "error", and the way out.
const QString NameHoldsErrorWord =
    QStringLiteral(".  The name the device holds contains the word \"error\", and every reply that "
                   "carries it is refused.  The name can not be changed from here; Restore Factory "
                   "Defaults clears it.");

QString identification(const ProgramState &state)
{
    return QStringLiteral("%1.%2.%3")
        .arg(state.ModelFamily)
        .arg(state.ModelNumber)
        .arg(state.FirmwareRevision);
}
} // namespace

// ---- Frames ----

void TreeConfiguration::HideAllFrames()
{
    m_server->hide();
    m_email->hide();
    m_dataLog->hide();
}

void TreeConfiguration::ShowFrame(int frame)
{
    if (frame == -1)
        HideAllFrames();
    else if (frame == EmailFrameIndex)
        openEmailFrame();
    else
        AlignFrame(frame);
}

void TreeConfiguration::AlignFrame(int frame)
{
    if (frame == ServerFrameIndex)
        m_server->show();
    else if (frame == EmailFrameIndex)
        m_email->show();
}

void TreeConfiguration::DisplayModel()
{
    m_server->txtModel->setText(ModelText(m_state.ModelFamily, m_state.ModelNumber));
    m_server->txtModel->setCursorPosition(0);
}

// ---- Add ----

void TreeConfiguration::AddAServer()
{
    if (m_busy)
        return;
    HideAllFrames();
    m_currentServerId = -1;
    m_email->setServerId(-1);
    m_addMode = true;
    m_server->setTitle(QStringLiteral("Add a new server"));
    m_email->clearAll();
    m_server->txtServerName->clear();
    m_server->txtServerIPAddress->clear();
    m_server->txtServerNotes->clear();
    // Nothing of the device shown before carries over to the new one.
    m_server->txtUserPassword->setText(QStringLiteral("****"));
    m_server->selectUnit(QLatin1Char('F'));
    m_server->txtModel->setText(QStringLiteral("Unknown server model"));
    m_server->lblServerError->hide();
    m_server->chkEnable->setChecked(true);
    AlignFrame(ServerFrameIndex);
}

// ---- Edit ----

void TreeConfiguration::onEditServer()
{
    QTreeWidgetItem *item = m_tree->currentItem();
    if (item == nullptr) {
        m_state.prompts().message(QStringLiteral("Please select a server from the list to edit"));
        return;
    }
    if (!item->data(0, Qt::UserRole).toString().toLower().contains(QLatin1String("server"))) {
        HideAllFrames();
        return;
    }
    if (m_busy) {
        setStatusText(m_server->lblServerError, QStringLiteral("System Busy"));
        return;
    }
    enterBusy();
    HideAllFrames();
    m_currentServerId = ServerIdFromKey(item->data(0, Qt::UserRole).toString());
    EditAServer();
    leaveBusy();
}

// Refresh talks to the device as Edit does, so it holds the busy state too: a tree click in
// the middle would otherwise make another device current under the frame of this one.
void TreeConfiguration::onRefresh()
{
    if (m_currentServerId < 0 || m_busy)
        return;
    enterBusy();
    EditAServer();
    leaveBusy();
}

void TreeConfiguration::EditAServer()
{
    m_email->clearAll();
    m_email->setServerId(m_currentServerId);
    m_dataLog->clearFields();
    ServerRecord row;
    if (!m_db.OpenServerRecord(m_currentServerId, row)) {
        m_state.AddError(QStringLiteral("EditAServer"), m_db.lastError());
        AlignFrame(ServerFrameIndex);
        return;
    }
    m_server->txtServerIPAddress->setText(row.ServerIPAddress);
    m_server->txtServerNotes->setText(row.ServerNotes);
    m_server->txtUserPassword->setText(row.UserPassword);
    m_server->chkEnable->setChecked(row.isEnabled());
    m_email->ParseAddrToList(row.EmailAddress);
    m_server->setTitle(QStringLiteral("Edit: ") + row.ServerName);
    setStatusText(m_server->lblServerError, QString());
    m_server->lblServerError->show();
    m_addMode = false;
    downloadConfiguration(ConfigPage::TrimBlanks(row.ServerName), row.ServerModel, row.ServerIPAddress);
}

// Reads name and unit from the device, then its clock and log parameters where it has them,
// and shows the frames the device's model offers.
void TreeConfiguration::downloadConfiguration(const QString &storedName, const QString &storedModel,
                                              const QString &address)
{
    const qint64 serverId = m_currentServerId;
    const ConfigDownload download = DownloadConfigPage(m_pages, address);
    // The frame shows the device it was read from, or nothing.
    if (stopped() || m_currentServerId != serverId)
        return;
    QLabel *status = m_server->lblServerError;
    const bool identified = download.outcome != ConfigDownload::Outcome::IdentifyFailed;
    if (identified)
        DisplayModel();
    switch (download.outcome) {
    case ConfigDownload::Outcome::Done:
        m_server->txtServerName->setText(download.name);
        m_server->selectUnit(download.unit);
        setStatusText(status, QStringLiteral("Successfully downloaded data from ") + download.name +
                                  QLatin1Char(' ') + identification(m_state));
        break;
    case ConfigDownload::Outcome::ReadBusy:
        m_server->txtServerName->setText(storedName);
        setStatusText(status,
                      storedName +
                          QStringLiteral(" is currently on the phone.  Please wait and try again later."),
                      true);
        break;
    case ConfigDownload::Outcome::ReadFailed:
    case ConfigDownload::Outcome::IdentifyFailed:
        m_server->txtServerName->setText(storedName);
        if (!identified)
            m_server->txtModel->setText(storedModel);
        setStatusText(status,
                      QStringLiteral("There was an error downloading data from ") + storedName +
                          (download.errorWordInName ? NameHoldsErrorWord : QString()),
                      true);
        break;
    }
    if (identified && HasClockAndLog(m_state.ModelFamily, m_state.FirmwareRevision))
        readClockAndLog(address);
    if (!stopped() && m_currentServerId == serverId)
        showDeviceFrames(identified);
}

void TreeConfiguration::readClockAndLog(const QString &address)
{
    QString text;
    int updateRate = 0;
    int logCount = 0;
    ReadClock(m_link, address, text, updateRate, logCount);
    m_dataLog->txtDT->setText(text);
    m_dataLog->txtUR->setText(QString::number(updateRate));
    m_dataLog->txtNR->setText(QString::number(logCount));
}

// The device frame always; the data log frame and More... only for models that have them. After
// a failed identify the model is unknown (the values left are another device's), so neither shows.
void TreeConfiguration::showDeviceFrames(bool identified)
{
    AlignFrame(ServerFrameIndex);
    const int family = m_state.ModelFamily;
    const int model = m_state.ModelNumber;
    const int firmware = m_state.FirmwareRevision;
    if (identified && ShowsDataLogFrame(family, model, firmware)) {
        m_dataLog->setTitle(QStringLiteral("Data Log Parameters for ") + m_server->txtServerName->text());
        clearLog();
        m_dataLog->btnExportLog->hide();
        m_dataLog->show();
    } else {
        m_dataLog->hide();
    }
    m_server->btnMore->setVisible(identified && ShowsPhoneParameters(family, model, firmware));
}

// ---- Save ----

void TreeConfiguration::onSaveServer()
{
    if (m_busy)
        return;
    enterBusy();
    SaveAServer();
    leaveBusy();
}

void TreeConfiguration::SaveAServer()
{
    const QString address = m_server->txtServerIPAddress->text();
    if (addressInUse(address) || requiredFieldsMissing() || nameRefused())
        return;
    const QString name = ConfigPage::TrimBlanks(m_server->txtServerName->text());
    int enabled = 0;
    int comm = CommOff;
    if (m_server->chkEnable->isChecked() && !uploadConfiguration(name, address, enabled, comm))
        return;
    writeRecord(name, address, enabled, comm);
}

// Two records must never share an address (the device would be polled twice and every alarm
// doubled): a new device, and a device given a new address, are refused one that is taken.
bool TreeConfiguration::addressInUse(const QString &address)
{
    QString holder;
    if (m_db.IsIPUnique(address, holder, m_addMode ? 0 : m_currentServerId))
        return false;
    if (!holder.isEmpty())
        m_state.prompts().message(QStringLiteral("The IP address ") + address +
                                  QStringLiteral(" is currently being used by ") + holder.trimmed() +
                                  QStringLiteral(".  Please enter a unique IP address."));
    return true;
}

// A name the device could never give back is refused before anything is sent.
bool TreeConfiguration::nameRefused()
{
    const QString refusal = ConfigPage::NameRefusal(ConfigPage::TrimBlanks(m_server->txtServerName->text()));
    if (refusal.isEmpty())
        return false;
    ServerFrame::markMissing(m_server->txtServerName);
    m_state.prompts().message(refusal);
    return true;
}

bool TreeConfiguration::requiredFieldsMissing()
{
    // White space alone (a pasted tab, say) is no name.
    if (m_server->txtServerName->text().trimmed().isEmpty()) {
        ServerFrame::markMissing(m_server->txtServerName);
        m_state.prompts().message(QStringLiteral("Please enter a name for this server."));
        return true;
    }
    if (m_server->txtServerIPAddress->text().trimmed().isEmpty()) {
        ServerFrame::markMissing(m_server->txtServerIPAddress);
        m_state.prompts().message(QStringLiteral("Please enter the IP address."));
        return true;
    }
    return false;
}

// Writes name, unit and address into the device. False (nothing to save) when the device did
// not answer the identify or the window closed meanwhile.
bool TreeConfiguration::uploadConfiguration(const QString &name, const QString &address, int &enabled,
                                            int &comm)
{
    const ConfigUpload upload = UploadConfigPage(m_pages, address, name, m_server->unitLetter(), address);
    if (stopped())
        return false;
    if (upload == ConfigUpload::IdentifyFailed) {
        m_state.prompts().message(QStringLiteral("Can not communicate with") + address);
        return false;
    }
    DisplayModel();
    const SaveOutcome outcome = SaveOutcomeFor(upload, name, true);
    m_server->lblServerError->show();
    setStatusText(m_server->lblServerError, outcome.label, outcome.labelRed);
    if (!outcome.message.isEmpty())
        m_state.prompts().message(outcome.message);
    enabled = outcome.enabled;
    comm = outcome.comm;
    return true;
}

void TreeConfiguration::writeRecord(const QString &name, const QString &address, int enabled, int comm)
{
    const QString model = m_server->txtModel->text();
    const QString notes = m_server->txtServerNotes->text();
    const QString password = m_server->txtUserPassword->text().isEmpty() ? QStringLiteral("****")
                                                                         : m_server->txtUserPassword->text();
    const QString emails = m_email->storedForm();
    qint64 newId = 0;
    if (m_addMode) {
        if (!m_db.AddServer(name, model, address, notes, enabled, password, emails, comm, &newId))
            m_state.prompts().message(name +
                                      QStringLiteral("'s data was not added to the server database.  The "
                                                     "error is ") +
                                      m_db.lastError());
    } else if (!m_db.UpdateServer(m_currentServerId, name, model, address, notes, enabled, password, emails,
                                  comm)) {
        m_state.prompts().message(
            name + QStringLiteral("'s data could not be updated to the server database.  The error is ") +
            m_db.lastError());
    }
    // The new device becomes the selected one, whatever its place in the name order.
    if (newId > 0) {
        m_currentServerId = newId;
        m_email->setServerId(newId);
    }
    LoadServers();
    if (newId > 0)
        selectServerNode(newId);
}

// ---- Model editor, phone parameters, e-mail list ----

void TreeConfiguration::Sensors()
{
    if (m_busy)
        return;
    ServerRecord row;
    if (m_currentServerId < 0 || !m_db.OpenServerRecord(m_currentServerId, row)) {
        m_state.prompts().message(QStringLiteral("Please select a server"));
        return;
    }
    enterBusy();
    const PageOutcome identify = m_pages.Identify(row.ServerIPAddress);
    leaveBusy();
    if (stopped())
        return;
    if (identify != PageOutcome::Done) {
        m_state.prompts().message(
            QStringLiteral("The was an error communicating with the server at IP address") +
            row.ServerIPAddress + QStringLiteral(".  Please try again."));
        return;
    }
    m_lastEditorChoice = ModelEditorName(m_state.ModelFamily, m_state.ModelNumber);
    if (m_lastEditorChoice.isEmpty())
        return;
    ModelEditorRequest request;
    request.editorName = m_lastEditorChoice;
    request.IPAddress = row.ServerIPAddress;
    request.DatabaseID = m_currentServerId;
    request.owner = this;
    if (m_editors.open(request))
        LoadServers();
}

void TreeConfiguration::onMore()
{
    QVariant address;
    if (m_busy || !m_db.GetFieldValue(m_currentServerId, QStringLiteral("tblServers"),
                                      QStringLiteral("ServerIPAddress"), address))
        return;
    ModelEditorRequest request;
    request.editorName = QStringLiteral("frmRX705PhoneParameters");
    request.ServerName = QStringLiteral("Phone Parameters for server: ") + m_server->txtServerName->text();
    request.IPAddress = address.toString();
    request.DatabaseID = m_currentServerId;
    request.owner = this;
    m_editors.open(request);
}

void TreeConfiguration::openEmailFrame()
{
    // An operation under way shows the device frame when it ends: the list waits for it.
    if (m_busy)
        return;
    if (m_currentServerId == -1) {
        m_state.prompts().message(
            QStringLiteral("Please save the new server before adding email addresses."));
        return;
    }
    HideAllFrames();
    QVariant stored;
    QVariant name;
    if (!m_db.GetFieldValue(m_currentServerId, QStringLiteral("tblServers"), QStringLiteral("ServerName"),
                            name))
        return;
    m_db.GetFieldValue(m_currentServerId, QStringLiteral("tblServers"), QStringLiteral("EmailAddress"),
                       stored);
    m_email->setServerId(m_currentServerId);
    m_email->ParseAddrToList(stored.toString());
    m_email->setTitle(QStringLiteral("Add email addresses for: ") + name.toString());
    AlignFrame(EmailFrameIndex);
}
