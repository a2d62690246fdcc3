#pragma once

// The program's start: decides between a window and a run without a display, makes a running
// copy close, builds the main window on the port the environment names, hands it the command
// line and runs it. Returns the process's exit status.
class CProgrammerApp {
  public:
    int Run(int argc, char** argv);
};
