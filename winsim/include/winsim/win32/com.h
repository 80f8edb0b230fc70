// The COM subset the alarm uses: initialisation, the audio endpoint enumerator, the property store.
#pragma once

#include "winsim/win32/types.h"
