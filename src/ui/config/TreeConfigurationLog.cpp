// The on-board log in the configuration window: download, the grid, the raw file and the export.
#include "TreeConfiguration.h"

#include "ConfigWidgets.h"
#include "DataLogFrame.h"
#include "ServerFrame.h"

#include <config/DeviceClock.h>
#include <config/LogFiles.h>
#include <core/ProgramState.h>
#include <core/Prompts.h>
#include <link/DeviceCommands.h>
#include <link/DeviceLink.h>

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

namespace {
constexpr int TimeColumnWidth = 150;
}

void TreeConfiguration::clearLog()
{
    m_logModel.clear();
}

bool TreeConfiguration::askResetPointer(int &answerCode)
{
    answerCode = 0;
    if (!m_dataLog->chkCLF->isChecked())
        return false;
    const bool yes =
        m_state.prompts().ask(QStringLiteral("Reset log pointer after download?"), QString(),
                              Prompts::Buttons::YesNo, Prompts::Icon::Question) == Prompts::Answer::Yes;
    answerCode = yes ? 6 : 7;
    if (!yes)
        m_dataLog->chkCLF->setChecked(false);
    return yes;
}

void TreeConfiguration::onDownloadLog()
{
    if (m_busy)
        return;
    enterBusy();
    int answerCode = 0;
    const bool reset = askResetPointer(answerCode);
    const QString name = m_server->txtServerName->text();
    setStatusText(m_server->lblServerError,
                  QString::number(answerCode) + QStringLiteral("  Downloading log records from ") + name);
    m_server->lblServerError->show();
    const DataLog layout =
        DataLog::forDevice(m_state.ModelFamily, m_state.ModelNumber, m_state.FirmwareRevision);
    const QString address = m_server->txtServerIPAddress->text();
    refreshLogCount(address);
    const qint64 count = qMax(0LL, m_dataLog->txtNR->text().trimmed().toLongLong());
    m_downloading = true;
    m_resettingLog = reset;
    const bool ok =
        layout.recordSize() > 0 && !stopped() &&
        DownloadLog(m_link, address, reset, count, layout.recordSize(), QLatin1String(FormName), m_logBuffer);
    m_downloading = false;
    if (stopped()) {
        leaveBusy();
        return;
    }
    if (!ok) {
        // A busy device sent no records: its reply is neither shown as rows nor kept as the log.
        const bool busy = IsBusyReply(m_logBuffer);
        m_logBuffer = QByteArrayLiteral("Fail");
        setStatusText(
            m_server->lblServerError,
            busy ? name + QStringLiteral(" is currently on the phone.  Please wait and try again later.")
                 : QStringLiteral("Failure while downloading log records from ") + name,
            true);
        m_dataLog->btnExportLog->hide();
        leaveBusy();
        return;
    }
    showDecodedLog();
    keepRawFile();
    leaveBusy();
}

// The record count of the device as it stands now: the one read when the device was opened may
// be old. On a failed read the count shown stays.
void TreeConfiguration::refreshLogCount(const QString &address)
{
    QString text;
    int updateRate = 0;
    int logCount = m_dataLog->txtNR->text().trimmed().toInt();
    ReadClock(m_link, address, text, updateRate, logCount);
    m_dataLog->txtNR->setText(QString::number(logCount));
}

// The records in time order; a part record at the end is not decoded, and the status says so.
void TreeConfiguration::showDecodedLog()
{
    DataLog log = DataLog::forDevice(m_state.ModelFamily, m_state.ModelNumber, m_state.FirmwareRevision);
    log.decode(m_logBuffer);
    const int leftover = log.leftoverBytes();
    m_logModel.setLog(std::move(log));
    QTableView *grid = m_dataLog->gridLog;
    for (int column = 0; column < m_logModel.columnCount(); ++column)
        grid->setColumnHidden(column, column == m_logModel.log().sortKeyColumn());
    if (m_logModel.columnCount() > 1)
        grid->setColumnWidth(1, TimeColumnWidth);
    QLabel *status = m_server->lblServerError;
    if (leftover > 0)
        setStatusText(status,
                      status->text() + QStringLiteral(".  The last %1 bytes received do not make a whole "
                                                      "record and were not decoded.")
                                           .arg(leftover));
    else
        setStatusText(status, status->text());
    m_dataLog->btnExportLog->show();
}

void TreeConfiguration::keepRawFile()
{
    const QString path = m_state.programFile(QLatin1String(RawLogFileName));
    QString error;
    if (!WriteRawLogFile(path, m_logBuffer, error))
        setStatusText(m_server->lblServerError, QStringLiteral("Failure while creating binary file ") +
                                                    QDir::toNativeSeparators(path) +
                                                    QStringLiteral(".  The error is ") + error);
}

void TreeConfiguration::onExportLog()
{
    const QString suggested =
        QDir(m_state.programDirectory()).filePath(m_server->txtServerName->text() + QStringLiteral(".csv"));
    const QString path = m_state.prompts().saveFileName(QStringLiteral("Export log file"), suggested,
                                                        QStringLiteral("All CSV Files (*.csv)"));
    if (path.isEmpty())
        return;
    QString error;
    const bool existed = QFileInfo::exists(path);
    if (ExportLog(m_logModel.log(), path, error))
        m_state.prompts().message(QStringLiteral("The file ") + path + QStringLiteral(" has been created"));
    else if (!QFileInfo::exists(path))
        m_state.prompts().message(QStringLiteral("There was an error creating the log file ") + path +
                                  QStringLiteral(".  No log file has been created.  The error is ") + error);
    else
        // The file is there: it was there before, or a part of the log reached it.
        m_state.prompts().message(QStringLiteral("There was an error writing the log file ") + path +
                                  QStringLiteral(".  The error is ") + error +
                                  (existed ? QStringLiteral(".  The file may end with part of the log.")
                                           : QStringLiteral(".  The file may hold only part of the log.")));
}
