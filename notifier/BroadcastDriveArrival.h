// Announces that a volume has arrived under a drive number: to the shell (drive letters only)
// and, by a WM_DEVICECHANGE broadcast, to every top-level window.
#pragma once

#include "platform/win32.h"

// `nDrive` is 0 to 31 (0 is A:); `dwMajorVersion` is the major version of Windows, 0 when it
// is not known. Before version 6 the broadcast is sent twice with longer time-outs.
void BroadcastDriveArrival(int nDrive, DWORD dwMajorVersion);
