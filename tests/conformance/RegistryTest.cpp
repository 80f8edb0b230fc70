// Registry edge cases, narrow and wide: size queries, short buffers, short data, strings in code
// page 932, every value type, names without case, access rights, deleted keys and the roots.
// Each test works under HKEY_CURRENT_USER\Software\NorvaneConformance\<test name>.
#include <optional>
#include <tuple>
#include <utility>
#include <vector>

#include "Conformance.h"

namespace {

using conformance::kMarker;
using conformance::WString;

constexpr const char *kBase = "Software\\NorvaneConformance";

// What a query gives: its result, the type and size reported, and the bytes it wrote.
using Got = std::tuple<LONG, DWORD, DWORD, std::string>;
// The capacity that passes no buffer at all: a size query.
constexpr DWORD kSizeOnly = 0xFFFFFFFF;

Got Ok(DWORD type, DWORD size, const std::string &data = std::string()) {
  return Got(ERROR_SUCCESS, type, size, data);
}

// Queries `name` into a buffer of `capacity` bytes, narrow or wide; the type and size start as
// the marker and the capacity.
Got Query(HKEY key, const char *name, DWORD capacity, bool wide) {
  std::vector<BYTE> buffer(capacity == kSizeOnly ? 0 : capacity, 0xCC);
  BYTE *data = capacity == kSizeOnly ? nullptr : buffer.data();
  DWORD type = kMarker, size = capacity == kSizeOnly ? kMarker : capacity;
  LONG result =
      wide ? RegQueryValueExW(key, conformance::Widen(name).c_str(), nullptr, &type, data, &size)
           : RegQueryValueExA(key, name, nullptr, &type, data, &size);
  std::string bytes;
  if (result == ERROR_SUCCESS && data != nullptr)
    bytes.assign(buffer.begin(), buffer.begin() + size);
  return Got(result, type, size, bytes);
}

// A wide text's UTF-16 bytes, as a query returns them.
std::string Bytes(const WString &text) {
  return std::string(reinterpret_cast<const char *>(text.data()), text.size() * sizeof(WCHAR));
}

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

  LONG SetDword(const char *name, DWORD value, HKEY in = nullptr) {
    return RegSetValueExA(in != nullptr ? in : key, name, 0, REG_DWORD,
                          reinterpret_cast<const BYTE *>(&value), sizeof value);
  }
  // Creates (or opens) a subkey and returns its handle, with the disposition.
  LONG Create(HKEY parent, const char *name, HKEY *sub, DWORD *disposition = nullptr) {
    if (disposition != nullptr) *disposition = kMarker;
    return RegCreateKeyExA(parent, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, sub, disposition);
  }
  HKEY Sub(const char *name) {
    HKEY sub = nullptr;
    EXPECT_EQ(Create(key, name, &sub), ERROR_SUCCESS);
    return sub;
  }

  HKEY key = nullptr;

 private:
  std::string path_;
};

TEST_F(Registry, ShortDataFillsOnlyItsOwnBytesAndNamesAreFoundWithoutCaseOrNotAtAll) {
  const BYTE one = 0x2A;
  ASSERT_EQ(RegSetValueExA(key, "Short", 0, REG_DWORD, &one, 1), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, "Empty", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
  // Each value's name, whether it is read wide, its type and size as stored, and the DWORD it
  // is read into then holds.
  const std::tuple<const char *, bool, DWORD, DWORD, DWORD> stored[] = {
      {"Short", false, REG_DWORD, 1, 0xFFFFFF2A}, {"Empty", true, REG_BINARY, 0, 0xFFFFFFFF}};
  for (const auto &[name, wide, stored_type, stored_size, read] : stored) {
    DWORD value = 0xFFFFFFFF, type = kMarker, size = sizeof value;
    auto *data = reinterpret_cast<BYTE *>(&value);
    EXPECT_EQ(
        wide ? RegQueryValueExW(key, conformance::Widen(name).c_str(), nullptr, &type, data, &size)
             : RegQueryValueExA(key, name, nullptr, &type, data, &size),
        ERROR_SUCCESS);
    EXPECT_EQ(std::make_tuple(type, size, value), std::make_tuple(stored_type, stored_size, read))
        << name;
  }

  // A string set without its terminator gets one when it follows in memory.
  const WCHAR terminated[] = TEXT("abc");
  ASSERT_EQ(RegSetValueExW(key, TEXT("Counted"), 0, REG_SZ,
                           reinterpret_cast<const BYTE *>(terminated), 6),
            ERROR_SUCCESS);
  EXPECT_EQ(Query(key, "Counted", kSizeOnly, true), Ok(REG_SZ, 8));

  const WCHAR unterminated[] = {'a', 'b', 'c', 'd'};
  ASSERT_EQ(
      RegSetValueExW(key, TEXT("Bare"), 0, REG_SZ, reinterpret_cast<const BYTE *>(unterminated), 6),
      ERROR_SUCCESS);
  EXPECT_EQ(Query(key, "Bare", kSizeOnly, true), Ok(REG_SZ, 6));
  // Read into a larger buffer, the string is terminated after its stored bytes.
  WCHAR buffer[8];
  for (auto &c : buffer) c = 'x';
  DWORD size = sizeof buffer;
  EXPECT_EQ(RegQueryValueExW(key, TEXT("Bare"), nullptr, nullptr, reinterpret_cast<BYTE *>(buffer),
                             &size),
            ERROR_SUCCESS);
  EXPECT_EQ(size, 6u);
  EXPECT_EQ(WString(buffer), WString(TEXT("abc")));

  // The default value has the empty name.
  ASSERT_EQ(RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE *>("default"), 8),
            ERROR_SUCCESS);
  EXPECT_EQ(Query(key, "", 16, false), Ok(REG_SZ, 8, std::string("default", 8)));
  EXPECT_EQ(RegDeleteValueW(key, TEXT("")), ERROR_SUCCESS);
  size = 0;
  EXPECT_EQ(RegQueryValueExA(key, nullptr, nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);

  ASSERT_EQ(SetDword("CheckInterval", 1), ERROR_SUCCESS);
  EXPECT_EQ(Query(key, "CHECKINTERVAL", 4, false), Ok(REG_DWORD, 4, std::string("\1\0\0\0", 4)));
  // Writing under another case replaces the value.
  ASSERT_EQ(SetDword("checkinterval", 2), ERROR_SUCCESS);
  EXPECT_EQ(Query(key, "CheckInterval", 4, true), Ok(REG_DWORD, 4, std::string("\2\0\0\0", 4)));

  RegCloseKey(Sub("Config"));
  HKEY sub = nullptr;
  DWORD disposition = kMarker;
  ASSERT_EQ(
      RegCreateKeyExW(key, TEXT("CONFIG"), 0, nullptr, 0, KEY_READ, nullptr, &sub, &disposition),
      ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  RegCloseKey(sub);
  EXPECT_EQ(RegDeleteKeyA(key, "cOnFiG"), ERROR_SUCCESS);

  // Missing keys and values are not found, and a key path with a leading backslash is refused.
  sub = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(kMarker));
  EXPECT_EQ(RegOpenKeyExA(key, "Missing", 0, KEY_READ, &sub), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(sub, nullptr);
  EXPECT_EQ(std::get<0>(Query(key, "Missing", 4, false)), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteValueA(key, "Missing"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyA(key, "Missing"), ERROR_FILE_NOT_FOUND);
  // A key path with a leading backslash is refused; a trailing one is harmless.
  EXPECT_EQ(Create(key, "\\Leading", &sub), ERROR_BAD_PATHNAME);
  EXPECT_EQ(RegOpenKeyExA(key, "\\Leading", 0, KEY_READ, &sub), ERROR_BAD_PATHNAME);
  ASSERT_EQ(Create(key, "Trailing\\", &sub), ERROR_SUCCESS);
  RegCloseKey(sub);
  EXPECT_EQ(RegDeleteKeyA(key, "Trailing"), ERROR_SUCCESS);
}

TEST_F(Registry, KeysAreMadeLevelByLevelHandlesDoWhatTheirRightsAllowAndValuesComeBackAsStored) {
  HKEY deep = nullptr;
  DWORD disposition = 0;
  ASSERT_EQ(Create(key, "A\\B\\C", &deep, &disposition), ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  RegCloseKey(deep);
  ASSERT_EQ(Create(key, "A\\B", &deep, &disposition), ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  RegCloseKey(deep);
  EXPECT_EQ(RegDeleteKeyA(key, "A\\B"), ERROR_ACCESS_DENIED);  // it has a subkey
  EXPECT_EQ(RegDeleteKeyW(key, TEXT("A\\B\\C")), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(key, "A\\B"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(key, "A"), ERROR_SUCCESS);

  HKEY reader = nullptr;
  ASSERT_EQ(RegOpenKeyExA(key, nullptr, 0, KEY_READ, &reader), ERROR_SUCCESS);
  ASSERT_NE(reader, key);
  // Creating is checked against the key itself, not against the handle's access.
  HKEY sub = nullptr;
  EXPECT_EQ(Create(reader, "New", &sub, &disposition), ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  RegCloseKey(sub);
  EXPECT_EQ(RegDeleteKeyA(key, "New"), ERROR_SUCCESS);

  // A key opened for reading can be queried but not written.
  ASSERT_EQ(SetDword("Value", 9), ERROR_SUCCESS);
  EXPECT_EQ(Query(reader, "Value", 4, false), Ok(REG_DWORD, 4, std::string("\x09\0\0\0", 4)));
  EXPECT_EQ(SetDword("Value", 9, reader), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteValueA(reader, "Value"), ERROR_ACCESS_DENIED);
  RegCloseKey(reader);

  HKEY writer = nullptr;
  ASSERT_EQ(RegOpenKeyExW(key, nullptr, 0, KEY_SET_VALUE, &writer), ERROR_SUCCESS);
  EXPECT_EQ(std::get<0>(Query(writer, "Value", kSizeOnly, false)), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteValueA(writer, "Value"), ERROR_SUCCESS);
  RegCloseKey(writer);

  // A handle to a deleted key fails with ERROR_KEY_DELETED, and a closed one is invalid.
  HKEY doomed = Sub("Doomed");
  ASSERT_EQ(SetDword("Value", 1, doomed), ERROR_SUCCESS);
  ASSERT_EQ(RegDeleteKeyA(key, "Doomed"), ERROR_SUCCESS);

  EXPECT_EQ(std::get<0>(Query(doomed, "Value", 4, false)), ERROR_KEY_DELETED);
  EXPECT_EQ(SetDword("Value", 1, doomed), ERROR_KEY_DELETED);
  EXPECT_EQ(RegDeleteValueA(doomed, "Value"), ERROR_KEY_DELETED);
  HKEY under = nullptr;
  EXPECT_EQ(Create(doomed, "Under", &under), ERROR_KEY_DELETED);
  EXPECT_EQ(RegOpenKeyExA(doomed, "Under", 0, KEY_READ, &under), ERROR_KEY_DELETED);
  EXPECT_EQ(RegCloseKey(doomed), ERROR_SUCCESS);
  // A predefined root closes without error.
  EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);

  // Each value is set narrow or wide and read back narrow or wide into a buffer of the given
  // capacity: the conversions between code page 932 and UTF-16, every type, the sizes asked for
  // and the buffers too small.
  struct Case {
    const char *name;
    bool set_wide;
    DWORD type;
    std::string data;
    bool read_wide;
    DWORD capacity;
    std::optional<Got> expected;  // none: the data as stored
  };
  // "日本語テキスト" in code page 932 with its terminator.
  const std::string japanese("\x93\xfa\x96\x7b\x8c\xea\x83\x65\x83\x4c\x83\x58\x83\x67", 15);
  const std::string hello("hello", 6);
  const std::string wide = Bytes(WString(TEXT("テスト値"), 5));
  const std::string expand("%\0W\0%\0\0\0", 8);
  const Case cases[] = {
      {"Number", false, REG_DWORD, "\x78\x56\x34\x12", false, kSizeOnly, Ok(REG_DWORD, 4)},
      {"Text", false, REG_SZ, hello, true, kSizeOnly, Ok(REG_SZ, 12)},  // UTF-16, terminated
      {"Text", false, REG_SZ, hello, false, kSizeOnly, Ok(REG_SZ, 6)},
      {"Text", false, REG_SZ, hello, true, 4, Got(ERROR_MORE_DATA, REG_SZ, 12, "")},
      {"Text", false, REG_SZ, hello, false, 2, Got(ERROR_MORE_DATA, REG_SZ, 6, "")},
      {"Blob", false, REG_BINARY, "\1\2\3\4\5\6\7\x08", false, 4,
       Got(ERROR_MORE_DATA, REG_BINARY, 8, "")},
      {"Japanese", false, REG_SZ, japanese, true, 64,
       Ok(REG_SZ, 16, Bytes(WString(TEXT("日本語テキスト"), 8)))},
      {"Japanese", false, REG_SZ, japanese, false, 32, Ok(REG_SZ, 15, japanese)},
      // Four double-byte characters and the terminator.
      {"Wide", true, REG_SZ, wide, false, kSizeOnly, Ok(REG_SZ, 9)},
      {"Wide", true, REG_SZ, wide, false, 16,
       Ok(REG_SZ, 9, std::string("\x83\x65\x83\x58\x83\x67\x92\x6c", 9))},
      // A multi-string keeps its inner terminators in both forms.
      {"List", true, REG_MULTI_SZ, Bytes(WString(TEXT("one\0two\0"), 9)), false, 16,
       Ok(REG_MULTI_SZ, 9, std::string("one\0two\0\0", 9))},
      {"NarrowList", false, REG_MULTI_SZ, std::string("a\0bc\0", 6), true, 16,
       Ok(REG_MULTI_SZ, 12, Bytes(WString(TEXT("a\0bc\0\0"), 6)))},
      {"None", true, REG_NONE, "", true, 16},
      {"BigEndian", true, REG_DWORD_BIG_ENDIAN, "\x12\x34\x56\x78", true, 16},
      {"Qword", true, REG_QWORD, "\1\2\3\4\5\6\7\x08", true, 16},
      {"Expand", true, REG_EXPAND_SZ, expand, true, 16},
      // Not expanded when read narrow either.
      {"Expand", true, REG_EXPAND_SZ, expand, false, 8,
       Ok(REG_EXPAND_SZ, 4, std::string("%W%", 4))},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.name) + (c.read_wide ? " read wide" : " read narrow"));
    const BYTE *data = c.data.empty() ? nullptr : reinterpret_cast<const BYTE *>(c.data.data());
    const DWORD size = static_cast<DWORD>(c.data.size());
    ASSERT_EQ(c.set_wide
                  ? RegSetValueExW(key, conformance::Widen(c.name).c_str(), 0, c.type, data, size)
                  : RegSetValueExA(key, c.name, 0, c.type, data, size),
              ERROR_SUCCESS);
    EXPECT_EQ(Query(key, c.name, c.capacity, c.read_wide),
              c.expected.value_or(Ok(c.type, size, c.data)));
  }

  // The size alone without the type, only whether the value exists, and a buffer without a
  // size, which is an invalid parameter.
  DWORD size = kMarker;
  EXPECT_EQ(RegQueryValueExA(key, "Text", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 6u);
  EXPECT_EQ(RegQueryValueExA(key, "Text", nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  BYTE buffer[4];
  EXPECT_EQ(RegQueryValueExA(key, "Number", nullptr, nullptr, buffer, nullptr),
            ERROR_INVALID_PARAMETER);

  // A reserved parameter must be zero (or null), and a key's options among those documented:
  // otherwise the call is an invalid parameter and writes nothing. Wine creates the key and
  // writes the value all the same, so only winsim and Windows are held to it.
  if (conformance::UnderWine()) return;
  const DWORD one = 1;
  const auto *one_data = reinterpret_cast<const BYTE *>(&one);
  HKEY reserved_sub = nullptr;
  DWORD reserved = 0;
  size = sizeof reserved;
  const std::pair<const char *, LSTATUS> reserved_cases[] = {
      {"set", RegSetValueExA(key, "Value", 1, REG_DWORD, one_data, sizeof one)},
      {"create",
       RegCreateKeyExA(key, "Sub", 1, nullptr, 0, KEY_READ, nullptr, &reserved_sub, nullptr)},
      {"create with an unknown option",
       RegCreateKeyExA(key, "Sub", 0, nullptr, 0x100, KEY_READ, nullptr, &reserved_sub, nullptr)},
      {"query", RegQueryValueExA(key, "Value", &reserved, nullptr, nullptr, &size)},
  };
  for (const auto &[what, status] : reserved_cases)
    EXPECT_EQ(status, ERROR_INVALID_PARAMETER) << what;
  EXPECT_EQ(RegQueryValueExA(key, "Value", nullptr, nullptr, nullptr, nullptr),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegOpenKeyExA(key, "Sub", 0, KEY_READ, &reserved_sub), ERROR_FILE_NOT_FOUND);
}

}  // namespace
