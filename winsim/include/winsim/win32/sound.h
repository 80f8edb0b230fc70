// Sound output: PlaySoundA and Beep.
#pragma once

#include "winsim/win32/types.h"
