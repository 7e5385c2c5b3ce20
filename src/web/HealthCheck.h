#pragma once

#include "WebSnapshot.h"

// What the health check looks at.
struct HealthInputs {
    QDateTime now;
    bool monitoringActive = false;
    bool pollTimerRunning = false;
    bool deviceWindowOpen = false;
    int namedSensorRows = 0;
    int updateRateSeconds = 60;
    CycleTimes cycle;
};

// Healthy while the last poll cycle ended (or polling started) within 3 x the update rate + 60 s,
// and while a running cycle began within that time. Otherwise the reason, each its own code:
//   monitoring-ended   monitoring has ended (the program is closing) or never started
//   cycle-hung         a poll cycle has run longer than the limit
//   cycle-failed       the last poll cycle could not read its device list (the database fails)
//   no-sensors         no named sensors: nothing is polled
//   polling-paused     the poll timer is stopped (a window of the Setup menu is open)
//   cycle-overdue      the poll timer runs but no cycle has ended in time
HealthView EvaluateHealth(const HealthInputs &in);

// 3 x the update rate + 60 s.
qint64 HealthLimitSeconds(int updateRateSeconds);
