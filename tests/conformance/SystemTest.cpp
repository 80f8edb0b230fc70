// What the system tells a program and the text it makes for it: the version and the system
// folder, the clocks, wsprintfW, splitting a command line and the module's name, the system's
// message texts and the last error, and text in the ANSI code page 932. Where Wine's texts
// differ (its Japanese locale gives Japanese message texts), only their shape is compared.
#include <cstdarg>
#include <cstring>
#include <ctime>
#include <tuple>
#include <vector>

#include "Conformance.h"

namespace {

using conformance::Failed;
using conformance::kMarker;
using conformance::Try;
using conformance::WString;

class System : public conformance::Fixture {};

using Moment = std::tuple<int, int, int, int, int, int>;

Moment MomentOf(const SYSTEMTIME &t) {
  return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

TEST_F(System, TheVersionTheSystemFolderTheTickCountAndTheLocalTimeAreAsTheSystemReportsThem) {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  ASSERT_EQ(Try([&] { return GetVersionExA(&info); }), conformance::Succeeded());
  EXPECT_EQ(info.dwMajorVersion, 6u);
  EXPECT_EQ(info.dwMinorVersion, 1u);
  EXPECT_EQ(info.dwBuildNumber, 7601u);
  EXPECT_EQ(info.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_NT));
  EXPECT_STREQ(info.szCSDVersion, "Service Pack 1");

  // The extended record also gets the service pack's numbers and the product type.
  OSVERSIONINFOEXA ex{};
  ex.dwOSVersionInfoSize = sizeof ex;
  ex.wSuiteMask = 0xFFFF;
  ASSERT_TRUE(GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&ex)));
  EXPECT_EQ(ex.wServicePackMajor, 1u);
  EXPECT_EQ(ex.wServicePackMinor, 0u);
  EXPECT_EQ(ex.wSuiteMask, 0u);
  EXPECT_EQ(ex.wProductType, VER_NT_WORKSTATION);
  // Any other size fails with an insufficient buffer and leaves the record.
  for (DWORD size : {0u, 147u, 149u, 155u, 157u, 300u}) {
    OSVERSIONINFOEXA other{};
    other.dwOSVersionInfoSize = size;
    other.dwMajorVersion = 77;
    EXPECT_EQ(Try([&] { return GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&other)); }),
              Failed(ERROR_INSUFFICIENT_BUFFER))
        << size;
    EXPECT_EQ(other.dwMajorVersion, 77u) << size;
  }

  // The folder's case differs (Wine writes it in lower case), so it is compared without.
  char folder[MAX_PATH];
  SetLastError(kMarker);
  const UINT length = GetSystemDirectoryA(folder, MAX_PATH);
  ASSERT_EQ(length, std::strlen("C:\\Windows\\System32"));
  EXPECT_EQ(conformance::Lower(folder), "c:\\windows\\system32");
  for (UINT size : {0u, 8u, length}) {
    char small[MAX_PATH];
    std::memset(small, 'x', sizeof small);
    EXPECT_EQ(GetSystemDirectoryA(size == 0 ? nullptr : small, size), length + 1) << size;
    EXPECT_EQ(small[0], 'x') << size;
  }
  EXPECT_EQ(GetSystemDirectoryA(folder, length + 1), length);
  EXPECT_EQ(GetLastError(), kMarker);

  SetLastError(kMarker);
  const DWORD start = GetTickCount();
  EXPECT_LT(static_cast<DWORD>(GetTickCount64()) - start, 1000u);
  Sleep(100);
  const DWORD elapsed = GetTickCount() - start;
  // The count moves in steps of the timer interrupt, up to 16 ms.
  EXPECT_GE(elapsed, 100u - 16u);
  EXPECT_LT(elapsed, 5000u);
  EXPECT_EQ(GetLastError(), kMarker);

  SYSTEMTIME before{}, after{};
  GetLocalTime(&before);
  std::time_t now = time(nullptr);
  const struct tm local = *localtime(&now);
  GetLocalTime(&after);
  const Moment read = {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                       local.tm_hour,        local.tm_min,     local.tm_sec};
  EXPECT_LE(MomentOf(before), read);
  EXPECT_LE(read, MomentOf(after));
  EXPECT_EQ(local.tm_wday, local.tm_mday == after.wDay ? after.wDayOfWeek : before.wDayOfWeek);
  EXPECT_EQ(localtime(nullptr), nullptr);
}

int FormatFromList(LPWSTR out, LPCWSTR format, ...) {
  va_list args;
  va_start(args, format);
  int n = wvsprintfW(out, format, args);
  va_end(args);
  return n;
}

std::vector<WString> Split(const WString &line) {
  int count = -1;
  LPWSTR *argv = CommandLineToArgvW(line.c_str(), &count);
  std::vector<WString> out;
  if (argv == nullptr) return out;
  for (int i = 0; i < count; ++i) out.emplace_back(argv[i]);
  EXPECT_EQ(LocalFree(argv), nullptr);
  return out;
}

using Args = std::vector<WString>;

// Blanks separate arguments and quotes group them; backslashes are literal unless they precede
// a quote; doubled quotes inside quotes give one quote.
TEST_F(System, ACommandLineSplitsAsTheRuntimeSplitsItAndTheOwnModulesNameFillsOrTruncates) {
  EXPECT_EQ(Split(TEXT("prog \t a\t\tb  ")), (Args{TEXT("prog"), TEXT("a"), TEXT("b")}));
  EXPECT_EQ(Split(TEXT("\"C:\\Program Files\\prog.exe\" \"a b\" c")),
            (Args{TEXT("C:\\Program Files\\prog.exe"), TEXT("a b"), TEXT("c")}));
  EXPECT_EQ(Split(TEXT("prog \"\" x")), (Args{TEXT("prog"), TEXT(""), TEXT("x")}));
  EXPECT_EQ(Split(TEXT("prog \"open")), (Args{TEXT("prog"), TEXT("open")}));
  EXPECT_EQ(Split(TEXT("prog a\\\\b c\\")), (Args{TEXT("prog"), TEXT("a\\\\b"), TEXT("c\\")}));
  // Three backslashes and a quote: one backslash and a literal quote.
  EXPECT_EQ(Split(TEXT("prog a\\\\\\\"b")), (Args{TEXT("prog"), TEXT("a\\\"b")}));
  // Two backslashes and a quote: one backslash, and the quote ends the quoted part.
  EXPECT_EQ(Split(TEXT("prog \"a\\\\\" b")), (Args{TEXT("prog"), TEXT("a\\"), TEXT("b")}));
  EXPECT_EQ(Split(TEXT("prog \"a\"\"\"b c\"")), (Args{TEXT("prog"), TEXT("a\"b c")}));
  EXPECT_EQ(Split(TEXT("prog \"\"\"quoted\"\"\"")), (Args{TEXT("prog"), TEXT("\"quoted\"")}));
  // The program name ends at the first blank, or at the closing quote, and backslashes are never
  // special.
  EXPECT_EQ(Split(TEXT("C:\\dir\\prog\\\"x y")), (Args{TEXT("C:\\dir\\prog\\\"x"), TEXT("y")}));
  EXPECT_EQ(Split(TEXT("\"C:\\a b\\\"c d")), (Args{TEXT("C:\\a b\\"), TEXT("c"), TEXT("d")}));
  EXPECT_EQ(Split(TEXT("  a b")), (Args{TEXT(""), TEXT("a"), TEXT("b")}));
  // An empty line gives the module path.
  WCHAR path[MAX_PATH];
  DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  EXPECT_EQ(Split(TEXT("")), (Args{WString(path, length)}));

  // The program's own module handle is found by a null name; its file name, truncated, returns
  // the buffer's size.
  HMODULE module = GetModuleHandleA(nullptr);
  EXPECT_NE(module, nullptr);
  EXPECT_EQ(Try([] { return GetModuleHandleA("norvane-no-such-module.dll"); }),
            Failed(126));  // ERROR_MOD_NOT_FOUND

  char full[MAX_PATH];
  SetLastError(kMarker);
  length = GetModuleFileNameA(module, full, MAX_PATH);
  ASSERT_GT(length, 5u);
  EXPECT_EQ(std::string(full).size(), length);
  EXPECT_EQ(GetLastError(), 0u);

  char small[5];
  SetLastError(kMarker);
  EXPECT_EQ(GetModuleFileNameA(nullptr, small, sizeof small), 5u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  // The first four characters are the path's; whether the fifth is a terminator differs
  // between Windows versions, and Wine follows the older ones.
  EXPECT_EQ(std::string(small, 4), std::string(full, 4));
}

constexpr DWORD kMessageNotFound = 317;  // ERROR_MR_MID_NOT_FOUND
constexpr DWORD kSystemText =
    FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;

const DWORD kReportedCodes[] = {2,   3,    5,    6,    80,   87,   109,  122,  145,
                                183, 1052, 1056, 1060, 1061, 1062, 1063, 1072, 1073};

TEST_F(System, MessageTextsAndWsprintfAreFormattedAsWindowsFormatsThemAndTheLastErrorIsPerThread) {
  for (DWORD code : kReportedCodes) {
    SCOPED_TRACE(code);
    char *text = nullptr;
    DWORD length =
        FormatMessageA(kSystemText, nullptr, code, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    ASSERT_GT(length, 2u);
    ASSERT_NE(text, nullptr);
    std::string copy(text);
    EXPECT_EQ(copy.size(), length);
    EXPECT_TRUE(copy.ends_with("\r\n"));
    EXPECT_EQ(LocalFree(text), nullptr);
    WCHAR *wide = nullptr;
    length =
        FormatMessageW(kSystemText, nullptr, code, 0, reinterpret_cast<LPWSTR>(&wide), 0, nullptr);
    ASSERT_GT(length, 2u);
    WString wide_copy(wide);
    EXPECT_EQ(wide_copy.size(), length);
    EXPECT_EQ(wide_copy.substr(wide_copy.size() - 2), WString(TEXT("\r\n")));
    EXPECT_EQ(LocalFree(wide), nullptr);
  }
  // An unknown code has no text and no buffer.
  char *text = reinterpret_cast<char *>(static_cast<ULONG_PTR>(1));
  EXPECT_EQ(Try([&] {
              return FormatMessageA(kSystemText, nullptr, 0x1234, 0, reinterpret_cast<LPSTR>(&text),
                                    0, nullptr);
            }),
            Failed(kMessageNotFound));
  EXPECT_EQ(text, nullptr);
  // A string as the message excludes the system's table. Wine formats the string all the
  // same, so only winsim and Windows are held to it.
  if (!conformance::UnderWine()) {
    EXPECT_EQ(Try([&] {
                return FormatMessageA(kSystemText | FORMAT_MESSAGE_FROM_STRING, "x",
                                      ERROR_ACCESS_DENIED, 0, reinterpret_cast<LPSTR>(&text), 0,
                                      nullptr);
              }),
              Failed(ERROR_INVALID_PARAMETER));
  }
  // A caller's buffer too small for the text is insufficient; a large one takes it whole.
  char buffer[512];
  auto into = [&](DWORD size) {
    return FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                          ERROR_ACCESS_DENIED, 0, buffer, size, nullptr);
  };
  EXPECT_EQ(Try([&] { return into(4); }), Failed(ERROR_INSUFFICIENT_BUFFER));
  DWORD length = into(sizeof buffer);
  EXPECT_GT(length, 2u);
  EXPECT_EQ(std::string(buffer).size(), length);

  // The last error is per thread and kept until set.
  const LPTHREAD_START_ROUTINE set_and_read = [](LPVOID) -> DWORD {
    const DWORD inherited = GetLastError();
    SetLastError(77);
    return inherited == 1234 ? 1 : GetLastError();
  };
  HANDLE thread = CreateThread(nullptr, 0, set_and_read, nullptr, 0, nullptr);
  SetLastError(1234);  // CreateThread may have changed it
  // The thread started with its own error and kept what it set.
  EXPECT_EQ(conformance::JoinThread(thread), 77u);
  EXPECT_EQ(GetLastError(), 1234u);

  WCHAR formatted[1024];
  DWORD error = 5;
  int n = wsprintfW(formatted, TEXT("err 0x%08lx (%d) [%08X] %u|%5d|%-4d|%#x|%%|%c|%s|%hs|%.2s"),
                    error, -1051, 0xABCu, 4000000000u, 42, 3, 0x1Fu, TEXT('Z'), TEXT("wide"),
                    "narrow", TEXT("cut"));
  WString expected =
      TEXT("err 0x00000005 (-1051) [00000ABC] 4000000000|   42|3   |0x1f|%|Z|wide|narrow|cu");
  EXPECT_EQ(WString(formatted), expected);
  EXPECT_EQ(n, static_cast<int>(expected.size()));
  EXPECT_EQ(
      FormatFromList(formatted, TEXT("%s (%d) 0x%08lx"), TEXT("StartService failed"), 1056, 5ul),
      37);
  EXPECT_EQ(WString(formatted), WString(TEXT("StartService failed (1056) 0x00000005")));
  // At most 1023 characters and the terminator are written.
  WString long_text(2000, TEXT('a'));
  std::vector<WCHAR> large(1100, TEXT('#'));
  EXPECT_EQ(Try([&] { return wsprintfW(large.data(), TEXT("%s"), long_text.c_str()); }),
            conformance::Succeeded());
  EXPECT_EQ(WString(large.data()), long_text.substr(0, 1023));
  EXPECT_EQ(large[1024], TEXT('#'));
}

// A size without a buffer, a default character for UTF-8 (which has none) and flags the code
// page does not take are refused before anything is converted; Wine converts all the same where
// the documentation says the call fails.
TEST_F(System,
       TheAnsiCodePageIs932ItsTextConvertsAndItsNarrowHelpersKeepDoubleByteCharactersWhole) {
  EXPECT_EQ(GetACP(), 932u);
  // "日本語ｱA": three double-byte characters, a single-byte kana and a letter.
  const char text[] =
      "\x93\xfa\x96{\x8c\xea\xb1"
      "A";
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0), 6);
  WCHAR wide[8];
  EXPECT_EQ(MultiByteToWideChar(932, 0, text, -1, wide, 8), 6);
  EXPECT_EQ(WString(wide), WString(TEXT("日本語ｱA")));
  // A count without the terminator converts without it.
  EXPECT_EQ(MultiByteToWideChar(932, 0, text, 6, wide, 8), 3);

  WCHAR again[] = TEXT("日本語ｱA");
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, again, -1, nullptr, 0, nullptr, nullptr), 9);
  char narrow[16];
  EXPECT_EQ(WideCharToMultiByte(932, 0, again, -1, narrow, sizeof narrow, nullptr, nullptr), 9);
  EXPECT_EQ(std::string(narrow), std::string(text));
  // A conversion into a buffer too small fails ("日本語" into two characters, "日本" into three
  // bytes).
  EXPECT_EQ(Try([&] { return MultiByteToWideChar(932, 0, "\x93\xfa\x96{\x8c\xea", -1, wide, 2); }),
            Failed(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(Try([&] {
              return WideCharToMultiByte(932, 0, TEXT("日本"), -1, narrow, 3, nullptr, nullptr);
            }),
            Failed(ERROR_INSUFFICIENT_BUFFER));

  if (!conformance::UnderWine()) {
    char unchanged[8] = "-";
    BOOL used = kMarker;
    // What is wrong, the code page, the flags, the buffer and the flag of a default used.
    const std::tuple<const char *, UINT, DWORD, LPSTR, LPBOOL, DWORD> cases[] = {
        {"a size without a buffer", 932, 0, nullptr, nullptr, ERROR_INVALID_PARAMETER},
        {"a default for UTF-8", CP_UTF8, 0, unchanged, &used, ERROR_INVALID_PARAMETER},
        {"an unknown flag", 932, 0x8000, unchanged, nullptr, ERROR_INVALID_FLAGS},
        {"a flag UTF-8 does not take", CP_UTF8, WC_NO_BEST_FIT_CHARS, unchanged, nullptr,
         ERROR_INVALID_FLAGS},
    };
    for (const auto &[what, code_page, flags, buffer, used_flag, error] : cases) {
      EXPECT_EQ(Try([&] {
                  return WideCharToMultiByte(code_page, flags, TEXT("A"), -1, buffer,
                                             sizeof unchanged, nullptr, used_flag);
                }),
                Failed(error))
          << what;
    }
    EXPECT_EQ(std::string(unchanged), "-");
    EXPECT_EQ(used, static_cast<BOOL>(kMarker));
  }

  // "ア" is 0x83 0x41 and "表" 0x95 0x5C: their second bytes look like 'A' and '\'.
  char lowered[] =
      "ABC\x83"
      "A\x83"
      "C\x95\x5c\x82`\x82"
      "ax";  // "ABCアイ表ＡＢx"
  DWORD length = static_cast<DWORD>(std::strlen(lowered));
  EXPECT_EQ(CharLowerBuffA(lowered, length), length);
  // "abcアイ表ａｂx"
  EXPECT_EQ(std::string(lowered), std::string("abc\x83"
                                              "A\x83"
                                              "C\x95\x5c\x82\x81\x82\x82"
                                              "x"));
  // Wide, Latin and full-width letters are lowered.
  WCHAR wide_lowered[] = TEXT("ÀBÇ Ｚ日");
  EXPECT_EQ(CharLowerBuffW(wide_lowered, 5), 5u);
  EXPECT_EQ(WString(wide_lowered), WString(TEXT("àbç ｚ日")));

  // Lead bytes are recognised, and CharNext and StrStr step over whole characters.
  EXPECT_TRUE(IsDBCSLeadByte(0x83));
  EXPECT_TRUE(IsDBCSLeadByteEx(932, 0x95));
  EXPECT_FALSE(IsDBCSLeadByte('A'));
  EXPECT_FALSE(IsDBCSLeadByte(0xB1));  // single-byte kana
  const char mixed[] =
      "a\x83"
      "A";  // "aア"
  EXPECT_EQ(CharNextA(mixed), mixed + 1);
  EXPECT_EQ(CharNextA(mixed + 1), mixed + 3);
  EXPECT_EQ(CharNextA(mixed + 3), mixed + 3);
  EXPECT_EQ(lstrlenA(mixed), 3);
  EXPECT_EQ(lstrlenW(TEXT("aア")), 2);
  // A substring is not found inside a double-byte character.
  const char shown[] = "\x95\x5c\x8e\xa6\\x";  // "表示\x"
  EXPECT_EQ(StrStrA(shown, "\\"), shown + 4);
  EXPECT_EQ(StrStrA(shown, "\x8e\xa6"), shown + 2);  // "示"
  EXPECT_EQ(StrStrA(shown, "\\y"), nullptr);
}

}  // namespace
