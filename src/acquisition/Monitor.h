#pragma once

#include <acquisition/PollCycle.h>
#include <acquisition/StatusGridModel.h>
#include <alarms/AlarmEvaluation.h>
#include <alarms/AlarmResponse.h>
#include <alarms/DatabaseMailSource.h>
#include <alarms/Escalation.h>
#include <alarms/FailureTracking.h>
#include <alarms/MailManager.h>
#include <alarms/Outbox.h>
#include <db/Database.h>
#include <db/DbErrorLog.h>
#include <link/DeviceLink.h>
#include <link/LinkTimings.h>
#include <notify/Notifier.h>
#include <reports/MonthlyReport.h>

class Activation;
class PollTimer;
class ProgramState;

// The monitoring engine of one run: the database and its error log, the device link, the
// mailer and its outbox, the status grid, acknowledgements, the alarm evaluation, failure tracking and the
// poll cycle, wired to the activation sequence and the poll tick. The program makes one; tests make their
// own.
class Monitor {
public:
    Monitor(ProgramState &state, Activation &activation, PollTimer &pollTimer,
            const LinkTimings &timings = {});
    ~Monitor();
    Monitor(const Monitor &) = delete;
    Monitor &operator=(const Monitor &) = delete;

    ProgramState &state;
    Database database;
    DbErrorLog errorLog;
    DeviceLink link;
    DatabaseMailSource mailSource;
    MailManager mail;
    Outbox outbox;
    Notifier notifier;
    StatusGridModel grid;
    Escalation escalation;
    AlarmResponse response;
    AlarmEvaluation alarms;
    FailureTracking failures;
    PollCycle cycle;
    MonthlyReport monthlyReport;

private:
    void connectActivation(Activation &activation);
    void connectPollTimer(PollTimer &pollTimer);
};
