// reg: values of every type land in the world's registry byte for byte; keys are created,
// deleted and locked; malformed reg lines are refused with their line number.
#include <gtest/gtest.h>

#include <ostream>
#include <vector>

#include "ScenarioTesting.h"
#include "platform/win32.h"
#include "winsim/Registry.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr const char *kKey = "HKLM\\SOFTWARE\\Wow6432Node\\Norvane\\Tesmar\\Config";

Bytes utf16le(std::u16string_view text) {
  Bytes out;
  for (char16_t c : text) {
    out.push_back(static_cast<std::uint8_t>(c & 0xFF));
    out.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  return out;
}

struct Stored {
  std::uint32_t type;
  Bytes data;
  bool operator==(const Stored &) const = default;
};

std::ostream &operator<<(std::ostream &out, const Stored &s) {
  out << "type " << s.type << " data";
  for (auto b : s.data) out << ' ' << std::hex << static_cast<unsigned>(b) << std::dec;
  return out;
}

Stored stored(winsim::World &world, const char *path, const char *name) {
  auto v = world.registry().value(path, name);
  if (!v) return {0xFFFFFFFF, {}};
  return {v->type, v->data};
}

TEST(RegSet, EveryTypeLandsAsWindowsStoresIt) {
  winsim::World world;
  scenario_test::play(world,
                      "0 reg set HKLM\\SOFTWARE\\Wow6432Node\\Norvane\\Tesmar\\Config "
                      "CheckInterval dword 300\n"
                      "0 reg set HKLM\\SOFTWARE\\Wow6432Node\\Norvane\\Tesmar\\Config Mask dword "
                      "0xC000012C\n"
                      "0 reg set HKLM\\SOFTWARE\\Wow6432Node\\Norvane\\Tesmar\\Config Folder sz "
                      "\"C:\\Program Files\\ノルベイン\"\n"
                      "0 reg set HKLM\\SOFTWARE\\Wow6432Node\\Norvane\\Tesmar\\Config Path "
                      "expand_sz %SystemRoot%\\Media\n"
                      "0 reg set HKLM\\SOFTWARE\\Wow6432Node\\Norvane\\Tesmar\\Config Disks "
                      "multi_sz \"Disk 1|Disk 2\"\n"
                      "0 reg set HKLM\\SOFTWARE\\Wow6432Node\\Norvane\\Tesmar\\Config Blob "
                      "binary 00ff10Ab\n"
                      "0 reg set HKLM\\SOFTWARE\\Wow6432Node\\Norvane\\Tesmar\\Config \"\" sz "
                      "default\n"
                      "1s end\n");
  EXPECT_EQ(stored(world, kKey, "CheckInterval"), (Stored{REG_DWORD, {0x2C, 0x01, 0x00, 0x00}}));
  EXPECT_EQ(stored(world, kKey, "Mask"), (Stored{REG_DWORD, {0x2C, 0x01, 0x00, 0xC0}}));
  EXPECT_EQ(stored(world, kKey, "Folder"),
            (Stored{REG_SZ, utf16le(std::u16string_view(u"C:\\Program Files\\ノルベイン\0", 23))}));
  EXPECT_EQ(stored(world, kKey, "Path"),
            (Stored{REG_EXPAND_SZ, utf16le(std::u16string_view(u"%SystemRoot%\\Media\0", 19))}));
  EXPECT_EQ(stored(world, kKey, "Disks"),
            (Stored{REG_MULTI_SZ, utf16le(std::u16string_view(u"Disk 1\0Disk 2\0\0", 15))}));
  EXPECT_EQ(stored(world, kKey, "Blob"), (Stored{REG_BINARY, {0x00, 0xFF, 0x10, 0xAB}}));
  EXPECT_EQ(stored(world, kKey, ""),
            (Stored{REG_SZ, utf16le(std::u16string_view(u"default\0", 8))}));
}

TEST(RegSet, EmptyDataIsAnEmptyStringAnEmptyListOrNoBytes) {
  winsim::World world;
  scenario_test::play(world,
                      "0 reg set HKCU\\Software\\T S sz \"\"\n"
                      "0 reg set HKCU\\Software\\T M multi_sz \"\"\n"
                      "0 reg set HKCU\\Software\\T B binary \"\"\n"
                      "1s end\n");
  EXPECT_EQ(stored(world, "HKCU\\Software\\T", "S"), (Stored{REG_SZ, {0, 0}}));
  EXPECT_EQ(stored(world, "HKCU\\Software\\T", "M"), (Stored{REG_MULTI_SZ, {0, 0}}));
  EXPECT_EQ(stored(world, "HKCU\\Software\\T", "B"), (Stored{REG_BINARY, {}}));
}

TEST(RegSet, ALaterLineReplacesTheValueAtItsTime) {
  winsim::World world;
  scenario_test::play(world,
                      "0 reg set HKLM\\SOFTWARE\\R SRaidInfoEx dword 1\n"
                      "1m reg set HKLM\\SOFTWARE\\R SRaidInfoEx sz two\n"
                      "2m end\n");
  EXPECT_EQ(world.now(), 120000u);
  EXPECT_EQ(stored(world, "HKLM\\SOFTWARE\\R", "SRaidInfoEx"),
            (Stored{REG_SZ, utf16le(std::u16string_view(u"two\0", 4))}));
}

TEST(RegKeys, KeyCreatesDeleteRemovesAValueOrTheWholeTree) {
  winsim::World world;
  scenario_test::play(world,
                      "0 reg key HKLM\\SOFTWARE\\Empty\\Inner\n"
                      "0 reg set HKLM\\SOFTWARE\\Tree\\Sub A dword 1\n"
                      "0 reg set HKLM\\SOFTWARE\\Keep A dword 1\n"
                      "0 reg set HKLM\\SOFTWARE\\Keep B dword 2\n"
                      "1s reg delete HKLM\\SOFTWARE\\Keep A\n"
                      "1s reg delete HKLM\\SOFTWARE\\Tree\n"
                      "2s end\n");
  EXPECT_TRUE(world.registry().key_exists("HKLM\\SOFTWARE\\Empty\\Inner"));
  EXPECT_FALSE(world.registry().key_exists("HKLM\\SOFTWARE\\Tree"));
  EXPECT_FALSE(world.registry().key_exists("HKLM\\SOFTWARE\\Tree\\Sub"));
  EXPECT_EQ(world.registry().value_names("HKLM\\SOFTWARE\\Keep"), (std::vector<std::string>{"B"}));
}

TEST(RegKeys, DeletingWhatIsNotThereIsNoError) {
  EXPECT_FALSE(
      scenario_test::refusal("0 reg delete HKLM\\SOFTWARE\\Nothing\n"
                             "0 reg delete HKLM\\SOFTWARE Nothing\n1s end\n"));
}

TEST(RegKeys, ADeniedKeyOpensForReadingButRefusesFullAccess) {
  winsim::World world;
  scenario_test::play(world, "0 reg deny HKLM\\SOFTWARE\\Locked\n1s end\n");
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Locked", 0, KEY_ALL_ACCESS, &key),
            ERROR_ACCESS_DENIED);
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Locked", 0, KEY_READ, &key),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

TEST(RegErrors, EachMalformedLineIsRefusedWithItsNumberAndWhatIsWrong) {
  struct Case {
    const char *line;
    const char *message;
  };
  const Case cases[] = {
      {"reg", "reg: missing action (set, key, delete or deny)"},
      {"reg put HKLM\\SOFTWARE\\X", "reg: unknown action \"put\" (set, key, delete or deny)"},
      {"reg set", "reg: missing key path (for example HKLM\\SOFTWARE\\Norvane)"},
      {"reg set SOFTWARE\\X V dword 1",
       "reg: \"SOFTWARE\\X\" does not start with a registry root (HKLM, HKCU, "
       "HKU, HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER or HKEY_USERS)"},
      {"reg set HKLM\\SOFTWARE\\X", "reg: missing value name (\"\" for the default value)"},
      {"reg set HKLM\\SOFTWARE\\X V",
       "reg: missing value type (dword, sz, expand_sz, multi_sz or binary)"},
      {"reg set HKLM\\SOFTWARE\\X V dword", "reg: missing value data"},
      {"reg set HKLM\\SOFTWARE\\X V qword 1",
       "reg set: unknown value type \"qword\" (dword, sz, expand_sz, multi_sz or binary)"},
      {"reg set HKLM\\SOFTWARE\\X V dword -1",
       "bad dword data \"-1\": expected a number from 0 to 4294967295 (decimal or 0x hex)"},
      {"reg set HKLM\\SOFTWARE\\X V dword 1 2", "reg: unexpected \"2\" after the \"1\""},
      {"reg set HKLM\\SOFTWARE\\X V binary abc",
       "reg set: binary data \"abc\" has an odd number of hex digits"},
      {"reg set HKLM\\SOFTWARE\\X V binary 0x12",
       "reg set: binary data \"0x12\" is not hex digits (for example 0a1b2c)"},
      {"reg set HKLM\\SOFTWARE\\X V multi_sz \"a||b\"",
       "reg set: multi_sz data \"a||b\" has an empty item (items are separated by |)"},
      {"reg key", "reg: missing key path (for example HKLM\\SOFTWARE\\Norvane)"},
      {"reg key HKLM\\SOFTWARE\\X extra",
       "reg: unexpected \"extra\" after the \"HKLM\\SOFTWARE\\X\""},
      {"reg delete HKLM", "reg delete: \"HKLM\" is a root key and cannot be deleted"},
      {"reg delete HKCU\\", "reg delete: \"HKCU\\\" is a root key and cannot be deleted"},
      {"reg delete HKLM\\SOFTWARE\\X V W", "reg: unexpected \"W\" after the \"V\""},
      {"reg deny HKEY_CLASSES_ROOT\\X",
       "reg: \"HKEY_CLASSES_ROOT\\X\" does not start with a registry root (HKLM, HKCU, "
       "HKU, HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER or HKEY_USERS)"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.line);
    auto refused = scenario_test::refusal(std::string("0 seed 1\n1s ") + c.line + "\n2s end\n");
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->line, 2);
    EXPECT_EQ(refused->message, std::string("t.scn:2: ") + c.message);
  }
}

}  // namespace
