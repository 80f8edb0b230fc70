// Windows and messages (user32): the top-level windows of the desktop (winsim/Desktop.h) as the
// programs reach them. A window handle's value is the handle Desktop gave the window.
#pragma once

#include "winsim/win32/types.h"

#define WM_CLOSE 0x0010
#define WM_DEVICECHANGE 0x0219

#define HWND_BROADCAST ((HWND)0xffff)

// ---- Finding windows ------------------------------------------------------------------------

// ---- Sending and posting messages ------------------------------------------------------------
