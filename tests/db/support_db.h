#pragma once

#include <db/Database.h>

#include <support/TestState.h>

#include <QSqlDatabase>

// resources/schema.sql of the source tree.
QString SchemaPath();

// A test program directory holding a fresh wexa.mdb made from the schema, and the database
// object of the run over it.
struct DbFixture {
    DbFixture();
    TestState t;
    Database db;
    QString path() const { return db.path(); }
};

// A second, independent connection to a database file (another program, as far as SQLite can
// tell). Removed when it goes out of scope.
class OtherConnection {
public:
    explicit OtherConnection(const QString &path);
    ~OtherConnection();
    QSqlDatabase &db() { return m_db; }
    // Runs a statement; true when it succeeded.
    bool exec(const QString &sql);
    QVariant scalar(const QString &sql);

private:
    QString m_name;
    QSqlDatabase m_db;
};
