#include "scenario/Verbs.h"

#include <charconv>
#include <cmath>
#include <iostream>
#include <limits>

#include "scenario/ScenarioRecorder.h"

namespace scenario {
namespace {

std::ostream *g_warnings = nullptr;

std::string quoted(const std::string &text) {
  return "\"" + text + "\"";
}

LineError bad_number(const std::string &text, const char *what, const char *expected) {
  return LineError(std::string("bad ") + what + " " + quoted(text) + ": expected " + expected);
}

bool is_hex_prefixed(const std::string &text) {
  return text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
}

// Whole-text conversion of an unsigned number, decimal or 0x hex; nothing on any leftover,
// sign or overflow.
template <typename T>
bool to_unsigned(const std::string &text, T &out) {
  if (text.empty()) return false;
  int base = is_hex_prefixed(text) ? 16 : 10;
  const char *first = text.data() + (base == 16 ? 2 : 0);
  const char *last = text.data() + text.size();
  auto [end, ec] = std::from_chars(first, last, out, base);
  return ec == std::errc() && end == last;
}

std::uint64_t unit_milliseconds(const std::string &unit, bool &known) {
  known = true;
  if (unit.empty() || unit == "ms") return 1;
  if (unit == "s") return 1000;
  if (unit == "m") return 60 * 1000;
  if (unit == "h") return 60 * 60 * 1000;
  known = false;
  return 0;
}

// Exact decimal arithmetic: "1.5" of unit 1000 is 1500; a result that is not a whole number of
// milliseconds is refused rather than rounded, so a scenario's times mean what they say.
bool scaled(const std::string &integer, const std::string &fraction, std::uint64_t unit,
            std::uint64_t &out) {
  std::uint64_t whole = 0;
  if (!integer.empty() && !to_unsigned(integer, whole)) return false;
  if (__builtin_mul_overflow(whole, unit, &out)) return false;
  if (fraction.empty()) return true;
  if (fraction.size() > 9) return false;
  std::uint64_t numerator = 0;
  std::uint64_t denominator = 1;
  for (char c : fraction) {
    numerator = numerator * 10 + static_cast<std::uint64_t>(c - '0');
    denominator *= 10;
  }
  std::uint64_t part = 0;
  if (__builtin_mul_overflow(numerator, unit, &part)) return false;
  if (part % denominator != 0) return false;
  return !__builtin_add_overflow(out, part / denominator, &out);
}

}  // namespace

std::string Line::rest(std::size_t index) const {
  if (index >= starts.size()) return std::string();
  return text.substr(starts[index]);
}

std::filesystem::path Line::host_path(std::size_t index) const {
  std::filesystem::path path(word(index, "file"));
  return path.is_absolute() ? path : folder / path;
}

const std::string &Line::word(std::size_t index, const char *what) const {
  if (index >= words.size()) {
    std::string verb = words.empty() ? std::string() : words[0] + ": ";
    throw LineError(verb + "missing " + what);
  }
  return words[index];
}

void Line::no_more_than(std::size_t last) const {
  if (words.size() > last + 1)
    throw LineError(words[0] + ": unexpected " + quoted(words[last + 1]) + " after the " +
                    (last == 0 ? std::string("verb") : quoted(words[last])));
}

std::string Line::where() const {
  return file.string() + ":" + std::to_string(number) + ": ";
}

void Verbs::add(const std::string &verb, Handler handler, std::string syntax) {
  verbs_[verb] = Entry{std::move(handler), std::move(syntax)};
}

const Handler *Verbs::find(const std::string &verb) const {
  auto it = verbs_.find(verb);
  return it == verbs_.end() ? nullptr : &it->second.handler;
}

std::vector<std::string> Verbs::names() const {
  std::vector<std::string> out;
  for (const auto &entry : verbs_) out.push_back(entry.first);
  return out;
}

std::vector<std::string> Verbs::forms() const {
  std::vector<std::string> out;
  for (const auto &[verb, entry] : verbs_) {
    std::size_t start = 0;
    while (start < entry.syntax.size()) {
      std::size_t end = entry.syntax.find('\n', start);
      if (end == std::string::npos) end = entry.syntax.size();
      out.push_back(entry.syntax.substr(start, end - start));
      start = end + 1;
    }
  }
  return out;
}

std::uint32_t parse_u32(const std::string &text, const char *what) {
  std::uint32_t value = 0;
  if (!to_unsigned(text, value))
    throw bad_number(text, what, "a number from 0 to 4294967295 (decimal or 0x hex)");
  return value;
}

std::uint64_t parse_u64(const std::string &text, const char *what) {
  std::uint64_t value = 0;
  if (!to_unsigned(text, value))
    throw bad_number(text, what, "a number from 0 to 18446744073709551615 (decimal or 0x hex)");
  return value;
}

std::int32_t parse_i32(const std::string &text, const char *what) {
  const char *expected = "a number from -2147483648 to 2147483647 (decimal or 0x hex)";
  bool negative = !text.empty() && text[0] == '-';
  std::uint32_t magnitude = 0;
  if (!to_unsigned(negative ? text.substr(1) : text, magnitude))
    throw bad_number(text, what, expected);
  if (negative) {
    if (magnitude > 0x80000000u) throw bad_number(text, what, expected);
    return static_cast<std::int32_t>(0u - magnitude);
  }
  // Hex is a bit pattern (0xFFFFFFFF is -1), as a DWORD read back as LONG would be.
  if (!is_hex_prefixed(text) && magnitude > 0x7FFFFFFFu) throw bad_number(text, what, expected);
  return static_cast<std::int32_t>(magnitude);
}

double parse_double(const std::string &text, const char *what) {
  double value = 0;
  const char *last = text.data() + text.size();
  auto [end, ec] = std::from_chars(text.data(), last, value);
  if (text.empty() || ec != std::errc() || end != last || !std::isfinite(value))
    throw bad_number(text, what, "a decimal number such as 41.5");
  return value;
}

std::uint64_t parse_duration(const std::string &text, const char *what) {
  const char *expected = "a duration such as 250ms, 1.5s, 2m or 1h (a bare number is ms)";
  std::size_t i = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
  std::string integer = text.substr(0, i);
  std::string fraction;
  if (i < text.size() && text[i] == '.') {
    std::size_t start = ++i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    fraction = text.substr(start, i - start);
    if (fraction.empty()) throw bad_number(text, what, expected);
  }
  if (integer.empty() && fraction.empty()) throw bad_number(text, what, expected);
  bool known = false;
  std::uint64_t unit = unit_milliseconds(text.substr(i), known);
  if (!known) throw bad_number(text, what, expected);
  std::uint64_t ms = 0;
  if (!scaled(integer, fraction, unit, ms)) {
    if (!fraction.empty())
      throw LineError(std::string("bad ") + what + " " + quoted(text) +
                      ": not a whole number of milliseconds, or too large");
    throw bad_number(text, what, expected);
  }
  return ms;
}

void warn(const Line &line, const std::string &message) {
  std::ostream &out = g_warnings != nullptr ? *g_warnings : std::cerr;
  out << line.where() << "warning: " << message << '\n';
  if (winsim::World *world = winsim::World::find())
    ScenarioRecorder::of(*world).warn(*world, line, message);
}

void set_warning_stream(std::ostream *stream) {
  g_warnings = stream;
}

}  // namespace scenario
