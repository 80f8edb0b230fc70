// System information (kernel32): the version of Windows as GetVersionExA reports it.
#pragma once

#include "winsim/win32/types.h"

#define VER_PLATFORM_WIN32_NT 2
#define VER_NT_WORKSTATION 0x0000001

typedef struct _OSVERSIONINFOA {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  CHAR szCSDVersion[128];
} OSVERSIONINFOA, *POSVERSIONINFOA, *LPOSVERSIONINFOA;
static_assert(sizeof(OSVERSIONINFOA) == 148, "OSVERSIONINFOA is a 148-byte record");

typedef struct _OSVERSIONINFOEXA {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  CHAR szCSDVersion[128];
  WORD wServicePackMajor;
  WORD wServicePackMinor;
  WORD wSuiteMask;
  BYTE wProductType;
  BYTE wReserved;
} OSVERSIONINFOEXA, *POSVERSIONINFOEXA, *LPOSVERSIONINFOEXA;
static_assert(sizeof(OSVERSIONINFOEXA) == 156, "OSVERSIONINFOEXA is a 156-byte record");

// Fills the record (OSVERSIONINFOA, or OSVERSIONINFOEXA by its size) with the world's version
// (winsim/SystemVersion.h); any other dwOSVersionInfoSize fails with ERROR_INSUFFICIENT_BUFFER
// and leaves the record as it was.
BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA lpVersionInformation);
