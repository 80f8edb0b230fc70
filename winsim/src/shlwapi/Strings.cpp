// The shell's lightweight string functions.
#include <cstring>

#include "core/Call.h"
#include "winsim/Text.h"
#include "winsim/win32.h"

using winsim::Call;

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
