// Start-up and the run of the program.
#pragma once

namespace lapvane {

// Runs the whole program: start-up, the window, shutdown. Returns the exit code.
int runApplication(int argc, char **argv);

} // namespace lapvane
