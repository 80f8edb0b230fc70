// Code page conversions and the narrow-text helpers.
#include <cstring>

#include "core/Call.h"
#include "winsim/Text.h"
#include "winsim/win32.h"

using winsim::Call;

namespace {

unsigned code_page(Call &call, UINT cp) {
  if (cp == CP_ACP || cp == CP_THREAD_ACP || cp == CP_OEMCP) return call.world.acp();
  return cp;
}

// The flags WideCharToMultiByte takes: WC_COMPOSITECHECK, WC_DISCARDNS, WC_SEPCHARS,
// WC_DEFAULTCHAR and WC_NO_BEST_FIT_CHARS; for UTF-8 only WC_ERR_INVALID_CHARS.
constexpr DWORD kConversionFlags = 0x200 | 0x10 | 0x20 | 0x40 | 0x400;
constexpr DWORD kUtf8Flags = 0x80;

bool known_code_page(unsigned cp) {
  return cp == 932 || cp == 1252 || cp == 437 || cp == 65001;
}

// Lower case of one UTF-16 unit, as the user library maps letters: ASCII, Latin-1, Greek,
// Cyrillic and the full-width Latin letters.
char16_t lower(char16_t c) {
  if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c + 32);
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<char16_t>(c + 32);
  if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return static_cast<char16_t>(c + 32);
  if (c >= 0x410 && c <= 0x42F) return static_cast<char16_t>(c + 32);
  if (c >= 0x400 && c <= 0x40F) return static_cast<char16_t>(c + 80);
  if (c >= 0xFF21 && c <= 0xFF3A) return static_cast<char16_t>(c + 32);
  return c;
}

}  // namespace

UINT WINAPI GetACP() {
  Call call("GetACP");
  return call.world.acp();
}

UINT WINAPI GetOEMCP() {
  Call call("GetOEMCP");
  return call.world.acp() == 932 ? 932 : 437;
}

int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar) {
  Call call("MultiByteToWideChar");
  (void)dwFlags;
  unsigned cp = code_page(call, CodePage);
  if (!known_code_page(cp)) return call.fail_with(ERROR_INVALID_PARAMETER, 0);
  if (lpMultiByteStr == nullptr || cbMultiByte == 0 || cchWideChar < 0)
    return call.fail_with(ERROR_INVALID_PARAMETER, 0);
  std::string bytes = cbMultiByte < 0
                          ? std::string(lpMultiByteStr, std::strlen(lpMultiByteStr) + 1)
                          : std::string(lpMultiByteStr, static_cast<size_t>(cbMultiByte));
  std::u16string wide;
  size_t start = 0;
  for (size_t i = 0; i <= bytes.size(); ++i)
    if (i == bytes.size() || bytes[i] == '\0') {
      wide += winsim::utf8_to_utf16(winsim::to_utf8(bytes.substr(start, i - start), cp));
      if (i < bytes.size()) wide.push_back(u'\0');
      start = i + 1;
    }
  int needed = static_cast<int>(wide.size());
  if (cchWideChar == 0) return needed;
  if (cchWideChar < needed) return call.fail_with(ERROR_INSUFFICIENT_BUFFER, 0);
  std::memcpy(lpWideCharStr, wide.data(), wide.size() * sizeof(char16_t));
  return needed;
}

int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                               LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                               LPBOOL lpUsedDefaultChar) {
  Call call("WideCharToMultiByte");
  if (auto e = call.fault({}, ERROR_INVALID_PARAMETER)) return call.fail_with(*e, 0);
  unsigned cp = code_page(call, CodePage);
  if (!known_code_page(cp)) return call.fail_with(ERROR_INVALID_PARAMETER, 0);
  // A size without a buffer is invalid; so is a default character for UTF-8, which has none.
  if (lpWideCharStr == nullptr || cchWideChar == 0 || cbMultiByte < 0 ||
      (lpMultiByteStr == nullptr && cbMultiByte != 0) ||
      (cp == CP_UTF8 && (lpDefaultChar != nullptr || lpUsedDefaultChar != nullptr)))
    return call.fail_with(ERROR_INVALID_PARAMETER, 0);
  if (dwFlags & ~(cp == CP_UTF8 ? kUtf8Flags : kConversionFlags))
    return call.fail_with(ERROR_INVALID_FLAGS, 0);
  std::u16string wide =
      cchWideChar < 0
          ? std::u16string(lpWideCharStr, std::char_traits<char16_t>::length(lpWideCharStr) + 1)
          : std::u16string(lpWideCharStr, static_cast<size_t>(cchWideChar));
  std::string bytes;
  size_t start = 0;
  for (size_t i = 0; i <= wide.size(); ++i)
    if (i == wide.size() || wide[i] == u'\0') {
      bytes += winsim::from_utf8(winsim::utf16_to_utf8(wide.substr(start, i - start)), cp);
      if (i < wide.size()) bytes.push_back('\0');
      start = i + 1;
    }
  if (lpUsedDefaultChar != nullptr) *lpUsedDefaultChar = FALSE;
  int needed = static_cast<int>(bytes.size());
  if (cbMultiByte == 0) return needed;
  if (cbMultiByte < needed) return call.fail_with(ERROR_INSUFFICIENT_BUFFER, 0);
  std::memcpy(lpMultiByteStr, bytes.data(), bytes.size());
  return needed;
}

BOOL WINAPI IsDBCSLeadByte(BYTE TestChar) {
  Call call("IsDBCSLeadByte");
  return winsim::is_lead_byte(call.world.acp(), TestChar) ? TRUE : FALSE;
}

BOOL WINAPI IsDBCSLeadByteEx(UINT CodePage, BYTE TestChar) {
  Call call("IsDBCSLeadByteEx");
  return winsim::is_lead_byte(code_page(call, CodePage), TestChar) ? TRUE : FALSE;
}

LPSTR WINAPI CharNextA(LPCSTR lpsz) {
  Call call("CharNextA");
  if (*lpsz == '\0') return const_cast<LPSTR>(lpsz);
  if (winsim::is_lead_byte(call.world.acp(), static_cast<unsigned char>(*lpsz)) && lpsz[1] != '\0')
    return const_cast<LPSTR>(lpsz + 2);
  return const_cast<LPSTR>(lpsz + 1);
}

DWORD WINAPI CharLowerBuffA(LPSTR lpsz, DWORD cchLength) {
  Call call("CharLowerBuffA");
  if (lpsz == nullptr) return 0;
  // As the user library does: through UTF-16 and back, so double-byte characters stay whole.
  unsigned cp = call.world.acp();
  std::string bytes(lpsz, cchLength);
  std::u16string wide = winsim::utf8_to_utf16(winsim::to_utf8(bytes, cp));
  for (auto &c : wide) c = lower(c);
  std::string lowered = winsim::from_utf8(winsim::utf16_to_utf8(wide), cp);
  if (lowered.size() == bytes.size()) std::memcpy(lpsz, lowered.data(), lowered.size());
  return cchLength;
}

DWORD WINAPI CharLowerBuffW(LPWSTR lpsz, DWORD cchLength) {
  Call call("CharLowerBuffW");
  if (lpsz == nullptr) return 0;
  for (DWORD i = 0; i < cchLength; ++i) lpsz[i] = lower(lpsz[i]);
  return cchLength;
}

int WINAPI lstrlenA(LPCSTR lpString) {
  Call call("lstrlenA");
  return lpString == nullptr ? 0 : static_cast<int>(std::strlen(lpString));
}

int WINAPI lstrlenW(LPCWSTR lpString) {
  Call call("lstrlenW");
  return lpString == nullptr ? 0 : static_cast<int>(std::char_traits<char16_t>::length(lpString));
}

PSTR WINAPI StrStrA(PCSTR pszFirst, PCSTR pszSrch) {
  Call call("StrStrA");
  if (pszFirst == nullptr || pszSrch == nullptr) return nullptr;
  size_t n = std::strlen(pszSrch);
  unsigned cp = call.world.acp();
  // A match may only begin on a character boundary, never on the trail byte of a
  // double-byte character.
  for (const char *p = pszFirst; *p != '\0';) {
    if (std::strncmp(p, pszSrch, n) == 0) return const_cast<PSTR>(p);
    p += (winsim::is_lead_byte(cp, static_cast<unsigned char>(*p)) && p[1] != '\0') ? 2 : 1;
  }
  return n == 0 ? const_cast<PSTR>(pszFirst) : nullptr;
}
