#pragma once

#include <QString>
#include <QTextStream>

// tallyport --test-notify NAME: sends a test message through the channel [notify.NAME] of the
// program directory's Tallyport.ini and prints the answer. Returns 0 when the receiver took it,
// 1 when the channel is not there or cannot be used, 2 when the receiver did not take it.
int RunNotifyTestCommand(const QString &channelName, const QString &programDirectory, QTextStream &out,
                         QTextStream &err);
