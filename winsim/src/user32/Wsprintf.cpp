// wsprintfW and wvsprintfW: the user library's own small formatter, with Windows argument
// widths whatever the host's C library thinks of "long".
#include <optional>
#include <string>

#include "core/Call.h"
#include "winsim/Text.h"
#include "winsim/win32.h"

namespace {

// The user library's limit: the output buffer holds 1024 characters with the terminator.
constexpr size_t kMaxOutput = 1024;

struct Spec {
  bool left = false;
  bool prefix = false;
  bool zero = false;
  size_t width = 0;
  std::optional<size_t> precision;
  enum class Size { Default, Short, Long, Wide, Int64 } size = Size::Default;
  WCHAR type = 0;
};

// Reads the conversion (flags, width, precision, size, type) after a %; returns where the
// format goes on.
LPCWSTR parse_spec(LPCWSTR p, Spec &spec) {
  for (;; ++p) {
    if (*p == u'-')
      spec.left = true;
    else if (*p == u'#')
      spec.prefix = true;
    else if (*p == u'0')
      spec.zero = true;
    else
      break;
  }
  for (; *p >= u'0' && *p <= u'9'; ++p)
    spec.width = spec.width * 10 + static_cast<size_t>(*p - u'0');
  if (*p == u'.') {
    size_t precision = 0;
    for (++p; *p >= u'0' && *p <= u'9'; ++p)
      precision = precision * 10 + static_cast<size_t>(*p - u'0');
    spec.precision = precision;
  }
  if (*p == u'h') {
    spec.size = Spec::Size::Short;
    ++p;
  } else if (*p == u'l') {
    spec.size = Spec::Size::Long;
    ++p;
  } else if (*p == u'w') {
    spec.size = Spec::Size::Wide;
    ++p;
  } else if (p[0] == u'I' && p[1] == u'6' && p[2] == u'4') {
    spec.size = Spec::Size::Int64;
    p += 3;
  }
  spec.type = *p;
  return *p != 0 ? p + 1 : p;
}

std::u16string narrow_to_wide(winsim::World &world, const char *text, size_t length) {
  return winsim::utf8_to_utf16(winsim::to_utf8(std::string_view(text, length), world.acp()));
}

// The digits of a number in base 10 or 16, at least `precision` of them.
std::u16string digits(std::uint64_t value, unsigned base, bool upper, size_t precision) {
  const char *set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  std::u16string out;
  while (value != 0) {
    out.insert(out.begin(), static_cast<char16_t>(set[value % base]));
    value /= base;
  }
  while (out.size() < precision) out.insert(out.begin(), u'0');
  return out;
}

// One formatted field, padded to its conversion's width.
std::u16string field(winsim::World &world, const Spec &spec, va_list &args) {
  std::u16string body, sign;
  bool numeric = false;
  bool wide_text = spec.type == u's' || spec.type == u'c'
                       ? spec.size != Spec::Size::Short
                       : spec.size == Spec::Size::Long || spec.size == Spec::Size::Wide;
  switch (spec.type) {
    case u'c':
    case u'C': {
      int c = va_arg(args, int);
      if (wide_text) {
        body.push_back(static_cast<char16_t>(c));
      } else {
        char narrow = static_cast<char>(c);
        body = narrow_to_wide(world, &narrow, 1);
      }
      break;
    }
    case u's':
    case u'S': {
      if (wide_text) {
        auto text = va_arg(args, LPCWSTR);
        body = text != nullptr ? std::u16string(text) : u"(null)";
      } else {
        auto text = va_arg(args, LPCSTR);
        body = text != nullptr ? narrow_to_wide(world, text, std::char_traits<char>::length(text))
                               : u"(null)";
      }
      if (spec.precision && body.size() > *spec.precision) body.resize(*spec.precision);
      break;
    }
    case u'd':
    case u'i':
    case u'u':
    case u'x':
    case u'X': {
      numeric = true;
      bool is_signed = spec.type == u'd' || spec.type == u'i';
      std::uint64_t magnitude = 0;
      if (spec.size == Spec::Size::Int64) {
        auto v = va_arg(args, std::int64_t);
        magnitude =
            is_signed && v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
        if (is_signed && v < 0) sign = u"-";
      } else {
        auto v = static_cast<std::int32_t>(va_arg(args, int));
        if (spec.size == Spec::Size::Short)
          v = is_signed ? static_cast<std::int16_t>(v) : static_cast<std::uint16_t>(v);
        if (is_signed && v < 0) {
          sign = u"-";
          magnitude = 0 - static_cast<std::uint64_t>(static_cast<std::int64_t>(v));
        } else {
          magnitude = static_cast<std::uint32_t>(v);
        }
      }
      bool hex = spec.type == u'x' || spec.type == u'X';
      if (hex && spec.prefix) sign = spec.type == u'x' ? u"0x" : u"0X";
      body = digits(magnitude, hex ? 16 : 10, spec.type == u'X', spec.precision.value_or(1));
      break;
    }
    default:
      // Not a type the formatter knows: the character itself, as the user library writes it.
      if (spec.type != 0) body.push_back(spec.type);
      return body;
  }
  size_t length = sign.size() + body.size();
  if (length >= spec.width) return sign + body;
  std::u16string pad(spec.width - length, u' ');
  if (spec.left) return sign + body + pad;
  if (spec.zero && numeric) return sign + std::u16string(pad.size(), u'0') + body;
  return pad + sign + body;
}

}  // namespace

int WINAPI wvsprintfW(LPWSTR lpOut, LPCWSTR lpFmt, va_list arglist) {
  winsim::Call call("wvsprintfW");
  va_list args;
  va_copy(args, arglist);
  std::u16string out;
  for (LPCWSTR p = lpFmt; p != nullptr && *p != 0 && out.size() < kMaxOutput;) {
    if (*p != u'%') {
      out.push_back(*p++);
      continue;
    }
    Spec spec;
    p = parse_spec(p + 1, spec);
    out += field(call.world, spec, args);
  }
  va_end(args);
  bool truncated = out.size() >= kMaxOutput;
  if (truncated) out.resize(kMaxOutput - 1);
  out.copy(lpOut, out.size());
  lpOut[out.size()] = 0;
  return truncated ? static_cast<int>(kMaxOutput) : static_cast<int>(out.size());
}

int WINAPIV wsprintfW(LPWSTR lpOut, LPCWSTR lpFmt, ...) {
  va_list args;
  va_start(args, lpFmt);
  int n = wvsprintfW(lpOut, lpFmt, args);
  va_end(args);
  return n;
}
