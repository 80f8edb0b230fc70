// Text in the ANSI code page 932: conversions to and from UTF-16, and the narrow helpers that
// must leave double-byte characters whole.
#include <cstring>

#include "Conformance.h"

namespace {

using conformance::kMarker;
using conformance::WString;

class CodePage : public conformance::Fixture {};

TEST_F(CodePage, TheAnsiCodePageIs932AndItsTextConvertsToUtf16AndBackIntoBuffersLargeEnough) {
  EXPECT_EQ(GetACP(), 932u);
  // "日本語ｱA": three double-byte characters, a single-byte kana and a letter.
  const char text[] =
      "\x93\xfa\x96{\x8c\xea\xb1"
      "A";
  ASSERT_EQ(sizeof text, 9u);
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
  // A conversion into a buffer too small fails.
  SetLastError(kMarker);
  EXPECT_EQ(MultiByteToWideChar(932, 0, "\x93\xfa\x96{\x8c\xea", -1, wide, 2), 0);  // 日本語
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  SetLastError(kMarker);
  EXPECT_EQ(WideCharToMultiByte(932, 0, TEXT("日本"), -1, narrow, 3, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

// A size without a buffer, a default character for UTF-8 (which has none) and flags the code
// page does not take are refused before anything is converted.
TEST_F(CodePage, AConversionWithParametersTheCodePageDoesNotTakeIsRefused) {
  // Wine converts all the same where the documentation says the call fails.
  if (conformance::UnderWine()) GTEST_SKIP() << "Wine does not check these parameters";
  char narrow[8] = "-";
  BOOL used = kMarker;
  const struct {
    const char *what;
    UINT code_page;
    DWORD flags;
    LPSTR buffer;
    LPBOOL used;
    DWORD error;
  } cases[] = {
      {"a size without a buffer", 932, 0, nullptr, nullptr, ERROR_INVALID_PARAMETER},
      {"a default for UTF-8", CP_UTF8, 0, narrow, &used, ERROR_INVALID_PARAMETER},
      {"an unknown flag", 932, 0x8000, narrow, nullptr, ERROR_INVALID_FLAGS},
      {"a flag UTF-8 does not take", CP_UTF8, WC_NO_BEST_FIT_CHARS, narrow, nullptr,
       ERROR_INVALID_FLAGS},
  };
  for (const auto &c : cases) {
    SetLastError(kMarker);
    EXPECT_EQ(WideCharToMultiByte(c.code_page, c.flags, TEXT("A"), -1, c.buffer, sizeof narrow,
                                  nullptr, c.used),
              0)
        << c.what;
    EXPECT_EQ(GetLastError(), c.error) << c.what;
  }
  EXPECT_EQ(std::string(narrow), "-");
  EXPECT_EQ(used, static_cast<BOOL>(kMarker));
}

TEST_F(CodePage, LoweringTextLowersLettersAndKeepsDoubleByteCharactersWhole) {
  // "ア" is 0x83 0x41 and "表" 0x95 0x5C: their second bytes look like 'A' and '\'.
  char text[] =
      "ABC\x83"
      "A\x83"
      "C\x95\x5c\x82`\x82"
      "ax";  // "ABCアイ表ＡＢx"
  std::string before = text;
  DWORD length = static_cast<DWORD>(std::strlen(text));
  EXPECT_EQ(CharLowerBuffA(text, length), length);
  // "abcアイ表ａｂx"
  EXPECT_EQ(std::string(text), std::string("abc\x83"
                                           "A\x83"
                                           "C\x95\x5c\x82\x81\x82\x82"
                                           "x"));
  EXPECT_EQ(std::string(text).size(), before.size());
  // Wide, Latin and full-width letters are lowered.
  WCHAR wide[] = TEXT("ÀBÇ Ｚ日");
  EXPECT_EQ(CharLowerBuffW(wide, 5), 5u);
  EXPECT_EQ(WString(wide), WString(TEXT("àbç ｚ日")));
}

TEST_F(CodePage, LeadBytesAreRecognisedAndCharNextAndStrStrStepOverWholeCharacters) {
  EXPECT_TRUE(IsDBCSLeadByte(0x83));
  EXPECT_TRUE(IsDBCSLeadByteEx(932, 0x95));
  EXPECT_FALSE(IsDBCSLeadByte('A'));
  EXPECT_FALSE(IsDBCSLeadByte(0xB1));  // single-byte kana
  const char text[] =
      "a\x83"
      "A";  // "aア"
  EXPECT_EQ(CharNextA(text), text + 1);
  EXPECT_EQ(CharNextA(text + 1), text + 3);
  EXPECT_EQ(CharNextA(text + 3), text + 3);
  EXPECT_EQ(lstrlenA(text), 3);
  EXPECT_EQ(lstrlenW(TEXT("aア")), 2);
  // A substring is not found inside a double-byte character.
  const char shown[] = "\x95\x5c\x8e\xa6\\x";  // "表示\x"
  EXPECT_EQ(StrStrA(shown, "\\"), shown + 4);
  EXPECT_EQ(StrStrA(shown, "\x8e\xa6"), shown + 2);  // "示"
  EXPECT_EQ(StrStrA(shown, "\\y"), nullptr);
}

}  // namespace
