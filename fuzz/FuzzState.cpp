#include "FuzzState.h"

#include "FuzzHarness.h"

#include <QDir>

void CountingErrorLog::AddError(const QString &where, const QString &cause)
{
    ++count;
    last = where + QLatin1Char('|') + cause;
}

Prompts::Answer SilentPrompts::ask(const QString &, const QString &, Buttons buttons, Icon)
{
    return SafeAnswer(buttons);
}

namespace {
void discardMessage(QtMsgType, const QMessageLogContext &, const QString &) {}

bool silenceQt()
{
    qInstallMessageHandler(discardMessage);
    return true;
}
} // namespace

QDateTime FuzzState::startTime()
{
    return QDateTime(QDate(2026, 3, 14), QTime(10, 30, 0));
}

FuzzState::FuzzState()
    : dir((silenceQt(), QDir::tempPath() + QStringLiteral("/tallyport-fuzz-XXXXXX"))), clock(startTime()),
      state(dir.path(), clock, prompts, errors, status)
{
    if (!dir.isValid())
        FuzzFail("the temporary program directory could be made", __FILE__, __LINE__);
    state.setMonitoringActive(true);
}

void FuzzState::reset()
{
    clock.set(startTime());
    errors.count = 0;
    errors.last.clear();
    status.clear();
}

FuzzState &SharedFuzzState()
{
    static FuzzState state;
    return state;
}
