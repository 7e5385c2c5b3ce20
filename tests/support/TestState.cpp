#include "TestState.h"

TestState::TestState()
    : clock(QDateTime(QDate(2026, 3, 14), QTime(10, 30, 0))),
      state(dir.path(), clock, prompts, errors, status)
{
    state.setMonitoringActive(true);
}
