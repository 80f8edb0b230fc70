#include "winsim/Text.h"

#include <iconv.h>

#include <cerrno>
#include <map>
#include <memory>
#include <stdexcept>
#include <utility>

namespace winsim {
namespace {

const char *iconv_name(unsigned codepage) {
  switch (codepage) {
    case 932:
      return "CP932";
    case 1252:
      return "CP1252";
    case 437:
      return "CP437";
    case 65001:
      return "UTF-8";
    default:
      return nullptr;
  }
}

// One converter per direction and code page and thread; iconv descriptors are not shareable
// between threads, and simulated threads are real threads. They are closed when the thread ends.
class Converters {
 public:
  ~Converters() {
    for (auto &[key, cd] : cache_) iconv_close(cd);
  }
  iconv_t get(const char *to, const char *from) {
    auto key = std::make_pair(std::string(to), std::string(from));
    auto it = cache_.find(key);
    if (it != cache_.end()) {
      iconv(it->second, nullptr, nullptr, nullptr, nullptr);
      return it->second;
    }
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
      throw std::runtime_error("winsim: iconv cannot convert");
    cache_.emplace(key, cd);
    return cd;
  }

 private:
  std::map<std::pair<std::string, std::string>, iconv_t> cache_;
};

iconv_t converter(const char *to, const char *from) {
  thread_local Converters converters;
  return converters.get(to, from);
}

// Converts with replacement: an input sequence that cannot be converted is skipped (one byte,
// or one UTF-8 character) and `replacement` (already in the target encoding) is written.
std::string convert(std::string_view in, const char *to, const char *from,
                    std::string_view replacement, bool from_utf8_input) {
  iconv_t cd = converter(to, from);
  std::string out;
  char *src = const_cast<char *>(in.data());
  size_t left = in.size();
  char buf[256];
  while (left > 0) {
    char *dst = buf;
    size_t room = sizeof buf;
    size_t r = iconv(cd, &src, &left, &dst, &room);
    out.append(buf, static_cast<size_t>(dst - buf));
    if (r == static_cast<size_t>(-1)) {
      if (errno == E2BIG) continue;
      // EILSEQ or EINVAL: replace one input unit.
      size_t skip = 1;
      if (from_utf8_input) {
        unsigned char c = static_cast<unsigned char>(*src);
        skip = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        if (skip > left) skip = left;
      }
      src += skip;
      left -= skip;
      out.append(replacement);
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  return out;
}

}  // namespace

std::string to_utf8(std::string_view bytes, unsigned codepage) {
  if (codepage == 65001) return std::string(bytes);
  const char *name = iconv_name(codepage);
  if (name == nullptr) name = "CP1252";
  return convert(bytes, "UTF-8", name, "\xEF\xBF\xBD", false);
}

std::string from_utf8(std::string_view utf8, unsigned codepage) {
  if (codepage == 65001) return std::string(utf8);
  const char *name = iconv_name(codepage);
  if (name == nullptr) name = "CP1252";
  return convert(utf8, name, "UTF-8", "?", true);
}

std::u16string utf8_to_utf16(std::string_view utf8) {
  std::string raw = convert(utf8, "UTF-16LE", "UTF-8", std::string("\xFD\xFF", 2), true);
  std::u16string out(raw.size() / 2, u'\0');
  for (size_t i = 0; i < out.size(); ++i)
    out[i] = static_cast<char16_t>(static_cast<unsigned char>(raw[2 * i]) |
                                   (static_cast<unsigned char>(raw[2 * i + 1]) << 8));
  return out;
}

std::string utf16_to_utf8(std::u16string_view utf16) {
  std::string raw(utf16.size() * 2, '\0');
  for (size_t i = 0; i < utf16.size(); ++i) {
    raw[2 * i] = static_cast<char>(utf16[i] & 0xFF);
    raw[2 * i + 1] = static_cast<char>(utf16[i] >> 8);
  }
  return convert(raw, "UTF-8", "UTF-16LE", "\xEF\xBF\xBD", false);
}

std::string fold_case(std::string_view utf8) {
  std::string out(utf8);
  for (size_t i = 0; i < out.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(out[i]);
    if (c >= 'A' && c <= 'Z') {
      out[i] = static_cast<char>(c + 32);
    } else if (c == 0xC3 && i + 1 < out.size()) {
      unsigned char d = static_cast<unsigned char>(out[i + 1]);
      // U+00C0..U+00DE except U+00D7 (multiplication sign).
      if (d >= 0x80 && d <= 0x9E && d != 0x97) out[i + 1] = static_cast<char>(d + 0x20);
      ++i;
    }
  }
  return out;
}

bool equal_nocase(std::string_view a, std::string_view b) {
  return fold_case(a) == fold_case(b);
}

bool is_lead_byte(unsigned codepage, unsigned char c) {
  if (codepage == 932) return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
  return false;
}

}  // namespace winsim
