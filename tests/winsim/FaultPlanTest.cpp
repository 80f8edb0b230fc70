// The fault plan: a rule fails exactly the calls it names, on the paths it names, from the
// count it names, with its error or the call's own default.
#include <gtest/gtest.h>

#include "platform/win32.h"
#include "winsim/Registry.h"
#include "winsim/World.h"

namespace {

using Record = winsim::Trace::Record;

constexpr const char *kConfig = "SOFTWARE\\Norvane\\Tesmar\\Config";
constexpr const char *kOther = "SOFTWARE\\Norvane\\Applications";

LSTATUS Open(const char *path, REGSAM access = KEY_READ) {
  HKEY key = nullptr;
  LSTATUS status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, access, &key);
  if (status == ERROR_SUCCESS) RegCloseKey(key);
  return status;
}

class FaultPlan : public ::testing::Test {
 protected:
  FaultPlan() {
    world.registry().create_key(std::string("HKLM\\") + kConfig);
    world.registry().create_key(std::string("HKLM\\") + kOther);
  }
  winsim::World world;
};

TEST_F(FaultPlan, ARuleFailsOnlyTheNthOrFromTheNthCallOnItsPathWithItsError) {
  world.faults().add({"RegOpenKeyExA", "Tesmar\\Config", 2, false, ERROR_FILE_NOT_FOUND});
  EXPECT_EQ(Open(kOther), ERROR_SUCCESS);
  EXPECT_EQ(Open(kConfig), ERROR_SUCCESS);
  EXPECT_EQ(Open(kOther), ERROR_SUCCESS);
  EXPECT_EQ(Open(kConfig), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Open(kConfig), ERROR_SUCCESS);
  EXPECT_EQ(Open(kOther), ERROR_SUCCESS);
  // The wide form is another call.
  HKEY key = nullptr;
  world.faults().add({"RegOpenKeyExA", "Tesmar\\Config", 1, true, 5});
  EXPECT_EQ(
      RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Norvane\\Tesmar\\Config", 0, KEY_READ, &key),
      ERROR_SUCCESS);
  RegCloseKey(key);
  // A from rule fails the nth call and every later one.
  world.faults().clear();
  world.faults().add({"RegOpenKeyExA", "tesmar\\config", 3, true, 1450});
  EXPECT_EQ(Open(kConfig), ERROR_SUCCESS);
  EXPECT_EQ(Open(kConfig), ERROR_SUCCESS);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(Open(kConfig), 1450) << "call " << i + 3;
  EXPECT_EQ(Open(kOther), ERROR_SUCCESS);
}

TEST_F(FaultPlan, ARuleWithoutAnErrorUsesTheCallsOwnDefaultAndAFailedOpenLeavesNoHandle) {
  world.faults().add({"RegOpenKeyExA", "", 1, false, std::nullopt});
  world.faults().add({"CreateEventA", "", 1, false, std::nullopt});
  world.faults().add({"RegisterEventSourceA", "Quillet", 1, false, std::nullopt});
  EXPECT_EQ(Open(kOther), ERROR_ACCESS_DENIED);
  SetLastError(0xdeadbeef);
  EXPECT_EQ(CreateEventA(nullptr, TRUE, FALSE, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
  SetLastError(0xdeadbeef);
  EXPECT_EQ(RegisterEventSourceA(nullptr, "Quillet"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));

  world.faults().add({"RegOpenKeyExA", "Config", 1, false, 5});
  HKEY key = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x1234));
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kConfig, 0, KEY_READ, &key), ERROR_ACCESS_DENIED);
  EXPECT_EQ(key, nullptr);
  EXPECT_EQ(world.open_handles(world.host_pid()), std::vector<std::string>{});
  // Every failure is traced with its error.
  std::vector<Record> faults = {{{"call", "RegOpenKeyExA"}, {"error", 5}},
                                {{"call", "CreateEventA"}, {"error", 8}},
                                {{"call", "RegisterEventSourceA"}, {"error", 1722}},
                                {{"call", "RegOpenKeyExA"}, {"error", 5}}};
  EXPECT_EQ(world.trace().select("fault", {"call", "error"}), faults);
}

}  // namespace
