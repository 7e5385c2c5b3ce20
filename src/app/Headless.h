#pragma once

#include "CommandLine.h"

// tallyport --headless: the monitoring engine with no window and no display. Status lines go to
// standard output with their times; questions get their safe answer and go to the error log;
// SIGTERM or SIGINT ends the run as the window's close does (every wait ends, the shutdown
// e-mail goes out) with exit code 0. Returns the exit code: 2 when the program directory cannot
// be used or another Tallyport runs on it.
int RunHeadless(int argc, char *argv[], const CommandLine &line);
