#pragma once

#include <QString>

struct ConfigRecord;

// The administrator login check: the typed user name and password must equal the stored ones
// (trimmed) exactly; the typed text itself is not trimmed.
enum class LoginResult { Succeeded, WrongPassword, WrongUserName };

LoginResult CheckLogin(const ConfigRecord &config, const QString &userName, const QString &password);
