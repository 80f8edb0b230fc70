// What the C runtime does around a program's main: its static destructors, run when main
// returns, and the end of a process whose thread lets a C++ exception escape.
#pragma once

namespace winsim {

class Process;

// Runs the static destructors the process's program image registered, last first.
void run_exit_handlers(Process &process);

// Makes a C++ exception that a program's thread lets escape end that thread's process and
// stop the run as a fault of the program.
void watch_uncaught_exceptions();

}  // namespace winsim
