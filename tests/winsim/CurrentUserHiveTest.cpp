// HKEY_CURRENT_USER is the hive of the user a process runs as: the logged-on user's for the
// programs of the user's session, the system account's (HKU\.DEFAULT) for a service and the
// processes it starts.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/win32.h"
#include "winsim/Registry.h"
#include "winsim/Services.h"
#include "winsim/World.h"

namespace {

using Record = winsim::Trace::Record;

void WriteMarker(const char *who) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Probe", 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return;
  RegSetValueExA(key, who, 0, REG_SZ, reinterpret_cast<const BYTE *>(who),
                 static_cast<DWORD>(std::strlen(who) + 1));
  RegCloseKey(key);
}

int ChildMain() {
  WriteMarker("child");
  return 0;
}

SERVICE_STATUS_HANDLE g_status = nullptr;

DWORD WINAPI Handler(DWORD, DWORD, LPVOID, LPVOID) {
  return NO_ERROR;
}

void WINAPI ServiceMain(DWORD, LPSTR *) {
  g_status = RegisterServiceCtrlHandlerExA("Probe", Handler, nullptr);
  WriteMarker("service");
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  char line[] = "C:\\child.exe";
  if (CreateProcessA(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    WaitForSingleObject(pi.hProcess, INFINITE);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
  SERVICE_STATUS status{SERVICE_WIN32_OWN_PROCESS, SERVICE_STOPPED};
  SetServiceStatus(g_status, &status);
}

int ServiceProgramMain() {
  SERVICE_TABLE_ENTRYA table[] = {{const_cast<LPSTR>("Probe"), ServiceMain}, {nullptr, nullptr}};
  StartServiceCtrlDispatcherA(table);
  return 0;
}

TEST(CurrentUserHive, AServiceAndWhatItStartsWriteTheSystemAccountsHive) {
  winsim::World world;
  world.add_program("probe.exe", ServiceProgramMain);
  world.place_program("C:\\probe.exe", "probe.exe");
  world.add_program("child.exe", ChildMain);
  world.place_program("C:\\child.exe", "child.exe");
  world.services().install("Probe", "Probe", "C:\\probe.exe");

  WriteMarker("user");
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE service = OpenServiceA(manager, "Probe", SERVICE_START);
  ASSERT_TRUE(StartServiceA(service, 0, nullptr));
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
  world.run_for(1000);

  EXPECT_EQ(world.trace().select("reg.set", {"key", "name"}),
            (std::vector<Record>{{{"key", "HKCU\\Software\\Probe"}, {"name", "user"}},
                                 {{"key", "HKU\\.DEFAULT\\Software\\Probe"}, {"name", "service"}},
                                 {{"key", "HKU\\.DEFAULT\\Software\\Probe"}, {"name", "child"}}}));
  EXPECT_EQ(world.registry().value_names("HKU\\.DEFAULT\\Software\\Probe"),
            (std::vector<std::string>{"service", "child"}));
}

TEST(CurrentUserHive, TheSystemAccountsHiveIsUnderHkeyUsersAndCannotBeDeleted) {
  winsim::World world;
  world.registry().set_dword("HKU\\.DEFAULT\\Software\\Probe", "Seen", 1);
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_USERS, ".DEFAULT\\Software\\Probe", 0, KEY_READ, &key),
            ERROR_SUCCESS);
  RegCloseKey(key);
  world.registry().delete_tree("HKU\\.DEFAULT\\Software");
  EXPECT_EQ(RegDeleteKeyA(HKEY_USERS, ".DEFAULT"), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(world.registry().delete_tree("HKU\\.DEFAULT"));
  EXPECT_TRUE(world.registry().key_exists("HKU\\.DEFAULT"));
}

}  // namespace
