// The user library's character functions on narrow and wide text: stepping over a character
// and lower case.
#include <cstring>

#include "core/Call.h"
#include "winsim/Text.h"
#include "winsim/win32.h"

using winsim::Call;

namespace {

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
