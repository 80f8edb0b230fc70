// The installer's registry entries: the service key of the TrueCrypt driver, the start-up
// entry of ShellBeacon, the suite's version value, and the predecessor test on the disk class
// filters. Each key is created or opened for one value and closed right after it. Nothing here
// prints; a failed write leaves its Windows error as the thread's last error.
#pragma once

#include "platform/win32.h"

// The driver's image path in the legacy variant of the installer, which does not point the
// driver key at the installed copy.
constexpr WCHAR kLegacyDriverImagePath[] = TEXT("System32\\drivers\\truecrypt.sys");

enum class InstallerVariant { Standard, Legacy };

// The "ImagePath" the variant registers: the installed driver's path, or the legacy path.
LPCWSTR DriverImagePath(InstallerVariant variant, LPCWSTR pszInstalledDriverPath);

// The driver's "Type", "Start", "ImagePath" and "ErrorControl" values, then the Run value
// "qora_init" with the start-up program. A failed write does not stop the later ones.
void RegisterDriverService(LPCWSTR pszDriverImagePath, LPCWSTR pszStartupProgramPath);

// One REG_DWORD value of the driver key; false when the key or the value could not be written.
bool SetDriverDword(LPCWSTR pszValueName, DWORD dwValue);

// Deletes the driver key (only when it has no subkeys) and the Run value "qora_init".
void RemoveDriverRegistration();

// "Version" = "1.06.00" under the current user's "Software\QORA".
bool WriteVersionValue();

// Deletes "Version" and then the key "Software\QORA" of the current user; false only when the
// key could not be created or opened.
bool DeleteVersionKey();

// Whether the first disk class lower filter is "tillgate", the filter driver of the
// predecessor product; every failure to read counts as no predecessor.
bool PredecessorPresent();
