#include "service/QuilletMain.h"

#include <string>

#include "monitor/CQuilletCtrl.h"
#include "platform/HandleGuard.h"
#include "service/AppFramework.h"
#include "service/ServiceIdentity.h"
#include "service/ServiceInstaller.h"

namespace {

// The part of a command line after the program's own path, by the Windows rules: a quoted
// path ends at its closing quote, an unquoted one at the first blank. The switches are
// looked for only there, so a program installed under a folder whose name contains
// "-remove" does not remove its own service when the manager starts it.
const char *SkipProgramPath(const char *pszLine) {
  const char *p = pszLine;
  if (*p == '"') {
    ++p;
    while (*p != '\0' && *p != '"') p = CharNextA(p);
    if (*p == '"') ++p;
  } else {
    while (*p != '\0' && *p != ' ' && *p != '\t') p = CharNextA(p);
  }
  return p;
}

bool IsServiceInstalled(const char *pszServiceName) {
  ScHandle hManager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!hManager.Holds()) return false;
  ScHandle hService(OpenServiceA(hManager, pszServiceName, SERVICE_QUERY_CONFIG));
  return hService.Holds();
}

void RunAsService() {
  CQuilletCtrl service;
  SERVICE_TABLE_ENTRYA table[] = {
      {const_cast<LPSTR>(quillet::kDispatchName), SvsBase::ServiceMainEntry},
      {nullptr, nullptr},
  };
  // Returns when the service has stopped, or at once when the program was not started by
  // the service control manager.
  StartServiceCtrlDispatcherA(table);
}

}  // namespace

int QuilletMain() {
  if (!InitApplicationFramework(GetModuleHandleA(nullptr), nullptr, GetCommandLineA(), 0)) return 1;

  // The switches may be written in any case and stand anywhere among the arguments.
  std::string strLine = GetCommandLineA();
  CharLowerBuffA(strLine.data(), static_cast<DWORD>(lstrlenA(strLine.c_str())));
  const char *pszArguments = SkipProgramPath(strLine.c_str());

  ServiceInstallInfo info;
  if (StrStrA(pszArguments, "-install") != nullptr) {
    FillServiceInstallInfo(info, quillet::kServiceName, quillet::kDisplayName, "");
    // An installed service is left as it is, silently.
    if (!IsServiceInstalled(info.szServiceName)) InstallService(info);
    return 0;
  }
  if (StrStrA(pszArguments, "-remove") != nullptr) {
    FillServiceInstallInfo(info, quillet::kServiceName, quillet::kDisplayName, "");
    RemoveService(info.szServiceName);
    return 0;
  }
  RunAsService();
  return 0;
}
