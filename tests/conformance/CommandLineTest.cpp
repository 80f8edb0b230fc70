// Command lines and modules: splitting a command line into arguments, the module file name and
// the module handle.
#include <vector>

#include "Conformance.h"

namespace {

using conformance::kMarker;
using conformance::WString;

class CommandLine : public conformance::Fixture {};

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
TEST_F(CommandLine, ALineSplitsIntoArgumentsAsTheRuntimeSplitsIt) {
  EXPECT_EQ(Split(TEXT("prog a b")), (Args{TEXT("prog"), TEXT("a"), TEXT("b")}));
  EXPECT_EQ(Split(TEXT("prog \t a\t\tb  ")), (Args{TEXT("prog"), TEXT("a"), TEXT("b")}));
  EXPECT_EQ(Split(TEXT("\"C:\\Program Files\\prog.exe\" \"a b\" c")),
            (Args{TEXT("C:\\Program Files\\prog.exe"), TEXT("a b"), TEXT("c")}));
  EXPECT_EQ(Split(TEXT("prog a\"b c\"d")), (Args{TEXT("prog"), TEXT("ab cd")}));
  EXPECT_EQ(Split(TEXT("prog \"\" x")), (Args{TEXT("prog"), TEXT(""), TEXT("x")}));
  EXPECT_EQ(Split(TEXT("prog \"open")), (Args{TEXT("prog"), TEXT("open")}));
  EXPECT_EQ(Split(TEXT("prog a\\\\b c\\")), (Args{TEXT("prog"), TEXT("a\\\\b"), TEXT("c\\")}));
  // Three backslashes and a quote: one backslash and a literal quote.
  EXPECT_EQ(Split(TEXT("prog a\\\\\\\"b")), (Args{TEXT("prog"), TEXT("a\\\"b")}));
  // Two backslashes and a quote: one backslash, and the quote ends the quoted part.
  EXPECT_EQ(Split(TEXT("prog \"a\\\\\" b")), (Args{TEXT("prog"), TEXT("a\\"), TEXT("b")}));
  EXPECT_EQ(Split(TEXT("prog \\\"x\\\"")), (Args{TEXT("prog"), TEXT("\"x\"")}));
  EXPECT_EQ(Split(TEXT("prog \"a\"\"b\"")), (Args{TEXT("prog"), TEXT("a\"b")}));
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
}

// The program's own module handle is found by a null name; its file name, truncated, returns the
// buffer's size.
TEST_F(CommandLine, TheOwnModuleIsFoundByNullAndATruncatedFileNameReturnsTheBufferSize) {
  HMODULE module = GetModuleHandleA(nullptr);
  EXPECT_NE(module, nullptr);
  EXPECT_EQ(GetModuleHandleW(nullptr), module);
  SetLastError(kMarker);
  EXPECT_EQ(GetModuleHandleA("norvane-no-such-module.dll"), nullptr);
  EXPECT_EQ(GetLastError(), 126u);  // ERROR_MOD_NOT_FOUND

  char full[MAX_PATH];
  SetLastError(kMarker);
  DWORD length = GetModuleFileNameA(module, full, MAX_PATH);
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

  WCHAR wide[3];
  SetLastError(kMarker);
  EXPECT_EQ(GetModuleFileNameW(nullptr, wide, 3), 3u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

}  // namespace
