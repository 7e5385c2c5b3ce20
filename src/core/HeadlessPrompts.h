#pragma once

#include <core/Prompts.h>

#include <functional>

// No one to ask when Tallyport runs without a window: every question gets its safe answer (OK,
// Cancel, No; no file or directory), and each one is reported through `report` so that it
// reaches the error log and the journal.
class HeadlessPrompts final : public Prompts {
public:
    std::function<void(const QString &line)> report;

    Answer ask(const QString &text, const QString &title, Buttons buttons, Icon icon) override;
    QString saveFileName(const QString &title, const QString &suggested, const QString &filter) override;
};
