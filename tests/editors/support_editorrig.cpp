#include "support_editorrig.h"

#include <db/SchemaFile.h>

#include <QSqlDatabase>
#include <QSqlQuery>

LinkTimings EditorTestTimings()
{
    LinkTimings timings;
    timings.connectMs = 1500;
    timings.closeMs = 500;
    timings.replyOverrideMs = 1500;
    return timings;
}

EditorRig::EditorRig(const QString &address, int family, int model, int firmware)
    : address(address), db(t.state, t.path("wexa.mdb")), device(family, model, firmware),
      link(t.state, EditorTestTimings())
{
    t.state.Config.TCPTimeOut = 2;
    QString error;
    if (!CreateDatabaseFromSchema(QString(TALLYPORT_SOURCE_DIR) + "/resources/schema.sql", t.path("wexa.mdb"),
                                  false, error))
        return;
    if (!device.start(address))
        return;
    device.setFrozen(true);
    if (!db.AddServer(QStringLiteral("Editor Rig"), device.modelText(), address, QString(), 1, QString(),
                      QString(), -1))
        return;
    QList<ServerRecord> servers;
    int count = 0;
    if (!db.RecordServers(servers, count) || count != 1)
        return;
    deviceId = servers.first().IDNum;
    t.state.ModelFamily = family;
    t.state.ModelNumber = model;
    t.state.FirmwareRevision = firmware;
    ready = true;
}

EditorSession &EditorRig::session(const EditorLayout &layout)
{
    editor = std::make_unique<EditorSession>(services(), layout, form);
    editor->IPAddress = address;
    editor->DatabaseID = deviceId;
    return *editor;
}

namespace {
QList<int> pagesOf(const QList<QByteArray> &commands, const QByteArray &code)
{
    QList<int> pages;
    for (const QByteArray &command : commands) {
        if (command.startsWith(code))
            pages.append(static_cast<unsigned char>(command.at(3)));
    }
    return pages;
}
} // namespace

QList<int> EditorRig::storedPages() const
{
    return pagesOf(device.commands(), QByteArray::fromHex("DDCCBB"));
}

QList<int> EditorRig::readPages() const
{
    return pagesOf(device.commands(), QByteArray::fromHex("AABBCC"));
}

QVariant EditorRig::sensorColumn(int port, const QString &column)
{
    // A connection of the test's own, so rows of unnamed sensors can be seen too.
    const QString name = QStringLiteral("editor-rig-reader");
    QVariant value;
    {
        QSqlDatabase reader = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        reader.setDatabaseName(t.path("wexa.mdb"));
        if (reader.open()) {
            QSqlQuery query(reader);
            query.prepare(QStringLiteral("SELECT %1 FROM tblSensors WHERE ServerIDNum = ? AND PortNum = ?")
                              .arg(column));
            query.addBindValue(deviceId);
            query.addBindValue(port);
            if (query.exec() && query.next())
                value = query.value(0);
        }
    }
    QSqlDatabase::removeDatabase(name);
    return value;
}
