// The system's own verbs (winsim/SystemVersion.h):
//   os version <major>.<minor>            the version of Windows GetVersionExA reports
//                                         (default 6.1): 5.2, 6.0, 6.1, 6.2, 6.3 or 10.0
#pragma once

#include "scenario/Verbs.h"

namespace scenario {

void add_os_verbs(Verbs &verbs);

}  // namespace scenario
