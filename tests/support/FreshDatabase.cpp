#include "FreshDatabase.h"

#include <db/SchemaFile.h>

#include <QtGlobal>

QString FreshDatabase(const QString &path)
{
    QString error;
    if (!CreateDatabaseFromSchema(QStringLiteral(TALLYPORT_SOURCE_DIR "/resources/schema.sql"), path, false,
                                  error))
        qFatal("cannot make the test database: %s", qPrintable(error));
    return path;
}
