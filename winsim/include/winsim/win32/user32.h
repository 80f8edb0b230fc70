// Windows and messages (user32): the top-level windows of the desktop (winsim/Desktop.h) as the
// programs reach them. A window handle's value is the handle Desktop gave the window.
#pragma once

#include "winsim/win32/types.h"

#define WM_CLOSE 0x0010
#define WM_DEVICECHANGE 0x0219

#define HWND_BROADCAST ((HWND)0xffff)

// ---- Finding windows ------------------------------------------------------------------------

// The first top-level window, oldest first, whose class and title equal the given ones without
// regard to case; a null class or title matches any. Null when there is none (the last error
// is left as it was).
HWND WINAPI FindWindowW(LPCWSTR lpClassName, LPCWSTR lpWindowName);

// ---- Sending and posting messages ------------------------------------------------------------

// Posts a message to a top-level window (or, with HWND_BROADCAST, to all of them). A window
// that answers takes it at once (traced as window.message); WM_CLOSE closes it, as the default
// handling of a dialog or window does. A hung window takes nothing.
BOOL WINAPI PostMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
