// The verbs for the machine itself, as opposed to the stand-ins' verbs:
//   seed <n>                        interleavings picked at random from this seed
//   acp <codepage>                  the ANSI code page (932, 1252, 437, 65001)
//   clock ticks <n>                 GetTickCount reads <n> at this line's time
//   event set <name>                another process sets a named event
//   cpu sentrel present|absent|disabled  the processor's Sentrel engine as CPUID reports it
//   mutex <name>                    another process holds the named mutex
//   reg key <ROOT\path>             the key exists
//   reg set <ROOT\path> <name> dword|sz|expand_sz|multi_sz|binary <data>
//   reg delete <ROOT\path> [<name>] the value, or the key with everything below it, is gone
//   reg deny <ROOT\path>            the key refuses full access
//   fault <call> [in <function>] [nth <n>|from <n>] [error <code>] [match <text>]
//   run <command line>              starts a registered program; its image is placed at the
//                                   path the command line names
#pragma once

#include <vector>

#include "scenario/Verbs.h"

namespace scenario {

void add_machine_verbs(Verbs &verbs);
void add_registry_verbs(Verbs &verbs);
void add_fault_verbs(Verbs &verbs);
// The lines of the world's fault rules that have matched no call so far.
std::vector<int> unmatched_fault_lines(winsim::World &world);
void add_process_verbs(Verbs &verbs);

}  // namespace scenario
