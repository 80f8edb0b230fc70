// The memory faults winsim provokes on purpose, each turned into a stop of the run on the
// thread that faulted: a simulated thread that runs into the guard below its stack
// (StackOverflow.cpp), and a program that touches a block a stand-in library took back
// (LibraryHeap.cpp). One SIGSEGV handler asks each check in turn; a fault none of them claims
// goes to the handler that was there before (the sanitizers' own, or the default).
#pragma once

#include <signal.h>
#include <ucontext.h>

#include <cstdint>

namespace winsim {

// Claims a fault by redirecting `context` (resume_in_call) and returning true. Runs in the
// signal handler: async-signal-safe work only.
using FaultCheck = bool (*)(const siginfo_t &info, ucontext_t &context);

// Adds a check to the handler, installing the handler with the first one; adding one twice
// adds it once.
void add_fault_check(FaultCheck check);

// Gives the calling real thread a stack of its own for signal handlers, unless it has one: a
// thread that ran off its stack has none left to run the handler on.
void ensure_signal_stack();

// Makes the faulting thread resume, once the handler returns, in a call of
// `function(first, second)` (a function that never returns) on the stack below `stack_top`.
void resume_in_call(ucontext_t &context, std::uintptr_t stack_top, void (*function)(),
                    std::uintptr_t first, std::uintptr_t second);

// Turns a simulated thread's run into its stack guard into a stop of the run that names it.
void watch_stack_overflows();

}  // namespace winsim
