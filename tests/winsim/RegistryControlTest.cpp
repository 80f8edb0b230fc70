// The registry's control face: keys that refuse write access, and set-up that programs see.
// HKEY_CURRENT_USER is the hive of the user a process runs as: the logged-on user's for the
// programs of the user's session, the system account's (HKU\.DEFAULT) for a service.
#include <gtest/gtest.h>

#include "platform/win32.h"
#include "winsim/Registry.h"
#include "winsim/Services.h"
#include "winsim/World.h"

namespace {

constexpr const char *kLocked = "SOFTWARE\\Norvane\\Locked";
const std::string kLockedPath = std::string("HKLM\\") + kLocked;

// Creates or opens `path` under HKLM with `access` and closes it again.
LSTATUS Create(const std::string &path, REGSAM access, DWORD *disposition = nullptr) {
  HKEY key = nullptr;
  LSTATUS status = RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, access, nullptr,
                                   &key, disposition);
  if (status == ERROR_SUCCESS) RegCloseKey(key);
  return status;
}

// A denied key opens for reading only, cannot be deleted and takes no new subkey, while its
// existing subkeys are not denied themselves; lifting the denial gives write access again.
TEST(RegistryControl, ADeniedKeyOpensForReadingOnlyUntilTheDenialIsLifted) {
  winsim::World world;
  world.registry().set_dword(kLockedPath, "Value", 7);
  world.registry().create_key(kLockedPath + "\\Sub");
  world.registry().deny_full_access(kLockedPath);
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kLocked, 0, KEY_READ, &key), ERROR_SUCCESS);
  DWORD value = 0, size = sizeof value;
  EXPECT_EQ(
      RegQueryValueExA(key, "Value", nullptr, nullptr, reinterpret_cast<BYTE *>(&value), &size),
      ERROR_SUCCESS);
  EXPECT_EQ(value, 7u);
  RegCloseKey(key);

  for (REGSAM access : std::initializer_list<REGSAM>{KEY_ALL_ACCESS, KEY_SET_VALUE, KEY_WRITE}) {
    key = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x1234));
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kLocked, 0, access, &key), ERROR_ACCESS_DENIED)
        << access;
    EXPECT_EQ(key, nullptr);
  }
  EXPECT_EQ(Create(kLocked, KEY_ALL_ACCESS), ERROR_ACCESS_DENIED);
  DWORD disposition = 0;
  EXPECT_EQ(Create(kLocked, KEY_READ, &disposition), ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  EXPECT_EQ(Create("SOFTWARE\\Norvane\\Locked\\New\\Deeper", KEY_READ), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(world.registry().key_exists(kLockedPath + "\\New"));
  ASSERT_EQ(Create("SOFTWARE\\Norvane\\Locked\\Sub\\New", KEY_ALL_ACCESS), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Norvane\\Locked\\Sub\\New"),
            ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Norvane\\Locked\\Sub"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, kLocked), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(world.registry().key_exists(kLockedPath));
  EXPECT_EQ(world.open_handles(world.host_pid()), std::vector<std::string>{});

  world.registry().deny_full_access(kLockedPath, false);
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kLocked, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  value = 8;
  EXPECT_EQ(RegSetValueExA(key, "Value", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value),
                           sizeof value),
            ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(world.registry().dword(kLockedPath, "value"), 8u);
}

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
