#pragma once

#include <core/IniSettings.h>

#include <QString>

class Database;
class ProgramState;

// Renames a notification channel everywhere it is named: its section of Tallyport.ini and every
// other setting that names it (state.Ini too), and the messages and events stored for it, which
// keep their outcomes and are sent under the new name. All of it or nothing: false, with the
// reason, when the new name is taken or not usable or a file refused the change. The notification
// thread's own queue is the Notifier's to rename (Notifier::RenameChannel).
bool RenameNotifyChannel(ProgramState &state, Database &database, const QString &from,
                         const NotifyChannelSettings &to, QString &error);
