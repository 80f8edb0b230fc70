#include "service/ServiceInstaller.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/HandleGuard.h"

void FillServiceInstallInfo(ServiceInstallInfo &info, const char *pszServiceName,
                            const char *pszDisplayName, const char *pszDescription) {
  std::memset(&info, 0, sizeof info);
  std::snprintf(info.szServiceName, sizeof info.szServiceName, "%s", pszServiceName);
  std::snprintf(info.szDisplayName, sizeof info.szDisplayName, "%s", pszDisplayName);
  std::snprintf(info.szDescription, sizeof info.szDescription, "%s", pszDescription);
}

DWORD PrintApiError(const char *pszApiName, DWORD dwError) {
  char *pszSystemText = nullptr;
  DWORD cch = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr,
                             dwError, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                             reinterpret_cast<LPSTR>(&pszSystemText), 0, nullptr);
  // The system's text ends in its own line break, so that line is followed by an empty one.
  if (cch != 0 && pszSystemText != nullptr)
    printf("%s failed: %s\n", pszApiName, pszSystemText);
  else
    printf("%s failed: Unknown error %x\n", pszApiName, static_cast<unsigned>(dwError));
  if (pszSystemText != nullptr) LocalFree(pszSystemText);
  return dwError;
}

namespace {

// The program's own full path, quoted, as the service's command line. Without quotes the
// service control manager would read a path with blanks ("C:\Program Files\...") as a
// program name followed by arguments and could start "C:\Program.exe" instead. False when
// the path cannot be obtained whole.
bool GetQuotedModulePath(std::string &strPath) {
  char szPath[MAX_PATH];
  DWORD cch = GetModuleFileNameA(nullptr, szPath, MAX_PATH);
  if (cch == 0 || cch >= MAX_PATH) return false;
  strPath = std::string("\"") + szPath + "\"";
  return true;
}

}  // namespace

void InstallService(const ServiceInstallInfo &info) {
  ScHandle hManager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
  if (!hManager.Holds()) {
    PrintApiError("OpenSCManager", GetLastError());
    return;
  }
  std::string strPath;
  if (!GetQuotedModulePath(strPath)) {
    DWORD dwError = GetLastError();
    PrintApiError("GetModuleFileName", dwError != 0 ? dwError : ERROR_INSUFFICIENT_BUFFER);
    return;
  }
  ScHandle hService(CreateServiceA(hManager, info.szServiceName, info.szDisplayName,
                                   SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                   SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, strPath.c_str(),
                                   nullptr, nullptr, nullptr, nullptr, nullptr));
  if (!hService.Holds()) {
    PrintApiError("CreateService", GetLastError());
    return;
  }
  if (info.szDescription[0] != '\0') {
    SERVICE_DESCRIPTIONA description = {const_cast<LPSTR>(info.szDescription)};
    ChangeServiceConfig2A(hService, SERVICE_CONFIG_DESCRIPTION, &description);
  }
}

void RemoveService(const char *pszServiceName) {
  ScHandle hManager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!hManager.Holds()) {
    PrintApiError("OpenSCManager", GetLastError());
    return;
  }
  ScHandle hService(OpenServiceA(hManager, pszServiceName, DELETE));
  if (!hService.Holds()) {
    PrintApiError("OpenService", GetLastError());
    return;
  }
  // A running service is not stopped first: the manager removes it once it has stopped.
  if (!DeleteService(hService)) PrintApiError("DeleteService", GetLastError());
}
