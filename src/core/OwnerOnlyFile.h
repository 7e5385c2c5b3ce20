#pragma once

#include <QString>

// Files that hold secrets (credentials, tokens, device passwords, queued messages) are readable
// and writable by their owner only, whatever the umask made them.
//
// Takes every permission from the group and others; the owner's stay as they are (a file the
// operator made read-only stays read-only). True when the file is missing (nothing to protect)
// or now private; false otherwise.
bool KeepOwnerOnly(const QString &path);
