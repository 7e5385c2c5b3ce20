#pragma once

#include <QString>
#include <QStringList>

// The statements of a schema file: comments ("--" to the end of a line) removed, split at ";".
QStringList SchemaStatements(const QString &schemaText);

// Makes an empty database at databasePath from the schema file. An existing file is kept (and
// the call fails) unless replace is set. The new file appears only when complete.
bool CreateDatabaseFromSchema(const QString &schemaPath, const QString &databasePath, bool replace,
                              QString &error);
