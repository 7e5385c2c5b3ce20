#include "Monitor.h"

#include <core/Activation.h>
#include <core/PollTimer.h>
#include <core/ProgramState.h>

Monitor::Monitor(ProgramState &programState, Activation &activation, PollTimer &pollTimer,
                 const LinkTimings &timings)
    : state(programState), database(programState), errorLog(database), link(programState, timings),
      mailSource(database), mail(programState, &mailSource), alarms(programState, database, mail, grid),
      failures(programState, database, mail),
      cycle(programState, link, database, alarms, failures, mail, activation.configFile(), grid)
{
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
    s.SetUpMailManager = [this] { mail.SetUpMailManager(); };
    s.UpgradeSchema = [this] { database.UpgradeSchema(); };
    s.CountNamedSensors = [this](int &count) { return database.CountNamedSensors(count); };
    s.ConfigureServerStatusGrid = [this](int rows) { grid.ConfigureServerStatusGrid(rows); };
    s.StopTimeout = [this] { link.StopTimeout(); };
    s.SendShutdownEmail = [this] { mail.SendShutdownEmail(); };
    s.CloseWinSocket = [this] { link.CloseWinSocket(); };
}

void Monitor::connectPollTimer(PollTimer &pollTimer)
{
    pollTimer.runCycle = [this] { cycle.LogRoutine(); };
}
