#include "SchemaFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

QStringList SchemaStatements(const QString &schemaText)
{
    QStringList lines = schemaText.split(QLatin1Char('\n'));
    for (QString &line : lines) {
        const qsizetype comment = line.indexOf(QStringLiteral("--"));
        if (comment >= 0)
            line.truncate(comment);
    }
    QStringList statements;
    for (const QString &part : lines.join(QLatin1Char('\n')).split(QLatin1Char(';'))) {
        if (!part.trimmed().isEmpty())
            statements.append(part.trimmed());
    }
    return statements;
}

namespace {
bool runStatements(const QString &path, const QStringList &statements, QString &error)
{
    const QString connection = QStringLiteral("tallyport-makedb-") + QUuid::createUuid().toString();
    bool done = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(path);
        if (!db.open()) {
            error = db.lastError().text();
        } else {
            done = db.transaction();
            QSqlQuery query(db);
            for (const QString &statement : statements) {
                if (done && !query.exec(statement)) {
                    error = query.lastError().text() + QStringLiteral(" in: ") + statement;
                    done = false;
                }
            }
            query.finish();
            done = done && db.commit();
            if (!done && error.isEmpty())
                error = db.lastError().text();
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(connection);
    return done;
}
} // namespace

bool CreateDatabaseFromSchema(const QString &schemaPath, const QString &databasePath, bool replace,
                              QString &error)
{
    QFile schema(schemaPath);
    if (!schema.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("Cannot read %1: %2").arg(schemaPath, schema.errorString());
        return false;
    }
    const QStringList statements = SchemaStatements(QString::fromUtf8(schema.readAll()));
    if (statements.isEmpty()) {
        error = QStringLiteral("%1 holds no statements.").arg(schemaPath);
        return false;
    }
    if (QFileInfo::exists(databasePath) && !replace) {
        error = QStringLiteral("%1 already exists.").arg(databasePath);
        return false;
    }

    const QString partial = databasePath + QStringLiteral(".partial");
    QFile::remove(partial);
    if (!runStatements(partial, statements, error)) {
        QFile::remove(partial);
        return false;
    }
    if (replace)
        QFile::remove(databasePath);
    if (!QFile::rename(partial, databasePath)) {
        error = QStringLiteral("Cannot write %1.").arg(databasePath);
        QFile::remove(partial);
        return false;
    }
    return true;
}
