// What Install requires before it touches anything, and the running marker every mode checks.
#pragma once

#include "platform/HandleGuard.h"

// Whether the processor has the Sentrel crypto engine, enabled (CPUID leaves 0xC0000000 and
// 0xC0000001: EDX bits 6 and 7 of the second).
bool SentrelPresent();

// Creates the running marker "Global\FALKUtility_Running_Mutex" and reports whether a suite
// utility holds it: it existed already, or it cannot be created at all (a marker of another
// account refuses access; any other refusal leaves the question open, and going on over a
// running suite is what the check prevents). The handle goes into `marker`, which keeps the
// marker in existence for the rest of the run.
bool SuiteRunningCheck(KernelHandle &marker);

// The running marker (5), then the suite's service stopped and, with `bDelete`, deleted (7); 0
// when both pass. Every mode runs these before it touches a file; `marker` holds the running
// marker afterwards.
int CheckNotRunningAndStop(bool bDelete, KernelHandle &marker);

// Install's checks in order: the engine (2), the predecessor (4), the running marker (5), and
// the suite's service stopped and deleted (7); 0 when all pass.
int CheckPrerequisites(KernelHandle &marker);
