// The encryption suite's verbs (the proxy library's stand-in, standins/EncryptionSuite.h):
//   kelpie init ok|fail                   whether kelp_Init succeeds (default ok)
//   kelpie volume <drive> <field84> <field88>
//                                         from now on the list holds this record; the same
//                                         drive again updates it
//   kelpie remove <drive>                 the volume leaves the list
//   kelpie list fail                      the next kelp_GetVolumeList call fails
#pragma once

#include "scenario/Verbs.h"

namespace scenario {

void add_kelpie_verbs(Verbs &verbs);

}  // namespace scenario
