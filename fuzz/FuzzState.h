#pragma once

#include <core/Clock.h>
#include <core/ErrorLog.h>
#include <core/ProgramState.h>
#include <core/Prompts.h>
#include <core/StatusList.h>

#include <QTemporaryDir>

// Error log that keeps only the count and the last line, so a long run holds no growing list.
class CountingErrorLog final : public ErrorLog {
public:
    void AddError(const QString &where, const QString &cause) override;
    int count = 0;
    QString last;
};

// Prompts that answer Cancel / No and an empty file name without showing anything.
class SilentPrompts final : public Prompts {
public:
    Answer ask(const QString &, const QString &, Buttons buttons, Icon) override;
    QString saveFileName(const QString &, const QString &, const QString &) override { return {}; }
};

// A program state over a fresh temporary program directory, a manual clock standing on
// 3/14/2026 10:30:00 AM and silent prompts. Qt's message output is silenced when it is made.
struct FuzzState {
    FuzzState();

    QTemporaryDir dir;
    ManualClock clock;
    SilentPrompts prompts;
    CountingErrorLog errors;
    StatusList status;
    ProgramState state;

    static QDateTime startTime();
    QString path(const QString &name) const { return dir.filePath(name); }
    // Puts the clock back, clears the log and the status list.
    void reset();
};

// One state for the whole run of a fuzz program.
FuzzState &SharedFuzzState();
