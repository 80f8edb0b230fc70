// The installer's messages: printed only when the caller asked for them with the "Debug"
// argument, always to standard output.
#pragma once

#include "platform/win32.h"

// Whether messages are printed: false at start, set once from the command line before any step
// runs, only read afterwards.
extern bool DebugOutput;

// Formats a message as wsprintfW does (%s takes wide text, %d and %lx 32-bit numbers) and, when
// DebugOutput is on, writes it to standard output: as wide text to a console, in the ANSI code
// page to a file or pipe. The text is written as given, line ends included; the thread's last
// error is the same afterwards.
void DebugPrint(LPCWSTR pszFormat, ...);

// Writes the text to standard output whatever DebugOutput says (the usage text).
void PrintAlways(LPCWSTR pszText);
