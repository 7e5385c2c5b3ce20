#include "Monitor.h"

#include <core/Activation.h>
#include <core/PollTimer.h>
#include <core/ProgramState.h>

namespace {
// How long the shutdown notice may hold up the close on the notification channels.
constexpr int ShutdownNoticeWaitMs = 5000;
} // namespace

Monitor::Monitor(ProgramState &programState, Activation &activation, PollTimer &pollTimer,
                 const LinkTimings &timings)
    : state(programState), database(programState), errorLog(database), link(programState, timings),
      mailSource(database), mail(programState, &mailSource), outbox(programState, database, mail),
      notifier(programState, database), escalation(programState, database, outbox),
      response(programState, database, outbox, grid), alarms(programState, database, outbox, grid),
      failures(programState, database, outbox),
      cycle(programState, link, database, alarms, failures, outbox, activation.configFile(), grid),
      monthlyReport(programState, outbox, activation.iniFile())
{
    cycle.reportCheck = [this] { monthlyReport.Check(); };
    cycle.escalationCheck = [this] { escalation.Check(); };
    escalation.notifier = &notifier;
    response.escalation = &escalation;
    response.notifier = &notifier;
    alarms.notifier = &notifier;
    alarms.response = &response;
    failures.notifier = &notifier;
    cycle.notifier = &notifier;
    state.setErrorLog(errorLog);
    connectActivation(activation);
    connectPollTimer(pollTimer);
}

Monitor::~Monitor()
{
    // The error log dies with the database; nothing may write to it afterwards.
    static MemoryErrorLog afterShutdown;
    state.setErrorLog(afterShutdown);
}

void Monitor::connectActivation(Activation &activation)
{
    ActivationServices &s = activation.services;
    // The settings just read may have switched the monthly report on or off.
    s.ApplyIniSettings = [this] { monthlyReport.FollowSwitch(); };
    s.SetUpMailManager = [this] { mail.SetUpMailManager(); };
    // The upgrade adds the outbox table to an older file; the messages an earlier run left wait
    // in it.
    s.UpgradeSchema = [this] {
        database.UpgradeSchema();
        outbox.Resume();
        notifier.Resume();
        response.Resume();
    };
    s.CountNamedSensors = [this](int &count) { return database.CountNamedSensors(count); };
    s.ConfigureServerStatusGrid = [this](int rows) { grid.ConfigureServerStatusGrid(rows); };
    s.StopTimeout = [this] { link.StopTimeout(); };
    // The outbox starts nothing new and keeps what is left for the next start; a message the
    // server is answering gets its answer first (for the stop's grace at most), so one it took is not
    // sent again. Then the shutdown e-mail goes out as it always did.
    s.SendShutdownEmail = [this] {
        outbox.Shutdown();
        mail.SendShutdownEmail();
        notifier.Shutdown(ShutdownNoticeWaitMs);
    };
    s.CloseWinSocket = [this] { link.CloseWinSocket(); };
}

void Monitor::connectPollTimer(PollTimer &pollTimer)
{
    pollTimer.runCycle = [this](std::function<void()> ended) { cycle.LogRoutine(std::move(ended)); };
    pollTimer.cycleFailure = [this] { return cycle.lastFailure(); };
}
