// The one platform header of the programs. On Windows it is the SDK; everywhere else it is
// winsim, the simulated Windows the programs are tested against. Program code includes this
// header and nothing platform-specific besides.
#pragma once

#if defined(_WIN32)
// windows.h first: the other SDK headers rely on it.
#include <windows.h>

#include <dbt.h>
#include <intrin.h>
#include <mmdeviceapi.h>
#include <mmsystem.h>
#include <ntddscsi.h>
#include <objbase.h>
#include <process.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <winioctl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#else
#include "winsim/win32.h"
#endif
