// Code pages, the text helpers of the user and shell libraries, and wsprintf.
#pragma once

#include <cstdarg>

#include "winsim/win32/types.h"

#define CP_ACP 0
#define CP_OEMCP 1
#define CP_THREAD_ACP 3
#define CP_UTF8 65001
#define MB_ERR_INVALID_CHARS 0x00000008
#define WC_NO_BEST_FIT_CHARS 0x00000400

UINT WINAPI GetACP();
UINT WINAPI GetOEMCP();
int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar);
int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                               LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                               LPBOOL lpUsedDefaultChar);
BOOL WINAPI IsDBCSLeadByte(BYTE TestChar);
BOOL WINAPI IsDBCSLeadByteEx(UINT CodePage, BYTE TestChar);
LPSTR WINAPI CharNextA(LPCSTR lpsz);
DWORD WINAPI CharLowerBuffA(LPSTR lpsz, DWORD cchLength);
DWORD WINAPI CharLowerBuffW(LPWSTR lpsz, DWORD cchLength);
int WINAPI lstrlenA(LPCSTR lpString);
int WINAPI lstrlenW(LPCWSTR lpString);
PSTR WINAPI StrStrA(PCSTR pszFirst, PCSTR pszSrch);

// The user library's formatting: %[-][#][0][width][.precision][h|l|w|I64]type with the types
// c C d i u x X s S and %%. Arguments have their Windows widths: "l" is 32 bits, "h" 16 bits,
// "I64" 64 bits. In the wide form %s and %c take wide text and %S and %C narrow text (in the
// ANSI code page). At most 1023 characters and the terminator are written.
int WINAPIV wsprintfW(LPWSTR lpOut, LPCWSTR lpFmt, ...);
int WINAPI wvsprintfW(LPWSTR lpOut, LPCWSTR lpFmt, va_list arglist);
