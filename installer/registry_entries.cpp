#include "installer/registry_entries.h"

#include <cstring>

#include "platform/HandleGuard.h"

namespace {

constexpr WCHAR kDriverKey[] = TEXT("SYSTEM\\CurrentControlSet\\Services\\truecrypt");
constexpr WCHAR kRunKey[] = TEXT("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run");
constexpr WCHAR kStartupValue[] = TEXT("qora_init");
constexpr WCHAR kVersionKey[] = TEXT("Software\\QORA");
constexpr WCHAR kVersionValue[] = TEXT("Version");
constexpr WCHAR kVersion[] = TEXT("1.06.00");
// The disk drive device class.
constexpr WCHAR kDiskClassKey[] =
    TEXT("SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E967-E325-11CE-BFC1-08002BE10318}");
constexpr WCHAR kLowerFilters[] = TEXT("LowerFilters");
// The predecessor's filter name with its terminator: a longer name that starts the same way is
// another filter.
constexpr WCHAR kPredecessorFilter[] = TEXT("tillgate");
constexpr DWORD kFilterBufferBytes = 512;

// Text data is stored with its terminator.
DWORD TextBytes(LPCWSTR pszText) {
  return static_cast<DWORD>((lstrlenW(pszText) + 1) * sizeof(WCHAR));
}

LSTATUS CreateForWriting(HKEY hRoot, LPCWSTR pszKey, HKEY *phKey) {
  return RegCreateKeyExW(hRoot, pszKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr,
                         phKey, nullptr);
}

// Creates or opens the key, sets the one value and closes the key; a failure becomes the last
// error.
bool WriteValue(HKEY hRoot, LPCWSTR pszKey, LPCWSTR pszName, DWORD dwType, const void *pData,
                DWORD cbData) {
  RegKey hKey;
  LSTATUS lStatus = CreateForWriting(hRoot, pszKey, hKey.Receive());
  if (lStatus == ERROR_SUCCESS) {
    lStatus = RegSetValueExW(hKey, pszName, 0, dwType, static_cast<const BYTE *>(pData), cbData);
    hKey.Reset();
  }
  if (lStatus != ERROR_SUCCESS) SetLastError(static_cast<DWORD>(lStatus));
  return lStatus == ERROR_SUCCESS;
}

bool WriteText(HKEY hRoot, LPCWSTR pszKey, LPCWSTR pszName, DWORD dwType, LPCWSTR pszText) {
  return WriteValue(hRoot, pszKey, pszName, dwType, pszText, TextBytes(pszText));
}

}  // namespace

LPCWSTR DriverImagePath(InstallerVariant variant, LPCWSTR pszInstalledDriverPath) {
  return variant == InstallerVariant::Legacy ? kLegacyDriverImagePath : pszInstalledDriverPath;
}

bool SetDriverDword(LPCWSTR pszValueName, DWORD dwValue) {
  return WriteValue(HKEY_LOCAL_MACHINE, kDriverKey, pszValueName, REG_DWORD, &dwValue,
                    sizeof dwValue);
}

void RegisterDriverService(LPCWSTR pszDriverImagePath, LPCWSTR pszStartupProgramPath) {
  SetDriverDword(TEXT("Type"), SERVICE_KERNEL_DRIVER);
  SetDriverDword(TEXT("Start"), SERVICE_DEMAND_START);
  WriteText(HKEY_LOCAL_MACHINE, kDriverKey, TEXT("ImagePath"), REG_EXPAND_SZ, pszDriverImagePath);
  SetDriverDword(TEXT("ErrorControl"), SERVICE_ERROR_NORMAL);
  WriteText(HKEY_LOCAL_MACHINE, kRunKey, kStartupValue, REG_SZ, pszStartupProgramPath);
}

void RemoveDriverRegistration() {
  // Removes the key only when it has no subkeys; a key left behind is no failure.
  RegDeleteKeyW(HKEY_LOCAL_MACHINE, kDriverKey);
  RegKey hKey;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_SET_VALUE, hKey.Receive()) == ERROR_SUCCESS)
    RegDeleteValueW(hKey, kStartupValue);
}

bool WriteVersionValue() {
  return WriteText(HKEY_CURRENT_USER, kVersionKey, kVersionValue, REG_SZ, kVersion);
}

bool DeleteVersionKey() {
  RegKey hKey;
  LSTATUS lStatus = CreateForWriting(HKEY_CURRENT_USER, kVersionKey, hKey.Receive());
  if (lStatus != ERROR_SUCCESS) {
    SetLastError(static_cast<DWORD>(lStatus));
    return false;
  }
  RegDeleteValueW(hKey, kVersionValue);
  // Closed before the key is deleted: a key still open is only marked for deletion.
  hKey.Reset();
  RegDeleteKeyW(HKEY_CURRENT_USER, kVersionKey);
  return true;
}

bool PredecessorPresent() {
  RegKey hKey;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kDiskClassKey, 0, KEY_READ, hKey.Receive()) !=
      ERROR_SUCCESS)
    return false;
  // Zero-filled, so data shorter than the name compares with zeros.
  WCHAR szFilters[kFilterBufferBytes / sizeof(WCHAR)] = {};
  DWORD cbFilters = kFilterBufferBytes;
  LSTATUS lStatus = RegQueryValueExW(hKey, kLowerFilters, nullptr, nullptr,
                                     reinterpret_cast<BYTE *>(szFilters), &cbFilters);
  hKey.Reset();
  if (lStatus != ERROR_SUCCESS) return false;
  return std::memcmp(szFilters, kPredecessorFilter, sizeof kPredecessorFilter) == 0;
}
