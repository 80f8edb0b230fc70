// The suite service program's verbs (standins/yarrow): how Yarrow.exe behaves from the line's
// time on, as a service "QORAService" and when run with " -install":
//   suite install-exit <code>       " -install" ends with this code (nonzero: nothing registered)
//   suite switch-hang               " -install" and " -remove" never end
//   suite start-pending <seconds>   START_PENDING this long at start, check point growing each
//   second suite stop-pending <seconds>    STOP_PENDING this long after a stop request, likewise
//   suite stop-stuck                STOP_PENDING for ever after a stop request
//   suite stop-refuse <error>       a stop request is refused with this error (0: accepted)
//   suite wait-hint <ms>            the wait hint of the pending reports (default 3000)
//   suite exit-after-start          stops again right after reporting RUNNING
//   suite stop-dialog [<seconds>]   a "#32770" dialog "Microsoft Windows" shows that long into a
//                                   stop (default 0)
#pragma once

#include "scenario/Verbs.h"

namespace scenario {

void add_suite_verbs(Verbs &verbs);

}  // namespace scenario
