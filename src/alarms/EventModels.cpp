#include "EventModels.h"

#include <core/DateTimeText.h>
#include <core/ProgramState.h>
#include <db/Database.h>

namespace {
// Where a grid that cannot read its rows is logged.
const QString kReadError = QStringLiteral("RefreshEventsDatabase error reading from Alarm/Error data base");

QString dateTimeCell(const QDateTime &when)
{
    return when.isValid() ? DateTimeText(when) : QString();
}

// A status text as stored: "False", a date-time (shown as the program's text) or a message.
QString statusCell(const QString &stored)
{
    return stored.isNull() ? QString() : StoredDateTimeText(stored);
}
} // namespace

EventTableModel::EventTableModel(ProgramState &state, Database &db, QStringList captions, QObject *parent)
    : QAbstractTableModel(parent), m_state(state), m_db(db), m_captions(std::move(captions))
{
}

int EventTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_extent.count;
}

int EventTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_captions.size());
}

QVariant EventTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_extent.count)
        return {};
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    ensurePage(index.row());
    QString text = cellText(index.row(), index.column());
    if (role == Qt::ToolTipRole && index.column() == emailColumn) {
        const QStringList channels = notificationOutcomes(index.row());
        if (!channels.isEmpty())
            return QStringLiteral("E-mail: ") + text + QLatin1Char('\n') + channels.join(QLatin1Char('\n'));
    }
    if (role == Qt::ToolTipRole) {
        // Long texts (alarm messages, error causes) are cut off in the cell.
        if (text.size() < 40 && !text.contains(QLatin1Char('\r')))
            return {};
        return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
            .replace(QLatin1Char('\r'), QLatin1Char('\n'));
    }
    return text.replace(QStringLiteral("\r\n"), QStringLiteral(" "))
        .replace(QLatin1Char('\r'), QLatin1Char(' '));
}

QStringList EventTableModel::outcomesOf(const QString &table, qint64 recordId) const
{
    QStringList outcomes;
    m_db.NotifyOutcomes(table, recordId, outcomes);
    return outcomes;
}

QVariant EventTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return m_captions.value(section);
    return section + 1;
}

bool EventTableModel::refresh()
{
    EventExtent now;
    if (!readExtent(now))
        return false;
    m_failureLogged = false;
    if (m_bound && now == m_extent) {
        // The same rows: show their current values without losing the view's place.
        forgetPages();
        if (m_extent.count > 0)
            emit dataChanged(index(0, 0), index(m_extent.count - 1, columnCount() - 1));
        return true;
    }
    beginResetModel();
    m_extent = now;
    m_bound = true;
    forgetPages();
    endResetModel();
    return true;
}

void EventTableModel::ensurePage(int row) const
{
    const int page = row / PageSize;
    if (pageRead(page))
        return;
    ++m_pageReads;
    if (!readPage(page) && !m_failureLogged) {
        m_failureLogged = true;
        m_state.AddError(kReadError, m_db.lastError());
    }
}

// --- Alarms ---

AlarmTableModel::AlarmTableModel(ProgramState &state, Database &db, QObject *parent)
    : EventTableModel(
          state, db,
          {QStringLiteral("Alarm #"), QStringLiteral("Sensor ID "), QStringLiteral("Alarm Started"),
           QStringLiteral("Alarm Ended"), QStringLiteral("AlarmActive"), QStringLiteral("Email Sent?"),
           QStringLiteral("Cause Of Alarm"), QStringLiteral("Server Name"), QStringLiteral("Sensor Name"),
           QStringLiteral("Sensor Data"), QStringLiteral("Time Out of Limits (min)"),
           QStringLiteral("Acknowledged By"), QStringLiteral("Acknowledged At")},
          parent)
{
    emailColumn = 5;
}

const AlarmRecord *AlarmTableModel::alarmAt(int row) const
{
    if (row < 0 || row >= extent().count)
        return nullptr;
    ensurePage(row);
    return m_pages.at(row);
}

bool AlarmTableModel::readExtent(EventExtent &extent)
{
    return database().AlarmsExtent(extent);
}

bool AlarmTableModel::readPage(int page) const
{
    QList<AlarmRecord> rows;
    const bool read = database().AlarmsNewestFirst(rows, page * PageSize, PageSize, extent().maxId);
    m_pages.store(page, read ? rows : QList<AlarmRecord>());
    return read;
}

QString AlarmTableModel::cellText(int row, int column) const
{
    const AlarmRecord *alarm = m_pages.at(row);
    if (!alarm)
        return {};
    switch (column) {
    case 0:
        return QString::number(alarm->IDNum);
    case 1:
        return QString::number(alarm->SensorIDNum);
    case 2:
        return dateTimeCell(alarm->AlarmStart);
    case 3:
        return dateTimeCell(alarm->AlarmEnd);
    case 4:
        return alarm->AlarmActive ? QStringLiteral("True") : QStringLiteral("False");
    case 5:
        return statusCell(alarm->EmailSent);
    case 6:
        return alarm->CauseOfAlarm;
    case 7:
        return alarm->Server;
    case 8:
        return alarm->Sensor;
    case 9:
        return alarm->CurrentData;
    case 10:
        return QString::number(alarm->TOL);
    case 11:
        return AckByText(*alarm);
    case 12:
        return dateTimeCell(alarm->Ack.AckAt);
    default:
        return {};
    }
}

QString AlarmTableModel::AckByText(const AlarmRecord &alarm)
{
    if (alarm.Ack.isSet())
        return alarm.Ack.AckBy;
    return alarm.AlarmActive ? QString() : QStringLiteral("Never acknowledged");
}

QStringList AlarmTableModel::notificationOutcomes(int row) const
{
    const AlarmRecord *alarm = m_pages.at(row);
    return alarm ? outcomesOf(QStringLiteral("tblAlarms"), alarm->IDNum) : QStringList();
}

// --- Device failure episodes ---

ServerFailureTableModel::ServerFailureTableModel(ProgramState &state, Database &db, QObject *parent)
    : EventTableModel(state, db,
                      {QStringLiteral("IDNum"), QStringLiteral("Device Name"), QStringLiteral("ServerIDNum"),
                       QStringLiteral("Off Line"), QStringLiteral("Back On Line"),
                       QStringLiteral("Email Sent?")},
                      parent)
{
    emailColumn = 5;
}

QStringList ServerFailureTableModel::notificationOutcomes(int row) const
{
    const ServerFailureRecord *episode = m_pages.at(row);
    return episode ? outcomesOf(QStringLiteral("tblServerFailures"), episode->IDNum) : QStringList();
}

bool ServerFailureTableModel::readExtent(EventExtent &extent)
{
    if (!database().ServerFailuresExtent(m_notifiedOnly, extent))
        return false;
    m_extentNotifiedOnly = m_notifiedOnly;
    return true;
}

bool ServerFailureTableModel::readPage(int page) const
{
    QList<ServerFailureRecord> rows;
    const bool read = database().ServerFailuresNewestFirst(rows, m_extentNotifiedOnly, page * PageSize,
                                                           PageSize, extent().maxId);
    m_pages.store(page, read ? rows : QList<ServerFailureRecord>());
    return read;
}

QString ServerFailureTableModel::cellText(int row, int column) const
{
    const ServerFailureRecord *episode = m_pages.at(row);
    if (!episode)
        return {};
    switch (column) {
    case 0:
        return QString::number(episode->IDNum);
    case 1:
        return episode->ServerName;
    case 2:
        return QString::number(episode->ServerIDNum);
    case 3:
        return dateTimeCell(episode->OffLine);
    case 4:
        return statusCell(episode->BackOnLine);
    case 5:
        return statusCell(episode->EmailSent);
    default:
        return {};
    }
}

// --- Error log ---

ErrorTableModel::ErrorTableModel(ProgramState &state, Database &db, QObject *parent)
    : EventTableModel(state, db,
                      {QStringLiteral("ID"), QStringLiteral("Time Error Occured"),
                       QStringLiteral("Function Name"), QStringLiteral("Cause")},
                      parent)
{
}

bool ErrorTableModel::readExtent(EventExtent &extent)
{
    return database().ErrorsExtent(extent);
}

bool ErrorTableModel::readPage(int page) const
{
    QList<ErrorRecord> rows;
    const bool read = database().ErrorsNewestFirst(rows, page * PageSize, PageSize, extent().maxId);
    m_pages.store(page, read ? rows : QList<ErrorRecord>());
    return read;
}

QString ErrorTableModel::cellText(int row, int column) const
{
    const ErrorRecord *error = m_pages.at(row);
    if (!error)
        return {};
    switch (column) {
    case 0:
        return QString::number(error->ErrorID);
    case 1:
        return dateTimeCell(error->myTime);
    case 2:
        return error->myFunction;
    case 3:
        return error->Cause;
    default:
        return {};
    }
}

#include "moc_EventModels.cpp"
