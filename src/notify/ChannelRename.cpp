#include "ChannelRename.h"

#include "ChannelRules.h"

#include <core/IniFile.h>
#include <core/ProgramState.h>
#include <db/Database.h>

bool RenameNotifyChannel(ProgramState &state, Database &database, const QString &from,
                         const NotifyChannelSettings &to, QString &error)
{
    if (const QString problem = ChannelRules::Problem(to); !problem.isEmpty()) {
        error = problem;
        return false;
    }
    const QList<NotifyChannelSettings> &channels = state.Ini.channels;
    const auto named = [&channels](const QString &name) {
        return std::any_of(channels.cbegin(), channels.cend(),
                           [&name](const NotifyChannelSettings &c) { return c.name == name; });
    };
    if (!named(from)) {
        error = QStringLiteral("There is no channel named %1.").arg(from);
        return false;
    }
    if (to.name != from && named(to.name)) {
        error = QStringLiteral("A channel named %1 exists already.").arg(to.name);
        return false;
    }
    // The file is written within the database's transaction: refused, it rolls the messages'
    // rename back; a commit that fails after it is undone in the file.
    const IniSettings before = state.Ini;
    RenameChannelIn(state.Ini, from, to);
    IniFile ini(state);
    bool written = false;
    const bool renamed = database.runInTransaction([&] {
        return database.RenameNotifyChannel(from, to.name) && (written = ini.RenameChannel(from, to));
    });
    if (renamed)
        return true;
    error = written || ini.lastError().isEmpty() ? database.lastError() : ini.lastError();
    const NotifyChannelSettings old = [&] {
        for (const NotifyChannelSettings &c : before.channels)
            if (c.name == from)
                return c;
        return NotifyChannelSettings();
    }();
    state.Ini = before;
    if (written)
        ini.RenameChannel(to.name, old);
    return false;
}
