#pragma once

// Builds the program state and the main window, and runs the program.
int RunTallyport(int argc, char *argv[]);
