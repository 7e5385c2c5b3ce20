#pragma once

#include <core/Prompts.h>

// Prompts for a benchmark: every question is answered OK and no file is chosen; nothing shows.
class SilentPrompts final : public Prompts {
public:
    Answer ask(const QString &, const QString &, Buttons, Icon) override { return Answer::Ok; }
    QString saveFileName(const QString &, const QString &, const QString &) override { return {}; }
};
