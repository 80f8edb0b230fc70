// Conversions between the world's code pages, UTF-8 (winsim's internal form and the trace's)
// and UTF-16 (the wide functions' form). Also usable by tests to build the exact bytes a
// program writes, for example the code page 932 bytes of a Japanese message.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace winsim {

// Bytes in code page `codepage` to UTF-8. Bytes that do not form a character of the code page
// become U+FFFD.
std::string to_utf8(std::string_view bytes, unsigned codepage);
// UTF-8 to bytes in code page `codepage`. Characters the code page lacks become '?'.
std::string from_utf8(std::string_view utf8, unsigned codepage);
// Shorthand for tests: the code page 932 bytes of a UTF-8 text.
inline std::string cp932(std::string_view utf8) {
  return from_utf8(utf8, 932);
}

std::u16string utf8_to_utf16(std::string_view utf8);
std::string utf16_to_utf8(std::u16string_view utf16);

// Case folding as the registry, the file system and the service database compare names:
// ASCII and Latin-1 letters fold to lower case, everything else is kept.
std::string fold_case(std::string_view utf8);
bool equal_nocase(std::string_view a, std::string_view b);

// True when `c` starts a double-byte character in `codepage`.
bool is_lead_byte(unsigned codepage, unsigned char c);

}  // namespace winsim
