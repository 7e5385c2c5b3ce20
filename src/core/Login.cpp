#include "Login.h"

#include "ConfigRecord.h"

LoginResult CheckLogin(const ConfigRecord &config, const QString &userName, const QString &password)
{
    if (password != config.AdminPassword.trimmed())
        return LoginResult::WrongPassword;
    if (userName != config.AdminUserName.trimmed())
        return LoginResult::WrongUserName;
    return LoginResult::Succeeded;
}
