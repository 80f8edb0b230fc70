// wsprintfW: flags, widths, precision, the 32-bit "l" size, wide and narrow text, and the limit
// of 1024 characters with the terminator; wvsprintfW takes the same arguments as a list.
#include <cstdarg>
#include <vector>

#include "Conformance.h"

namespace {

using conformance::kMarker;
using conformance::WString;

class Wsprintf : public conformance::Fixture {};

int FormatFromList(LPWSTR out, LPCWSTR format, ...) {
  va_list args;
  va_start(args, format);
  int n = wvsprintfW(out, format, args);
  va_end(args);
  return n;
}

TEST_F(Wsprintf, FormatsWithWindowsArgumentWidthsAndWritesAtMost1023CharactersAndTheTerminator) {
  WCHAR buffer[1024];
  DWORD error = 5;
  int n = wsprintfW(buffer, TEXT("err 0x%08lx (%d) [%08X] %u|%5d|%-4d|%#x|%%|%c|%s|%hs|%.2s"),
                    error, -1051, 0xABCu, 4000000000u, 42, 3, 0x1Fu, TEXT('Z'), TEXT("wide"),
                    "narrow", TEXT("cut"));
  WString expected =
      TEXT("err 0x00000005 (-1051) [00000ABC] 4000000000|   42|3   |0x1f|%|Z|wide|narrow|cu");
  EXPECT_EQ(WString(buffer), expected);
  EXPECT_EQ(n, static_cast<int>(expected.size()));
  EXPECT_EQ(FormatFromList(buffer, TEXT("%s (%d) 0x%08lx"), TEXT("StartService failed"), 1056, 5ul),
            37);
  EXPECT_EQ(WString(buffer), WString(TEXT("StartService failed (1056) 0x00000005")));
  // At most 1023 characters and the terminator are written.
  WString long_text(2000, TEXT('a'));
  std::vector<WCHAR> large(1100, TEXT('#'));
  SetLastError(kMarker);
  wsprintfW(large.data(), TEXT("%s"), long_text.c_str());
  EXPECT_EQ(GetLastError(), kMarker);
  EXPECT_EQ(WString(large.data()), long_text.substr(0, 1023));
  EXPECT_EQ(large[1024], TEXT('#'));
}

}  // namespace
