#include "installer/DebugOutput.h"

#include <cstdarg>

bool DebugOutput = false;

namespace {

// wsprintfW writes at most 1024 characters with the terminator.
constexpr int kMaxMessage = 1024;

void WriteToStandardOutput(LPCWSTR pszText, int cchText) {
  HANDLE hOut = GetStdHandle(STD_OUTPUT_HANDLE);
  if (hOut == nullptr || hOut == INVALID_HANDLE_VALUE) return;
  DWORD dwMode = 0;
  DWORD dwWritten = 0;
  if (GetConsoleMode(hOut, &dwMode)) {
    WriteConsoleW(hOut, pszText, static_cast<DWORD>(cchText), &dwWritten, nullptr);
    return;
  }
  // Up to three bytes for each UTF-16 unit, whatever the ANSI code page.
  char szBytes[kMaxMessage * 3];
  int cbBytes =
      WideCharToMultiByte(CP_ACP, 0, pszText, cchText, szBytes, sizeof szBytes, nullptr, nullptr);
  if (cbBytes > 0) WriteFile(hOut, szBytes, static_cast<DWORD>(cbBytes), &dwWritten, nullptr);
}

}  // namespace

void DebugPrint(LPCWSTR pszFormat, ...) {
  if (!DebugOutput) return;
  DWORD dwLastError = GetLastError();
  WCHAR szText[kMaxMessage];
  va_list args;
  va_start(args, pszFormat);
  wvsprintfW(szText, pszFormat, args);
  va_end(args);
  int cchText = lstrlenW(szText);
  if (cchText > 0) WriteToStandardOutput(szText, cchText);
  SetLastError(dwLastError);
}

void PrintAlways(LPCWSTR pszText) {
  WriteToStandardOutput(pszText, lstrlenW(pszText));
}
