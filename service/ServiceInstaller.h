// Installing and removing the service, with the console error line the two print.
#pragma once

#include "platform/win32.h"

// What the entry point hands to the install and remove operations: three fixed buffers,
// each a zero-terminated narrow string.
struct ServiceInstallInfo {
  char szServiceName[256];
  char szDisplayName[256];
  char szDescription[256];
};

// Fills the record with bounded copies; an empty description leaves that buffer all zero.
void FillServiceInstallInfo(ServiceInstallInfo &info, const char *pszServiceName,
                            const char *pszDisplayName, const char *pszDescription);

// Registers this program as an own-process, auto-start service. Failures are printed.
void InstallService(const ServiceInstallInfo &info);
// Deletes the service's registration (a running service goes when it has stopped).
void RemoveService(const char *pszServiceName);
// Prints "<api> failed: <system text>" or "<api> failed: Unknown error <hex>"; returns dwError.
DWORD PrintApiError(const char *pszApiName, DWORD dwError);
