#pragma once

#include "ScriptedPrompts.h"

#include <core/Clock.h>
#include <core/ErrorLog.h>
#include <core/ProgramState.h>
#include <core/StatusList.h>

#include <QTemporaryDir>

// Everything a test needs to stand up the engine: a fresh program directory, a manual clock,
// scripted prompts, an in-memory error log, the status list and the program state over them.
struct TestState {
    TestState();

    QTemporaryDir dir;
    ManualClock clock;
    ScriptedPrompts prompts;
    MemoryErrorLog errors;
    StatusList status;
    ProgramState state;

    QString path(const QString &name) const { return dir.filePath(name); }
};
