#include "OwnerOnlyFile.h"

#include <QFile>
#include <QFileInfo>

bool KeepOwnerOnly(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isFile())
        return true;
    constexpr QFileDevice::Permissions owner =
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
    const QFileDevice::Permissions now = info.permissions();
    if (!(now & (QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup |
                 QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther)))
        return true;
    return QFile::setPermissions(path, now & owner);
}
