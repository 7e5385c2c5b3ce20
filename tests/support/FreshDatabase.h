#pragma once

#include <QString>

// Makes a fresh wexa.mdb at path from resources/schema.sql of the source tree and returns the
// path; a test that cannot have its database stops at once.
QString FreshDatabase(const QString &path);
