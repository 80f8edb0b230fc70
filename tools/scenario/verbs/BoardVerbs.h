// The board's verbs (the board library's stand-in, standins/Board.h):
//   board init <r1>,<r2>,...              results of successive BRK_Initialize calls; the last
//                                         repeats
//   board fan <rpm> [result <code>]       the CPU fan reading and its result code (default 0)
//   board cputemp <celsius> [result <code>]
//   board systemp <celsius> [result <code>]
#pragma once

#include "scenario/Verbs.h"

namespace scenario {

void add_board_verbs(Verbs &verbs);

}  // namespace scenario
