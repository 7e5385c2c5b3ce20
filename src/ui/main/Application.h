#pragma once

#include <QString>

// Builds the program state and the main window, and runs the program in the program directory
// chosen from `directory` (--dir; empty for the default).
int RunTallyport(int argc, char *argv[], const QString &directory);
