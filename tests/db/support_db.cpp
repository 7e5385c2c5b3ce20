#include "support_db.h"

#include <db/SchemaFile.h>

#include <QSqlQuery>
#include <QTest>
#include <QUuid>

QString SchemaPath()
{
    return QStringLiteral(TALLYPORT_SOURCE_DIR "/resources/schema.sql");
}

namespace {
QString makeFresh(const QString &path)
{
    QString error;
    if (!CreateDatabaseFromSchema(SchemaPath(), path, false, error))
        qFatal("cannot make the test database: %s", qPrintable(error));
    return path;
}
} // namespace

DbFixture::DbFixture() : db(t.state, makeFresh(t.path(QStringLiteral("wexa.mdb")))) {}

OtherConnection::OtherConnection(const QString &path) : m_name(QUuid::createUuid().toString())
{
    m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
    m_db.setDatabaseName(path);
    m_db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=0"));
    m_db.open();
}

OtherConnection::~OtherConnection()
{
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_name);
}

bool OtherConnection::exec(const QString &sql)
{
    QSqlQuery query(m_db);
    return query.exec(sql);
}

QVariant OtherConnection::scalar(const QString &sql)
{
    QSqlQuery query(m_db);
    return query.exec(sql) && query.next() ? query.value(0) : QVariant();
}
