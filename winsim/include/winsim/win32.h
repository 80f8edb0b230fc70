// The Win32 face of winsim: the types, constants and functions of the Windows interface that
// the programs use, with Windows semantics, implemented against the simulated world.
#pragma once

#include "winsim/win32/types.h"

#include "winsim/win32/com.h"
#include "winsim/win32/crt.h"
#include "winsim/win32/dbt.h"
#include "winsim/win32/errors.h"
#include "winsim/win32/eventlog.h"
#include "winsim/win32/files.h"
#include "winsim/win32/ioctl.h"
#include "winsim/win32/process.h"
#include "winsim/win32/registry.h"
#include "winsim/win32/service.h"
#include "winsim/win32/shell32.h"
#include "winsim/win32/sound.h"
#include "winsim/win32/sync.h"
#include "winsim/win32/sysinfo.h"
#include "winsim/win32/text.h"
#include "winsim/win32/user32.h"
