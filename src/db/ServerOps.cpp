// Devices: tblServers.
#include "Database.h"

#include <core/ProgramState.h>
#include <core/Prompts.h>

#include <QSqlError>
#include <QSqlQuery>

namespace {
const QString kServerColumns = QStringLiteral("IDNum, ServerName, ServerModel, ServerIPAddress, ServerNotes, "
                                              "Enabled, UserPassword, EmailAddress, Comm");

ServerRecord serverFrom(const QSqlQuery &query)
{
    ServerRecord row;
    row.IDNum = query.value(0).toLongLong();
    row.ServerName = query.value(1).toString();
    row.ServerModel = query.value(2).toString();
    row.ServerIPAddress = query.value(3).toString();
    row.ServerNotes = query.value(4).toString();
    row.Enabled = query.value(5).toString();
    row.UserPassword = query.value(6).toString();
    row.EmailAddress = query.value(7).toString();
    row.Comm = query.value(8).toString();
    return row;
}
} // namespace

bool Database::RecordServers(QList<ServerRecord> &rows, int &count)
{
    rows.clear();
    count = 0;
    {
        Statement query =
            run(QStringLiteral("SELECT %1 FROM tblServers ORDER BY ServerName COLLATE NOCASE ASC, IDNum")
                    .arg(kServerColumns));
        if (query) {
            while (query->next())
                rows.append(serverFrom(*query));
            if (!query->lastError().isValid()) {
                count = int(rows.size());
                return true;
            }
            fail(query->lastError().text());
        }
    }
    rows.clear();
    return failWithLog(QStringLiteral("RecordServers()"));
}

bool Database::ReadDevicesMark(DevicesMark &mark)
{
    mark = DevicesMark();
    Statement query = run(QStringLiteral("PRAGMA data_version"));
    if (!query)
        return false;
    if (!query->next())
        return fail(query->lastError().isValid() ? query->lastError().text()
                                                 : QStringLiteral("The data version could not be read."));
    mark.edits = m_serverEdits;
    mark.dataVersion = query->value(0).toLongLong();
    return true;
}

bool Database::OpenServerRecord(qint64 id, ServerRecord &row)
{
    row = ServerRecord();
    Statement query =
        run(QStringLiteral("SELECT %1 FROM tblServers WHERE IDNum = ?").arg(kServerColumns), {id});
    if (!query)
        return false;
    if (!query->next())
        return fail(query->lastError().isValid() ? query->lastError().text()
                                                 : QStringLiteral("No device has the number %1.").arg(id));
    row = serverFrom(*query);
    return true;
}

bool Database::ServerNameAndEmail(qint64 id, QString &name, QString &emailList)
{
    std::pair<QString, QString> found;
    const bool ok = remembered(&ReadMemo::nameAndEmail, id, found, [&](std::pair<QString, QString> &read) {
        Statement query =
            run(QStringLiteral("SELECT ServerName, EmailAddress FROM tblServers WHERE IDNum = ?"), {id});
        if (!query)
            return false;
        if (!query->next())
            return fail(query->lastError().isValid() ? query->lastError().text()
                                                     : QStringLiteral("No row %1 in tblServers.").arg(id));
        read = {query->value(0).toString(), query->value(1).toString()};
        return true;
    });
    name = found.first;
    emailList = found.second;
    return ok;
}

bool Database::AddServer(const QString &name, const QString &model, const QString &ipAddress,
                         const QString &notes, int enabled, const QString &userPassword,
                         const QString &emailList, int comm, qint64 *newId)
{
    ++m_serverEdits;
    // One statement: the address test and the insert cannot be separated by another write. An
    // empty table passes the test trivially.
    int inserted = 0;
    {
        Statement query =
            run(QStringLiteral("INSERT INTO tblServers (ServerName, ServerModel, ServerIPAddress, "
                               "ServerNotes, Enabled, UserPassword, EmailAddress, Comm) "
                               "SELECT ?, ?, ?, ?, ?, ?, ?, ? WHERE NOT EXISTS "
                               "(SELECT 1 FROM tblServers WHERE ServerIPAddress = ?)"),
                {name, model, ipAddress, notes, QString::number(enabled), userPassword, emailList,
                 QString::number(comm), ipAddress});
        if (!query)
            return failWithMessage(QStringLiteral("Error adding server, the error is "));
        inserted = query->numRowsAffected();
        if (newId)
            *newId = inserted > 0 ? query->lastInsertId().toLongLong() : 0;
    }
    if (inserted == 0) {
        const QString text = QStringLiteral(
            "The IP address for this server is not unique.  Please verify the desired IP address.");
        m_state.prompts().message(text);
        return fail(text);
    }
    return true;
}

bool Database::UpdateServer(qint64 id, const QString &name, const QString &model, const QString &ipAddress,
                            const QString &notes, int enabled, const QString &userPassword,
                            const QString &emailList, int comm)
{
    ++m_serverEdits;
    if (!run(QStringLiteral("UPDATE tblServers SET ServerName = ?, ServerModel = ?, ServerIPAddress = ?, "
                            "ServerNotes = ?, Enabled = ?, UserPassword = ?, EmailAddress = ?, Comm = ? "
                            "WHERE IDNum = ?"),
             {name, model, ipAddress, notes, QString::number(enabled), userPassword, emailList,
              QString::number(comm), id}))
        return failWithMessage(QStringLiteral("Error in UpdateServer is "));
    return true;
}

bool Database::EnableDisableServer(qint64 id, int enabled, int comm)
{
    ++m_serverEdits;
    if (!run(QStringLiteral("UPDATE tblServers SET Enabled = ?, Comm = ? WHERE IDNum = ?"),
             {QString::number(enabled), QString::number(comm), id}))
        return failWithMessage(QStringLiteral("Error in EnableDisableServer is "));
    return true;
}

bool Database::UpdateServerEmail(qint64 id, const QString &emailList)
{
    ++m_serverEdits;
    if (!run(QStringLiteral("UPDATE tblServers SET EmailAddress = ? WHERE IDNum = ?"), {emailList, id}))
        return failWithMessage(QStringLiteral("Error updating email addresses.  The error is: "));
    return true;
}

bool Database::IsIPUnique(const QString &ipAddress, QString &deviceName, qint64 exceptId)
{
    deviceName.clear();
    {
        Statement query = run(QStringLiteral("SELECT ServerName FROM tblServers WHERE ServerIPAddress = ? "
                                             "AND IDNum <> ? ORDER BY IDNum LIMIT 1"),
                              {ipAddress, exceptId});
        if (query && query->next()) {
            deviceName = query->value(0).toString();
            return false;
        }
        if (query && !query->lastError().isValid())
            return true;
        if (query)
            fail(query->lastError().text());
    }
    return failWithMessage(
        QStringLiteral("Error verifing that the IP address %1 is unique.  The error is:  ").arg(ipAddress));
}

bool Database::LoadServers(QList<ServerRecord> &rows)
{
    int count = 0;
    if (!RecordServers(rows, count)) {
        m_state.UpdateStatus(QStringLiteral("Load Servers()"), m_lastError);
        return false;
    }
    return count > 0;
}

bool Database::DeleteServer(qint64 id)
{
    ++m_serverEdits;
    const bool deleted = runInTransaction([&] {
        return run(QStringLiteral("DELETE FROM tblSensors WHERE ServerIDNum = ?"), {id}) &&
               run(QStringLiteral("DELETE FROM tblServers WHERE IDNum = ?"), {id});
    });
    if (!deleted)
        return failWithMessage(QStringLiteral("Error in DeleteServer is "));
    return true;
}
