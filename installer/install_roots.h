// The two roots of the installer's paths: the media root (the folder the installer runs from)
// and the system drive (the Windows folder's drive, as "C:").
#pragma once

#include "platform/win32.h"

// The installer's own full path cut just before its last backslash; false when it holds none.
bool GetMediaRoot(WCHAR (&szRoot)[MAX_PATH]);

// The Windows folder's path cut just before its last backslash: 0, kExitNoWindowsFolder when
// the path cannot be read, kExitNoBackslash when it holds no backslash.
int GetSystemDrive(WCHAR (&szDrive)[MAX_PATH]);

// The same, printing "get windows directory fail\n" or "directory not correct\n" on failure.
int GetSystemDriveReported(WCHAR (&szDrive)[MAX_PATH]);
