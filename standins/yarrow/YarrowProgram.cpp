// The suite service program's stand-in, written once against Win32 for both forms.
#include <cstring>
#include <string>

#include "yarrow/YarrowSettings.h"

namespace standin {
namespace {

SERVICE_STATUS_HANDLE g_hStatus = nullptr;
HANDLE g_hStopEvent = nullptr;

bool IsPending(DWORD dwState) {
  return dwState == SERVICE_START_PENDING || dwState == SERVICE_STOP_PENDING;
}

void Report(DWORD dwState, DWORD dwCheckPoint = 0) {
  SERVICE_STATUS status{};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = dwState;
  status.dwControlsAccepted =
      dwState == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
  status.dwCheckPoint = IsPending(dwState) ? dwCheckPoint : 0;
  status.dwWaitHint = IsPending(dwState) ? ReadYarrowSettings().wait_hint_ms : 0;
  SetServiceStatus(g_hStatus, &status);
}

DWORD WINAPI Handler(DWORD dwControl, DWORD, LPVOID, LPVOID) {
  if (dwControl == SERVICE_CONTROL_INTERROGATE) return NO_ERROR;
  if (dwControl != SERVICE_CONTROL_STOP && dwControl != SERVICE_CONTROL_SHUTDOWN)
    return ERROR_CALL_NOT_IMPLEMENTED;
  if (DWORD dwRefusal = ReadYarrowSettings().stop_refuse) return dwRefusal;
  Report(SERVICE_STOP_PENDING, 1);
  SetEvent(g_hStopEvent);
  return NO_ERROR;
}

DWORD WINAPI DialogThread(LPVOID) {
  Sleep(ReadYarrowSettings().stop_dialog_s.value_or(0) * 1000);
  ShowStopDialog();
  return 0;
}

// Counts the check point up once a second while `dwState` lasts `dwSeconds`, starting at 2
// when the first report (check point 1) has been made already.
void Pending(DWORD dwState, DWORD dwSeconds, DWORD dwFirstCheckPoint) {
  for (DWORD dwCheckPoint = dwFirstCheckPoint; dwCheckPoint <= dwSeconds; ++dwCheckPoint) {
    if (dwCheckPoint > 1) Sleep(1000);
    Report(dwState, dwCheckPoint);
  }
  if (dwSeconds > 0) Sleep(1000);
}

void WINAPI ServiceMain(DWORD, LPSTR *) {
  g_hStatus = RegisterServiceCtrlHandlerExA(kYarrowServiceName, Handler, nullptr);
  if (g_hStatus == nullptr) return;
  Pending(SERVICE_START_PENDING, ReadYarrowSettings().start_pending_s, 1);
  Report(SERVICE_RUNNING);
  if (ReadYarrowSettings().exit_after_start) {
    Report(SERVICE_STOPPED);
    return;
  }

  WaitForSingleObject(g_hStopEvent, INFINITE);
  const YarrowSettings settings = ReadYarrowSettings();
  if (settings.stop_dialog_s) {
    HANDLE hThread = CreateThread(nullptr, 0, DialogThread, nullptr, 0, nullptr);
    if (hThread != nullptr) CloseHandle(hThread);
  }
  if (settings.stop_stuck) Sleep(INFINITE);
  Pending(SERVICE_STOP_PENDING, settings.stop_pending_s, 2);
  Report(SERVICE_STOPPED);
}

// Whether a word of the command line is `pszSwitch`.
bool HasSwitch(const char *pszLine, const char *pszSwitch) {
  size_t cch = std::strlen(pszSwitch);
  for (const char *p = std::strstr(pszLine, pszSwitch); p != nullptr;
       p = std::strstr(p + 1, pszSwitch)) {
    bool bStarts = p == pszLine || p[-1] == ' ' || p[-1] == '\t';
    bool bEnds = p[cch] == '\0' || p[cch] == ' ' || p[cch] == '\t';
    if (bStarts && bEnds) return true;
  }
  return false;
}

int Install() {
  if (DWORD dwExit = ReadYarrowSettings().install_exit) return static_cast<int>(dwExit);
  char szPath[MAX_PATH + 2] = "\"";
  DWORD cch = GetModuleFileNameA(nullptr, szPath + 1, MAX_PATH);
  if (cch == 0 || cch >= MAX_PATH) return 1;
  std::strcat(szPath, "\"");
  SC_HANDLE hManager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE);
  if (hManager == nullptr) return static_cast<int>(GetLastError());
  SC_HANDLE hService =
      CreateServiceA(hManager, kYarrowServiceName, kYarrowServiceName, SERVICE_ALL_ACCESS,
                     SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, szPath,
                     nullptr, nullptr, nullptr, nullptr, nullptr);
  DWORD dwError = hService != nullptr ? 0 : GetLastError();
  if (hService != nullptr) CloseServiceHandle(hService);
  CloseServiceHandle(hManager);
  return dwError == ERROR_SERVICE_EXISTS ? 0 : static_cast<int>(dwError);
}

int Remove() {
  SC_HANDLE hManager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  if (hManager == nullptr) return static_cast<int>(GetLastError());
  SC_HANDLE hService = OpenServiceA(hManager, kYarrowServiceName, DELETE);
  DWORD dwError = 0;
  if (hService == nullptr || !DeleteService(hService)) dwError = GetLastError();
  if (hService != nullptr) CloseServiceHandle(hService);
  CloseServiceHandle(hManager);
  return static_cast<int>(dwError);
}

}  // namespace

int YarrowMain() {
  g_hStatus = nullptr;
  g_hStopEvent = nullptr;
  const char *pszLine = GetCommandLineA();
  bool bInstall = HasSwitch(pszLine, "-install");
  bool bRemove = HasSwitch(pszLine, "-remove");
  if ((bInstall || bRemove) && ReadYarrowSettings().switch_hang) Sleep(INFINITE);
  if (bInstall) return Install();
  if (bRemove) return Remove();

  g_hStopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (g_hStopEvent == nullptr) return static_cast<int>(GetLastError());
  SERVICE_TABLE_ENTRYA table[] = {
      {const_cast<LPSTR>(kYarrowServiceName), ServiceMain},
      {nullptr, nullptr},
  };
  int nExit = StartServiceCtrlDispatcherA(table) ? 0 : static_cast<int>(GetLastError());
  CloseHandle(g_hStopEvent);
  return nExit;
}

}  // namespace standin
