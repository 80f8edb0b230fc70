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
#define SMTO_NORMAL 0x0000
#define SMTO_BLOCK 0x0001
#define SMTO_ABORTIFHUNG 0x0002
#define SMTO_NOTIMEOUTIFNOTHUNG 0x0008
#define SMTO_ERRORONEXIT 0x0020

typedef DWORD_PTR *PDWORD_PTR;

// Sends a message to one top-level window, or to every one with HWND_BROADCAST, traced as
// `broadcast` {msg, wParam, devicetype, unitmask, flags, timeout}. A window that answers gets
// the message at once (traced as window.message) and answers 0; a hung one gets nothing and
// costs the time-out, or nothing with SMTO_ABORTIFHUNG once it has been hung for 5 seconds,
// as the system then takes it for not responding. Only WM_DEVICECHANGE is simulated: its
// DEV_BROADCAST_VOLUME record is copied for each window. A broadcast returns 1 (and sets
// *lpdwResult to 1); a single window that does not answer in time gives 0 with ERROR_TIMEOUT.
LRESULT WINAPI SendMessageTimeoutA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam, UINT fuFlags,
                                   UINT uTimeout, PDWORD_PTR lpdwResult);

// Posts a message to a top-level window (or, with HWND_BROADCAST, to all of them). A window
// that answers takes it at once (traced as window.message); WM_CLOSE closes it, as the default
// handling of a dialog or window does. A hung window takes nothing.
BOOL WINAPI PostMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
