// Registry edge cases, narrow and wide: size queries, short buffers, short data, strings in code
// page 932, every value type, names without case, access rights, deleted keys and the roots.
// Each test works under HKEY_CURRENT_USER\Software\NorvaneConformance\<test name>.
#include <cstring>
#include <vector>

#include "Conformance.h"

namespace {

using conformance::kMarker;
using conformance::WString;

constexpr const char *kBase = "Software\\NorvaneConformance";

class Registry : public conformance::Fixture {
 protected:
  void SetUp() override {
    path_ =
        std::string(kBase) + "\\" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
  }
  void TearDown() override {
    if (key != nullptr) RegCloseKey(key);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, path_.c_str()), ERROR_SUCCESS)
        << "the test left subkeys behind";
    RegDeleteKeyA(HKEY_CURRENT_USER, kBase);
  }

  void SetBytes(const char *name, DWORD type, const void *data, DWORD size) {
    ASSERT_EQ(RegSetValueExA(key, name, 0, type, static_cast<const BYTE *>(data), size),
              ERROR_SUCCESS);
  }
  HKEY Sub(const char *name, REGSAM access = KEY_ALL_ACCESS) {
    HKEY sub = nullptr;
    EXPECT_EQ(RegCreateKeyExA(key, name, 0, nullptr, 0, access, nullptr, &sub, nullptr),
              ERROR_SUCCESS);
    return sub;
  }

  HKEY key = nullptr;

 private:
  std::string path_;
};

TEST_F(Registry, ASizeQueryWithoutABufferGivesTheStoredSizeAndType) {
  DWORD dword = 0x12345678;
  SetBytes("Number", REG_DWORD, &dword, sizeof dword);
  SetBytes("Text", REG_SZ, "abc", 4);

  DWORD type = kMarker, size = kMarker;
  EXPECT_EQ(RegQueryValueExA(key, "Number", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(size, 4u);
  type = size = kMarker;
  EXPECT_EQ(RegQueryValueExW(key, TEXT("Text"), nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(size, 8u);  // UTF-16 with its terminator
  size = kMarker;
  EXPECT_EQ(RegQueryValueExA(key, "Text", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 4u);
  // Neither buffer nor size: only whether the value exists.
  EXPECT_EQ(RegQueryValueExA(key, "Text", nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
}

TEST_F(Registry, ABufferTooSmallGivesMoreDataWithTheNeededSize) {
  SetBytes("Text", REG_SZ, "hello", 6);
  BYTE buffer[4];
  DWORD type = kMarker, size = sizeof buffer;
  EXPECT_EQ(RegQueryValueExW(key, TEXT("Text"), nullptr, &type, buffer, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 12u);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  size = 2;
  EXPECT_EQ(RegQueryValueExA(key, "Text", nullptr, nullptr, buffer, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 6u);

  BYTE eight[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  SetBytes("Blob", REG_BINARY, eight, sizeof eight);
  size = sizeof buffer;
  EXPECT_EQ(RegQueryValueExA(key, "Blob", nullptr, nullptr, buffer, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 8u);
}

TEST_F(Registry, ShortDataFillsOnlyItsOwnBytesOfALargerBuffer) {
  BYTE one = 0x2A;
  SetBytes("Short", REG_DWORD, &one, 1);
  DWORD value = 0xFFFFFFFF, type = kMarker, size = sizeof value;
  EXPECT_EQ(RegQueryValueExA(key, "Short", nullptr, &type, reinterpret_cast<BYTE *>(&value), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(size, 1u);
  EXPECT_EQ(value, 0xFFFFFF2Au);

  SetBytes("Empty", REG_BINARY, nullptr, 0);
  value = 0xFFFFFFFF;
  size = sizeof value;
  EXPECT_EQ(
      RegQueryValueExW(key, TEXT("Empty"), nullptr, &type, reinterpret_cast<BYTE *>(&value), &size),
      ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(value, 0xFFFFFFFFu);
}

TEST_F(Registry, ANarrowStringInCodePage932IsStoredAsUtf16) {
  const std::string text = conformance::Cp932("日本語テキスト");
  SetBytes("Japanese", REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));

  WCHAR wide[32];
  DWORD type = kMarker, size = sizeof wide;
  EXPECT_EQ(RegQueryValueExW(key, TEXT("Japanese"), nullptr, &type, reinterpret_cast<BYTE *>(wide),
                             &size),
            ERROR_SUCCESS);
  EXPECT_EQ(size, 16u);
  EXPECT_EQ(WString(wide), WString(TEXT("日本語テキスト")));

  char narrow[32];
  size = sizeof narrow;
  EXPECT_EQ(
      RegQueryValueExA(key, "Japanese", nullptr, &type, reinterpret_cast<BYTE *>(narrow), &size),
      ERROR_SUCCESS);
  EXPECT_EQ(size, text.size() + 1);
  EXPECT_EQ(std::string(narrow), text);
}

TEST_F(Registry, AWideStringReadsNarrowInCodePage932) {
  const WCHAR text[] = TEXT("テスト値");
  ASSERT_EQ(RegSetValueExW(key, TEXT("Wide"), 0, REG_SZ, reinterpret_cast<const BYTE *>(text),
                           sizeof text),
            ERROR_SUCCESS);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(key, "Wide", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 9u);  // four double-byte characters and the terminator
  char narrow[16];
  size = sizeof narrow;
  EXPECT_EQ(
      RegQueryValueExA(key, "Wide", nullptr, nullptr, reinterpret_cast<BYTE *>(narrow), &size),
      ERROR_SUCCESS);
  EXPECT_EQ(std::string(narrow, size), conformance::Cp932("テスト値") + '\0');
}

TEST_F(Registry, AStringSetWithoutItsTerminatorGetsOneWhenItFollowsInMemory) {
  const WCHAR terminated[] = TEXT("abc");
  ASSERT_EQ(RegSetValueExW(key, TEXT("Counted"), 0, REG_SZ,
                           reinterpret_cast<const BYTE *>(terminated), 6),
            ERROR_SUCCESS);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExW(key, TEXT("Counted"), nullptr, nullptr, nullptr, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(size, 8u);

  const WCHAR unterminated[] = {'a', 'b', 'c', 'd'};
  ASSERT_EQ(
      RegSetValueExW(key, TEXT("Bare"), 0, REG_SZ, reinterpret_cast<const BYTE *>(unterminated), 6),
      ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExW(key, TEXT("Bare"), nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 6u);
  // Read into a larger buffer, the string is terminated after its stored bytes.
  WCHAR buffer[8];
  for (auto &c : buffer) c = 'x';
  size = sizeof buffer;
  EXPECT_EQ(RegQueryValueExW(key, TEXT("Bare"), nullptr, nullptr, reinterpret_cast<BYTE *>(buffer),
                             &size),
            ERROR_SUCCESS);
  EXPECT_EQ(size, 6u);
  EXPECT_EQ(WString(buffer), WString(TEXT("abc")));
}

TEST_F(Registry, AMultiStringKeepsItsInnerTerminatorsInBothForms) {
  const WCHAR list[] = TEXT("one\0two\0");  // and the literal's own terminator
  ASSERT_EQ(RegSetValueExW(key, TEXT("List"), 0, REG_MULTI_SZ, reinterpret_cast<const BYTE *>(list),
                           sizeof list),
            ERROR_SUCCESS);
  char narrow[16];
  DWORD type = kMarker, size = sizeof narrow;
  EXPECT_EQ(RegQueryValueExA(key, "List", nullptr, &type, reinterpret_cast<BYTE *>(narrow), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_MULTI_SZ));
  EXPECT_EQ(std::string(narrow, size), std::string("one\0two\0\0", 9));

  SetBytes("NarrowList", REG_MULTI_SZ, "a\0bc\0", 6);
  WCHAR wide[8];
  size = sizeof wide;
  EXPECT_EQ(RegQueryValueExW(key, TEXT("NarrowList"), nullptr, nullptr,
                             reinterpret_cast<BYTE *>(wide), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(WString(wide, size / sizeof(WCHAR)), WString(TEXT("a\0bc\0\0"), 6));
}

TEST_F(Registry, EveryTypeComesBackAsStored) {
  struct Case {
    const char *name;
    DWORD type;
    std::vector<BYTE> data;
  };
  const std::vector<Case> cases = {
      {"None", REG_NONE, {}},
      {"Binary", REG_BINARY, {0, 0xFF, 0x10, 0}},
      {"Dword", REG_DWORD, {0x78, 0x56, 0x34, 0x12}},
      {"BigEndian", REG_DWORD_BIG_ENDIAN, {0x12, 0x34, 0x56, 0x78}},
      {"Qword", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}},
      {"Expand", REG_EXPAND_SZ, {'%', 0, 'W', 0, '%', 0, 0, 0}},
  };
  for (const Case &c : cases) {
    ASSERT_EQ(
        RegSetValueExW(key, conformance::Widen(c.name).c_str(), 0, c.type,
                       c.data.empty() ? nullptr : c.data.data(), static_cast<DWORD>(c.data.size())),
        ERROR_SUCCESS)
        << c.name;
    BYTE buffer[16];
    std::memset(buffer, 0xCC, sizeof buffer);
    DWORD type = kMarker, size = sizeof buffer;
    EXPECT_EQ(
        RegQueryValueExW(key, conformance::Widen(c.name).c_str(), nullptr, &type, buffer, &size),
        ERROR_SUCCESS)
        << c.name;
    EXPECT_EQ(type, c.type) << c.name;
    EXPECT_EQ(std::vector<BYTE>(buffer, buffer + size), c.data) << c.name;
  }
  // The expandable string is not expanded when read narrow either.
  char narrow[8];
  DWORD size = sizeof narrow;
  EXPECT_EQ(
      RegQueryValueExA(key, "Expand", nullptr, nullptr, reinterpret_cast<BYTE *>(narrow), &size),
      ERROR_SUCCESS);
  EXPECT_EQ(std::string(narrow, size), std::string("%W%", 4));
}

TEST_F(Registry, TheDefaultValueHasTheEmptyName) {
  SetBytes(nullptr, REG_SZ, "default", 8);
  char buffer[16];
  DWORD size = sizeof buffer;
  EXPECT_EQ(RegQueryValueExA(key, "", nullptr, nullptr, reinterpret_cast<BYTE *>(buffer), &size),
            ERROR_SUCCESS);
  EXPECT_STREQ(buffer, "default");
  EXPECT_EQ(RegDeleteValueW(key, TEXT("")), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExA(key, nullptr, nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, KeyAndValueNamesAreFoundWithoutRegardToCase) {
  DWORD value = 1;
  SetBytes("CheckInterval", REG_DWORD, &value, sizeof value);
  DWORD size = sizeof value;
  value = 0;
  EXPECT_EQ(RegQueryValueExA(key, "CHECKINTERVAL", nullptr, nullptr,
                             reinterpret_cast<BYTE *>(&value), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(value, 1u);
  // Writing under another case replaces the value.
  value = 2;
  SetBytes("checkinterval", REG_DWORD, &value, sizeof value);
  value = 0;
  EXPECT_EQ(RegQueryValueExW(key, TEXT("CheckInterval"), nullptr, nullptr,
                             reinterpret_cast<BYTE *>(&value), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(value, 2u);

  HKEY sub = Sub("Config");
  RegCloseKey(sub);
  DWORD disposition = kMarker;
  ASSERT_EQ(
      RegCreateKeyExW(key, TEXT("CONFIG"), 0, nullptr, 0, KEY_READ, nullptr, &sub, &disposition),
      ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  RegCloseKey(sub);
  EXPECT_EQ(RegOpenKeyExA(key, "config", 0, KEY_READ, &sub), ERROR_SUCCESS);
  RegCloseKey(sub);
  EXPECT_EQ(RegDeleteKeyA(key, "cOnFiG"), ERROR_SUCCESS);
}

TEST_F(Registry, MissingKeysAndValuesAreFileNotFound) {
  HKEY sub = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(kMarker));
  EXPECT_EQ(RegOpenKeyExA(key, "Missing", 0, KEY_READ, &sub), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(sub, nullptr);
  EXPECT_EQ(RegOpenKeyExW(key, TEXT("Missing\\Deeper"), 0, KEY_READ, &sub), ERROR_FILE_NOT_FOUND);
  DWORD size = 4;
  BYTE buffer[4];
  EXPECT_EQ(RegQueryValueExA(key, "Missing", nullptr, nullptr, buffer, &size),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegQueryValueExW(key, TEXT("Missing"), nullptr, nullptr, nullptr, &size),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteValueA(key, "Missing"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyA(key, "Missing"), ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, CreatingADeepKeyCreatesEveryMissingLevel) {
  HKEY deep = nullptr;
  DWORD disposition = kMarker;
  ASSERT_EQ(
      RegCreateKeyExA(key, "A\\B\\C", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &deep, &disposition),
      ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  RegCloseKey(deep);
  ASSERT_EQ(
      RegCreateKeyExA(key, "A\\B", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &deep, &disposition),
      ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  RegCloseKey(deep);
  EXPECT_EQ(RegDeleteKeyA(key, "A\\B\\C"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(key, "A\\B"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(key, "A"), ERROR_SUCCESS);
}

TEST_F(Registry, AKeyOpenedForReadingCanBeQueriedButNotWritten) {
  DWORD value = 9;
  SetBytes("Value", REG_DWORD, &value, sizeof value);
  HKEY reader = nullptr;
  ASSERT_EQ(RegOpenKeyExA(key, "", 0, KEY_READ, &reader), ERROR_SUCCESS);
  ASSERT_NE(reader, key);
  DWORD size = sizeof value;
  value = 0;
  EXPECT_EQ(
      RegQueryValueExA(reader, "Value", nullptr, nullptr, reinterpret_cast<BYTE *>(&value), &size),
      ERROR_SUCCESS);
  EXPECT_EQ(value, 9u);
  EXPECT_EQ(RegSetValueExA(reader, "Value", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value),
                           sizeof value),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteValueA(reader, "Value"), ERROR_ACCESS_DENIED);
  RegCloseKey(reader);

  HKEY writer = nullptr;
  ASSERT_EQ(RegOpenKeyExW(key, nullptr, 0, KEY_SET_VALUE, &writer), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExA(writer, "Value", nullptr, nullptr, nullptr, &size),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteValueA(writer, "Value"), ERROR_SUCCESS);
  RegCloseKey(writer);
}

TEST_F(Registry, AReadOnlyHandleStillNamesTheKeyInWhichSubkeysAreCreated) {
  HKEY existing = Sub("Existing");
  RegCloseKey(existing);
  HKEY reader = nullptr;
  ASSERT_EQ(RegOpenKeyExA(key, nullptr, 0, KEY_READ, &reader), ERROR_SUCCESS);
  // Creating is checked against the key itself, not against the handle's access.
  HKEY sub = nullptr;
  DWORD disposition = kMarker;
  EXPECT_EQ(RegCreateKeyExA(reader, "Existing", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub,
                            &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  RegCloseKey(sub);
  EXPECT_EQ(
      RegCreateKeyExA(reader, "New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, &disposition),
      ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  RegCloseKey(sub);
  RegCloseKey(reader);
  EXPECT_EQ(RegDeleteKeyA(key, "New"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(key, "Existing"), ERROR_SUCCESS);
}

TEST_F(Registry, AKeyWithSubkeysCannotBeDeleted) {
  HKEY parent = Sub("Parent");
  HKEY child = Sub("Parent\\Child");
  RegCloseKey(child);
  RegCloseKey(parent);
  EXPECT_EQ(RegDeleteKeyA(key, "Parent"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteKeyW(key, TEXT("Parent\\Child")), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(key, "Parent"), ERROR_SUCCESS);
}

TEST_F(Registry, AHandleToADeletedKeyFailsWithKeyDeleted) {
  HKEY doomed = Sub("Doomed");
  DWORD value = 1;
  ASSERT_EQ(RegSetValueExA(doomed, "Value", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value),
                           sizeof value),
            ERROR_SUCCESS);
  ASSERT_EQ(RegDeleteKeyA(key, "Doomed"), ERROR_SUCCESS);

  DWORD size = sizeof value;
  EXPECT_EQ(
      RegQueryValueExA(doomed, "Value", nullptr, nullptr, reinterpret_cast<BYTE *>(&value), &size),
      ERROR_KEY_DELETED);
  EXPECT_EQ(RegSetValueExA(doomed, "Value", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value),
                           sizeof value),
            ERROR_KEY_DELETED);
  EXPECT_EQ(RegDeleteValueA(doomed, "Value"), ERROR_KEY_DELETED);
  HKEY under = nullptr;
  EXPECT_EQ(
      RegCreateKeyExA(doomed, "Under", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &under, nullptr),
      ERROR_KEY_DELETED);
  EXPECT_EQ(RegOpenKeyExA(doomed, "Under", 0, KEY_READ, &under), ERROR_KEY_DELETED);
  EXPECT_EQ(RegOpenKeyExA(doomed, "", 0, KEY_READ, &under), ERROR_KEY_DELETED);
  EXPECT_EQ(RegCloseKey(doomed), ERROR_SUCCESS);
  HKEY again = nullptr;
  EXPECT_EQ(RegOpenKeyExA(key, "Doomed", 0, KEY_READ, &again), ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, ThePredefinedRootsCloseWithoutErrorAndClosedHandlesDoNot) {
  EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS);
  HKEY software = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &software), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(software), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(software), ERROR_INVALID_HANDLE);
}

TEST_F(Registry, TheLocalMachineRootTakesKeysAndValuesLikeTheUserRoot) {
  HKEY machine = nullptr;
  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\NorvaneConformance", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &machine, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  DWORD value = 300;
  EXPECT_EQ(RegSetValueExA(machine, "SystemStatus", 0, REG_DWORD,
                           reinterpret_cast<const BYTE *>(&value), sizeof value),
            ERROR_SUCCESS);
  RegCloseKey(machine);
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, TEXT("software\\norvaneconformance"), 0, KEY_READ,
                          &machine),
            ERROR_SUCCESS);
  value = 0;
  DWORD size = sizeof value;
  EXPECT_EQ(RegQueryValueExA(machine, "systemstatus", nullptr, nullptr,
                             reinterpret_cast<BYTE *>(&value), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(value, 300u);
  RegCloseKey(machine);
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\NorvaneConformance"), ERROR_SUCCESS);
}

TEST_F(Registry, AKeyPathWithALeadingBackslashIsRefused) {
  HKEY sub = nullptr;
  EXPECT_EQ(
      RegCreateKeyExA(key, "\\Leading", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr),
      ERROR_BAD_PATHNAME);
  EXPECT_EQ(RegOpenKeyExA(key, "\\Leading", 0, KEY_READ, &sub), ERROR_BAD_PATHNAME);
  // A trailing backslash is harmless.
  ASSERT_EQ(
      RegCreateKeyExA(key, "Trailing\\", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr),
      ERROR_SUCCESS);
  RegCloseKey(sub);
  EXPECT_EQ(RegOpenKeyExA(key, "Trailing\\", 0, KEY_READ, &sub), ERROR_SUCCESS);
  RegCloseKey(sub);
  EXPECT_EQ(RegDeleteKeyA(key, "Trailing"), ERROR_SUCCESS);
}

TEST_F(Registry, ATooSmallNarrowBufferStillReportsTheType) {
  SetBytes("Text", REG_SZ, "hello", 6);
  BYTE buffer[2];
  DWORD type = kMarker, size = sizeof buffer;
  EXPECT_EQ(RegQueryValueExA(key, "Text", nullptr, &type, buffer, &size), ERROR_MORE_DATA);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(size, 6u);
}

TEST_F(Registry, ABufferWithoutASizeIsAnInvalidParameter) {
  DWORD value = 1;
  SetBytes("Value", REG_DWORD, &value, sizeof value);
  EXPECT_EQ(
      RegQueryValueExA(key, "Value", nullptr, nullptr, reinterpret_cast<BYTE *>(&value), nullptr),
      ERROR_INVALID_PARAMETER);
}

}  // namespace
