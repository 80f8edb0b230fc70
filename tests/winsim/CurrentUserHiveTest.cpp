// HKEY_CURRENT_USER is the hive of the user a process runs as: the logged-on user's for the
// programs of the user's session, the system account's (HKU\.DEFAULT) for a service.
#include <gtest/gtest.h>

#include "platform/win32.h"
#include "winsim/Registry.h"
#include "winsim/Services.h"
#include "winsim/World.h"

namespace {

void WriteMarker(const char *who) {
  HKEY key = nullptr;
  RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Probe", 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                  nullptr);
  RegSetValueExA(key, who, 0, REG_SZ, reinterpret_cast<const BYTE *>("x"), 2);
  RegCloseKey(key);
}

void WINAPI ServiceMain(DWORD, LPSTR *) {
  SERVICE_STATUS_HANDLE status_handle = RegisterServiceCtrlHandlerExA(
      "Probe", [](DWORD, DWORD, LPVOID, LPVOID) -> DWORD { return NO_ERROR; }, nullptr);
  WriteMarker("service");
  SERVICE_STATUS status{SERVICE_WIN32_OWN_PROCESS, SERVICE_STOPPED};
  SetServiceStatus(status_handle, &status);
}

int ServiceProgramMain() {
  SERVICE_TABLE_ENTRYA table[] = {{const_cast<LPSTR>("Probe"), ServiceMain}, {nullptr, nullptr}};
  StartServiceCtrlDispatcherA(table);
  return 0;
}

TEST(CurrentUserHive, AServiceWritesTheSystemAccountsHiveWhichCannotBeDeleted) {
  winsim::World world;
  world.add_program("probe.exe", ServiceProgramMain);
  world.place_program("C:\\probe.exe", "probe.exe");
  world.services().install("Probe", "Probe", "C:\\probe.exe");
  WriteMarker("user");
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE service = OpenServiceA(manager, "Probe", SERVICE_START);
  ASSERT_TRUE(StartServiceA(service, 0, nullptr));
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
  world.run_for(1000);
  EXPECT_EQ(world.trace().select("reg.set", {"key", "name"}),
            (std::vector<winsim::Trace::Record>{
                {{"key", "HKCU\\Software\\Probe"}, {"name", "user"}},
                {{"key", "HKU\\.DEFAULT\\Software\\Probe"}, {"name", "service"}}}));

  world.registry().delete_tree("HKU\\.DEFAULT\\Software");
  EXPECT_EQ(RegDeleteKeyA(HKEY_USERS, ".DEFAULT"), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(world.registry().delete_tree("HKU\\.DEFAULT"));
  EXPECT_TRUE(world.registry().key_exists("HKU\\.DEFAULT"));
}

}  // namespace
