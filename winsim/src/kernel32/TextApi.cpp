// Code pages, their conversions and lead bytes, and the lengths of strings.
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

int WINAPI lstrlenA(LPCSTR lpString) {
  Call call("lstrlenA");
  return lpString == nullptr ? 0 : static_cast<int>(std::strlen(lpString));
}

int WINAPI lstrlenW(LPCWSTR lpString) {
  Call call("lstrlenW");
  return lpString == nullptr ? 0 : static_cast<int>(std::char_traits<char16_t>::length(lpString));
}
