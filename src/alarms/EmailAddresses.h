#pragma once

#include <QString>
#include <QStringList>

// A device's alarm address list in the stored form "a@x,b@y," passes through unchanged; a list
// with one address per line becomes that form (each line followed by ","). Lines are copied as
// they are. Returns true unless the conversion failed.
bool ParseEmailAddresses(const QString &addressList, QString &commaList);

// A plain address "local@domain": printable ASCII, no blanks, no line breaks, no brackets or
// separators, one "@" with text on both sides.
bool IsValidEmailAddress(const QString &address);

// The addresses of a comma-separated list, blanks trimmed and empty entries (a trailing comma)
// dropped. Returns false with a readable error text when the list names no address or an
// entry is not a valid address.
bool SplitAddressList(const QString &commaList, QStringList &addresses, QString &errorText);
