// The audio hardware's verbs (winsim/Audio.h):
//   audio none                            no default audio output
//   audio endpoint "<friendly name>"      a default output with this friendly name
//   audio endpoint-unnamed                a default output whose friendly name is not set
//   audio endpoint-nonstring              a default output whose name property holds a number
//   beepdev present|absent|refuse         the beep device plays tones, is missing, or refuses
//                                         every write
#pragma once

#include "scenario/Verbs.h"

namespace scenario {

void add_audio_verbs(Verbs &verbs);

}  // namespace scenario
