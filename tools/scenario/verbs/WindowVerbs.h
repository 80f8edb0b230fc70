// The desktop's verbs (winsim/Desktop.h):
//   window <class> "<title>" [hung]       a top-level window of a program outside the
//                                         simulation appears; "hung" never answers messages
#pragma once

#include "scenario/Verbs.h"

namespace scenario {

void add_window_verbs(Verbs &verbs);

}  // namespace scenario
