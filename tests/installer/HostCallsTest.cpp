// The installer's helpers called from the host. Its registry entries: exact keys, types, data and
// byte counts in the trace, the last error a failed write leaves, and the predecessor test. Its
// messages on standard output: wide text to a console; the ANSI code page's bytes to a pipe; the
// last error as it was.
#include "InstallerWorld.h"
#include "installer/DebugOutput.h"
#include "installer/registry_entries.h"
#include "winsim/Registry.h"
#include "winsim/Text.h"

namespace installer_test {
namespace {

constexpr DWORD kMarker = 0xdeadbeef;
constexpr WCHAR kDriver[] = TEXT("C:\\Program Files\\Pellam\\QORA\\truecrypt-x64.sys");
constexpr WCHAR kNotifier[] = TEXT("C:\\Program Files\\Pellam\\QORA\\ShellBeacon.exe");

// Every call leaves the host without a handle open.
class RegistryEntries : public ::testing::Test {
 protected:
  ~RegistryEntries() override { DebugOutput = false; }
  void TearDown() override { EXPECT_TRUE(world.open_handles(world.host_pid()).empty()); }
  Records Sets() {
    return world.trace().select("reg.set", {"key", "name", "type", "data", "size"});
  }
  Records Changes(const char *kind) { return world.trace().select(kind, {"key", "name"}); }

  winsim::World world;
};
using DebugOutputTest = RegistryEntries;

Record Set(const char *key, const char *name, const char *type, Record data, int size) {
  return {{"key", key}, {"name", name}, {"type", type}, {"data", data}, {"size", size}};
}

Records DriverWrites(const char *image_path, int image_bytes) {
  return {
      Set(kDriverKey, "Type", "REG_DWORD", 1, 4), Set(kDriverKey, "Start", "REG_DWORD", 3, 4),
      Set(kDriverKey, "ImagePath", "REG_EXPAND_SZ", image_path, image_bytes),
      Set(kDriverKey, "ErrorControl", "REG_DWORD", 1, 4),
      Set(kRunKey, "qora_init", "REG_SZ", "C:\\Program Files\\Pellam\\QORA\\ShellBeacon.exe", 90)};
}

// The standard variant registers the driver where it was copied, the legacy one the fixed path
// of 62 bytes.
TEST_F(RegistryEntries, ASecondRegistrationOverwritesTheFiveValues) {
  SetLastError(kMarker);
  RegisterDriverService(DriverImagePath(InstallerVariant::Standard, kDriver), kNotifier);
  RegisterDriverService(DriverImagePath(InstallerVariant::Legacy, kDriver), kNotifier);

  Records writes = DriverWrites("C:\\Program Files\\Pellam\\QORA\\truecrypt-x64.sys", 94);
  for (const Record &r : DriverWrites("System32\\drivers\\truecrypt.sys", 62)) writes.push_back(r);
  EXPECT_EQ(Sets(), writes);
  // The keys are made by the first registration only.
  EXPECT_EQ(world.trace().select("reg.create", {"key"}),
            (Records{{{"key", kDriverKey}}, {{"key", kRunKey}}}));
  EXPECT_EQ(GetLastError(), kMarker);
}

TEST_F(RegistryEntries, AFailedDriverWriteLeavesItsErrorAndTheLaterWritesStillHappen) {
  world.faults().add({"RegSetValueExW", "Start", 1, false, ERROR_ACCESS_DENIED});
  world.faults().add({"RegCreateKeyExW", "Run", 1, false, ERROR_KEY_DELETED});
  SetLastError(kMarker);
  RegisterDriverService(kDriver, kNotifier);
  Records writes = DriverWrites("C:\\Program Files\\Pellam\\QORA\\truecrypt-x64.sys", 94);
  EXPECT_EQ(Sets(), (Records{writes[0], writes[2], writes[3]}));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_KEY_DELETED));  // the last failure's
}

TEST_F(RegistryEntries, TheVersionValueIsTheCurrentUsers16ByteText) {
  EXPECT_TRUE(WriteVersionValue());
  EXPECT_EQ(Sets(), Records{Set(kVersionKey, "Version", "REG_SZ", "1.06.00", 16)});

  world.faults().add({"RegSetValueExW", "Version", 1, false, ERROR_ACCESS_DENIED});
  SetLastError(kMarker);
  EXPECT_FALSE(WriteVersionValue());
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST_F(RegistryEntries, DeletingTheVersionKeyCreatesItFirstWhenItIsMissing) {
  EXPECT_TRUE(DeleteVersionKey());
  EXPECT_EQ(Changes("reg.create"), (Records{{{"key", kVersionKey}}}));
  EXPECT_EQ(Changes("reg.delete"), (Records{{{"key", kVersionKey}}}));
  EXPECT_FALSE(world.registry().key_exists(kVersionKey));

  world.faults().add({"RegCreateKeyExW", "QORA", 1, false, ERROR_ACCESS_DENIED});
  SetLastError(kMarker);
  EXPECT_FALSE(DeleteVersionKey());
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

// The deletions of a removal whose results are not looked at: a refused one (as the driver key's
// is when it has subkeys) leaves its entry, the others still go, and the version key's deletion
// still succeeds.
TEST_F(RegistryEntries, ARefusedDeletionLeavesItsEntryAndTheOthersStillGo) {
  const Record driver_key = {{"key", kDriverKey}};
  const Record run_value = {{"key", kRunKey}, {"name", "qora_init"}};
  const Record version_value = {{"key", kVersionKey}, {"name", "Version"}};
  const Record version_key = {{"key", kVersionKey}};
  const struct {
    const char *name;
    const char *call, *match;  // refused with ERROR_ACCESS_DENIED
    Records deleted;
  } cases[] = {
      {"DriverKey", "RegDeleteKeyW", "truecrypt", {run_value, version_value, version_key}},
      {"RunKeyNotOpened", "RegOpenKeyExW", "Run", {driver_key, version_value, version_key}},
      {"RunValue", "RegDeleteValueW", "qora_init", {driver_key, version_value, version_key}},
      // The key goes with its value.
      {"VersionValue", "RegDeleteValueW", "Software\\QORA", {driver_key, run_value, version_key}},
      {"VersionKey", "RegDeleteKeyW", "Software\\QORA", {driver_key, run_value, version_value}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    RegisterDriverService(kDriver, kNotifier);
    ASSERT_TRUE(WriteVersionValue());
    world.trace().clear();
    world.faults().clear();
    world.faults().add({c.call, c.match, 1, false, ERROR_ACCESS_DENIED});
    RemoveDriverRegistration();
    EXPECT_TRUE(DeleteVersionKey());
    EXPECT_EQ(Changes("reg.delete"), c.deleted);
  }
}

// Only "tillgate" as the whole first name of the disk class's "LowerFilters" counts. The key is
// read with read access only, and the value's type plays no part.
TEST_F(RegistryEntries, ThePredecessorIsTillgateAsTheFirstLowerFilter) {
  const struct {
    const char *name;
    std::vector<std::string> filters;
    bool present;
  } cases[] = {
      {"Alone", {"tillgate"}, true},
      {"Second", {"PartMgr", "tillgate"}, false},
      {"OtherCase", {"TillGate"}, false},
      {"Longer", {"tillgatex"}, false},
      // 9 units for the first name with its terminator, the second name with its terminator, 1
      // for the list's end: 512 bytes fit, 514 do not.
      {"ListOf512Bytes", {"tillgate", std::string(245, 'f')}, true},
      {"ListOver512Bytes", {"tillgate", std::string(246, 'f')}, false},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    world.registry().set_multi_string(kClassKey, "LowerFilters", c.filters);
    EXPECT_EQ(PredecessorPresent(), c.present);
  }
  world.registry().set_string(kClassKey, "LowerFilters", "tillgate");
  world.registry().deny_full_access(kClassKey);
  EXPECT_TRUE(PredecessorPresent());
}

TEST_F(DebugOutputTest, AConsoleShowsTheWideText) {
  DebugOutput = true;
  SetLastError(1060);
  DebugPrint(TEXT("copy %s to %s...\t---Error=0x%08X\n"), TEXT("D:\\AP\\X64\\暗号.dll"),
             TEXT("C:\\QORA\\暗号.dll"), 0x20u);
  EXPECT_EQ(GetLastError(), 1060u);
  EXPECT_EQ(
      world.trace().select("stdout", {"text"}),
      (Records{{{"text",
                 "copy D:\\AP\\X64\\暗号.dll to C:\\QORA\\暗号.dll...\t---Error=0x00000020\n"}}}));
  EXPECT_EQ(
      world.console(world.host_pid()),
      winsim::cp932("copy D:\\AP\\X64\\暗号.dll to C:\\QORA\\暗号.dll...\t---Error=0x00000020\n"));
}

TEST_F(DebugOutputTest, APipeReceivesTheAnsiCodePagesBytesDownToASingleOne) {
  HANDLE read_end = nullptr, write_end = nullptr;
  ASSERT_TRUE(CreatePipe(&read_end, &write_end, nullptr, 0));
  HANDLE console = GetStdHandle(STD_OUTPUT_HANDLE);
  SetStdHandle(STD_OUTPUT_HANDLE, write_end);
  DebugOutput = true;
  SetLastError(5);
  DebugPrint(TEXT("deleted %s.\n"), TEXT("C:\\QORA\\暗号.dll"));
  DebugPrint(TEXT("."));  // a progress dot: one byte
  EXPECT_EQ(GetLastError(), 5u);
  SetStdHandle(STD_OUTPUT_HANDLE, console);

  char bytes[64] = {};
  DWORD read = 0;
  ASSERT_TRUE(ReadFile(read_end, bytes, sizeof bytes, &read, nullptr));
  EXPECT_EQ(std::string(bytes, read), winsim::cp932("deleted C:\\QORA\\暗号.dll.\n."));
  EXPECT_TRUE(world.trace().of_kind("stdout").empty());
  CloseHandle(read_end);
  CloseHandle(write_end);
}

}  // namespace
}  // namespace installer_test
