// System message texts: present for the codes the programs report, absent for unknown codes.
// The texts themselves differ (Wine's Japanese locale gives Japanese texts), so only their
// presence and shape are compared.
#include "Conformance.h"

namespace {

using conformance::kMarker;

class ErrorTexts : public conformance::Fixture {};

constexpr DWORD kMessageNotFound = 317;  // ERROR_MR_MID_NOT_FOUND
constexpr DWORD kSystemText =
    FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;

const DWORD kReportedCodes[] = {2,   3,    5,    6,    80,   87,   109,  122,  145,
                                183, 1052, 1056, 1060, 1061, 1062, 1063, 1072, 1073};

bool EndsWithLineBreak(const std::string &text) {
  return text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0;
}

TEST_F(ErrorTexts, EveryReportedCodeHasATextEndingInALineBreakAndAnUnknownOneNone) {
  for (DWORD code : kReportedCodes) {
    SCOPED_TRACE(code);
    char *text = nullptr;
    DWORD length =
        FormatMessageA(kSystemText, nullptr, code, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    ASSERT_GT(length, 2u);
    ASSERT_NE(text, nullptr);
    std::string copy(text);
    EXPECT_EQ(copy.size(), length);
    EXPECT_TRUE(EndsWithLineBreak(copy));
    EXPECT_EQ(LocalFree(text), nullptr);
    WCHAR *wide = nullptr;
    length =
        FormatMessageW(kSystemText, nullptr, code, 0, reinterpret_cast<LPWSTR>(&wide), 0, nullptr);
    ASSERT_GT(length, 2u);
    conformance::WString wide_copy(wide);
    EXPECT_EQ(wide_copy.size(), length);
    EXPECT_EQ(wide_copy.substr(wide_copy.size() - 2), conformance::WString(TEXT("\r\n")));
    EXPECT_EQ(LocalFree(wide), nullptr);
  }
  // An unknown code has no text and no buffer.
  char *text = reinterpret_cast<char *>(static_cast<ULONG_PTR>(1));
  SetLastError(kMarker);
  EXPECT_EQ(
      FormatMessageA(kSystemText, nullptr, 0x1234, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr),
      0u);
  EXPECT_EQ(GetLastError(), kMessageNotFound);
  EXPECT_EQ(text, nullptr);
  // A string as the message excludes the system's table. Wine formats the string all the
  // same, so only winsim and Windows are held to it.
  if (!conformance::UnderWine()) {
    SetLastError(kMarker);
    EXPECT_EQ(FormatMessageA(kSystemText | FORMAT_MESSAGE_FROM_STRING, "x", ERROR_ACCESS_DENIED, 0,
                             reinterpret_cast<LPSTR>(&text), 0, nullptr),
              0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  }

  WCHAR *wide = nullptr;
  SetLastError(kMarker);
  EXPECT_EQ(
      FormatMessageW(kSystemText, nullptr, 0x1234, 0, reinterpret_cast<LPWSTR>(&wide), 0, nullptr),
      0u);
  EXPECT_EQ(GetLastError(), kMessageNotFound);

  // A caller's buffer too small for the text is insufficient.
  char buffer[4];
  SetLastError(kMarker);
  EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           ERROR_ACCESS_DENIED, 0, buffer, sizeof buffer, nullptr),
            0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));

  char large[512];
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                ERROR_ACCESS_DENIED, 0, large, sizeof large, nullptr);
  EXPECT_GT(length, 2u);
  EXPECT_EQ(std::string(large).size(), length);
}

DWORD WINAPI SetAndReadOwnError(LPVOID) {
  DWORD inherited = GetLastError();
  SetLastError(77);
  return inherited == 1234 ? 1 : GetLastError();
}

TEST_F(ErrorTexts, TheLastErrorIsPerThreadAndKeptUntilSet) {
  HANDLE thread = CreateThread(nullptr, 0, SetAndReadOwnError, nullptr, 0, nullptr);
  SetLastError(1234);  // CreateThread may have changed it
  WaitForSingleObject(thread, INFINITE);
  DWORD code = 0;
  GetExitCodeThread(thread, &code);
  CloseHandle(thread);
  EXPECT_EQ(code, 77u);  // the thread started with its own error and kept what it set
  EXPECT_EQ(GetLastError(), 1234u);
  EXPECT_EQ(GetLastError(), 1234u);
}

}  // namespace
