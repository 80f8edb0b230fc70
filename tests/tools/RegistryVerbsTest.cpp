// reg: values of every type land in the world's registry byte for byte; keys are created,
// deleted and locked.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "ScenarioTesting.h"
#include "platform/win32.h"
#include "winsim/Registry.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Stored = std::pair<std::uint32_t, Bytes>;  // type and data

Bytes utf16le(std::u16string_view text) {
  Bytes out;
  for (char16_t c : text) {
    out.push_back(static_cast<std::uint8_t>(c & 0xFF));
    out.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  return out;
}

TEST(RegSet, EveryTypeLandsAsWindowsStoresItAndALaterLineReplacesAValue) {
  winsim::World world;
  scenario_test::play(world,
                      "0 reg set HKCU\\Software\\T CheckInterval dword 300\n"
                      "0 reg set HKCU\\Software\\T Mask dword 0xC000012C\n"
                      "0 reg set HKCU\\Software\\T Folder sz \"C:\\Program Files\\ノルベイン\"\n"
                      "0 reg set HKCU\\Software\\T Path expand_sz %SystemRoot%\\Media\n"
                      "0 reg set HKCU\\Software\\T Disks multi_sz \"Disk 1|Disk 2\"\n"
                      "0 reg set HKCU\\Software\\T Blob binary 00ff10Ab\n"
                      "0 reg set HKCU\\Software\\T \"\" sz default\n"
                      "0 reg set HKCU\\Software\\T S sz \"\"\n"
                      "0 reg set HKCU\\Software\\T M multi_sz \"\"\n"
                      "0 reg set HKCU\\Software\\T B binary \"\"\n"
                      "0 reg set HKCU\\Software\\T Raid dword 1\n"
                      "1m reg set HKCU\\Software\\T Raid sz two\n"
                      "2m end\n");
  const struct {
    const char *name;
    Stored stored;
  } values[] = {
      {"CheckInterval", {REG_DWORD, {0x2C, 0x01, 0x00, 0x00}}},
      {"Mask", {REG_DWORD, {0x2C, 0x01, 0x00, 0xC0}}},
      {"Folder", {REG_SZ, utf16le(std::u16string_view(u"C:\\Program Files\\ノルベイン\0", 23))}},
      {"Path", {REG_EXPAND_SZ, utf16le(std::u16string_view(u"%SystemRoot%\\Media\0", 19))}},
      {"Disks", {REG_MULTI_SZ, utf16le(std::u16string_view(u"Disk 1\0Disk 2\0\0", 15))}},
      {"Blob", {REG_BINARY, {0x00, 0xFF, 0x10, 0xAB}}},
      {"", {REG_SZ, utf16le(std::u16string_view(u"default\0", 8))}},
      {"S", {REG_SZ, {0, 0}}},
      {"M", {REG_MULTI_SZ, {0, 0}}},
      {"B", {REG_BINARY, {}}},
      {"Raid", {REG_SZ, utf16le(std::u16string_view(u"two\0", 4))}},
  };
  for (const auto &v : values) {
    SCOPED_TRACE(v.name);
    auto value = world.registry().value("HKCU\\Software\\T", v.name);
    ASSERT_TRUE(value);
    EXPECT_EQ(Stored(value->type, value->data), v.stored);
  }
  EXPECT_EQ(world.now(), 120000u);
}

// Deleting what is not there is no error; a denied key opens for reading only.
TEST(RegKeys, KeyCreatesDeleteRemovesAValueOrTheWholeTreeAndDenyLocks) {
  winsim::World world;
  scenario_test::play(world,
                      "0 reg key HKLM\\SOFTWARE\\Empty\\Inner\n"
                      "0 reg set HKLM\\SOFTWARE\\Tree\\Sub A dword 1\n"
                      "0 reg set HKLM\\SOFTWARE\\Keep A dword 1\n"
                      "0 reg set HKLM\\SOFTWARE\\Keep B dword 2\n"
                      "0 reg deny HKLM\\SOFTWARE\\Locked\n"
                      "1s reg delete HKLM\\SOFTWARE\\Keep A\n"
                      "1s reg delete HKLM\\SOFTWARE\\Tree\n"
                      "1s reg delete HKLM\\SOFTWARE\\Nothing\n"
                      "1s reg delete HKLM\\SOFTWARE Nothing\n"
                      "2s end\n");
  EXPECT_TRUE(world.registry().key_exists("HKLM\\SOFTWARE\\Empty\\Inner"));
  EXPECT_FALSE(world.registry().key_exists("HKLM\\SOFTWARE\\Tree"));
  EXPECT_FALSE(world.registry().key_exists("HKLM\\SOFTWARE\\Tree\\Sub"));
  EXPECT_EQ(world.registry().value_names("HKLM\\SOFTWARE\\Keep"), (std::vector<std::string>{"B"}));
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Locked", 0, KEY_ALL_ACCESS, &key),
            ERROR_ACCESS_DENIED);
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Locked", 0, KEY_READ, &key),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

}  // namespace
