// What Install requires before it touches anything, and the running marker every mode checks.
#pragma once

// Whether the processor has the Sentrel crypto engine, enabled (CPUID leaves 0xC0000000 and
// 0xC0000001: EDX bits 6 and 7 of the second).
bool SentrelPresent();

// Creates the running marker "Global\FALKUtility_Running_Mutex" and reports whether it existed
// already. Its handle is never closed: the installer keeps the marker while it runs.
bool SuiteRunningCheck();

// The running marker (5), then the suite's service stopped and, with `bDelete`, deleted (7); 0
// when both pass. Every mode runs these before it touches a file.
int CheckNotRunningAndStop(bool bDelete);

// Install's checks in order: the engine (2), the predecessor (4), the running marker (5), and
// the suite's service stopped and deleted (7); 0 when all pass.
int CheckPrerequisites();
