// A small client of the service control manager for the end-to-end runs under Wine: prints a
// service's status in one stable line, sends it a control, or waits for a state.
//
//   svcprobe <service> query
//   svcprobe <service> control <code>
//   svcprobe <service> wait <state> <timeout-ms>
//   svcprobe <service> config
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void PrintStatus(const SERVICE_STATUS &status) {
  std::printf("state=%lu controls=0x%lx checkpoint=%lu waithint=%lu exitcode=%lu\n",
              static_cast<unsigned long>(status.dwCurrentState),
              static_cast<unsigned long>(status.dwControlsAccepted),
              static_cast<unsigned long>(status.dwCheckPoint),
              static_cast<unsigned long>(status.dwWaitHint),
              static_cast<unsigned long>(status.dwWin32ExitCode));
}

int Fail(const char *what) {
  std::printf("%s failed: %lu\n", what, static_cast<unsigned long>(GetLastError()));
  return 1;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 3) {
    std::printf("usage: svcprobe <service> query|config|control <code>|wait <state> <ms>\n");
    return 2;
  }
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  if (manager == nullptr) return Fail("OpenSCManager");
  SC_HANDLE service = OpenServiceA(manager, argv[1], SERVICE_ALL_ACCESS);
  if (service == nullptr) return Fail("OpenService");
  int rc = 0;
  SERVICE_STATUS status{};
  if (std::strcmp(argv[2], "query") == 0) {
    if (!QueryServiceStatus(service, &status)) return Fail("QueryServiceStatus");
    PrintStatus(status);
  } else if (std::strcmp(argv[2], "control") == 0 && argc > 3) {
    DWORD code = static_cast<DWORD>(std::strtoul(argv[3], nullptr, 0));
    if (!ControlService(service, code, &status)) return Fail("ControlService");
    PrintStatus(status);
  } else if (std::strcmp(argv[2], "wait") == 0 && argc > 4) {
    DWORD want = static_cast<DWORD>(std::strtoul(argv[3], nullptr, 0));
    DWORD limit = static_cast<DWORD>(std::strtoul(argv[4], nullptr, 0));
    DWORD waited = 0;
    for (;;) {
      if (!QueryServiceStatus(service, &status)) return Fail("QueryServiceStatus");
      if (status.dwCurrentState == want || waited >= limit) break;
      Sleep(100);
      waited += 100;
    }
    PrintStatus(status);
    rc = status.dwCurrentState == want ? 0 : 1;
  } else if (std::strcmp(argv[2], "config") == 0) {
    DWORD needed = 0;
    QueryServiceConfigA(service, nullptr, 0, &needed);
    auto *config = static_cast<QUERY_SERVICE_CONFIGA *>(std::malloc(needed));
    if (config == nullptr || !QueryServiceConfigA(service, config, needed, &needed))
      return Fail("QueryServiceConfig");
    std::printf("type=0x%lx start=%lu errorcontrol=%lu path=%s display=%s\n",
                static_cast<unsigned long>(config->dwServiceType),
                static_cast<unsigned long>(config->dwStartType),
                static_cast<unsigned long>(config->dwErrorControl), config->lpBinaryPathName,
                config->lpDisplayName);
    std::free(config);
  } else {
    std::printf("unknown command\n");
    rc = 2;
  }
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
  return rc;
}
