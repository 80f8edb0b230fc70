#include "kernel32/CommandLine.h"

#include "winsim/Text.h"

namespace winsim {
namespace {
bool blank(char16_t c) {
  return c == u' ' || c == u'\t';
}
}  // namespace

std::vector<std::string> program_candidates(const std::u16string &line) {
  std::vector<std::string> out;
  size_t i = 0;
  if (i < line.size() && line[i] == u'"') {
    size_t end = line.find(u'"', 1);
    out.push_back(utf16_to_utf8(
        line.substr(1, end == std::u16string::npos ? std::u16string::npos : end - 1)));
    return out;
  }
  size_t end = 0;
  while (end < line.size() && !blank(line[end])) ++end;
  out.push_back(utf16_to_utf8(line.substr(0, end)));
  while (end < line.size()) {
    while (end < line.size() && blank(line[end])) ++end;
    if (end == line.size()) break;
    while (end < line.size() && !blank(line[end])) ++end;
    out.push_back(utf16_to_utf8(line.substr(0, end)));
  }
  return out;
}

std::vector<std::u16string> split_arguments(const std::u16string &line) {
  std::vector<std::u16string> args;
  size_t i = 0;
  // The program name: up to the closing quote when quoted, else up to the first blank.
  std::u16string first;
  if (i < line.size() && line[i] == u'"') {
    ++i;
    while (i < line.size() && line[i] != u'"') first.push_back(line[i++]);
    if (i < line.size()) ++i;
  } else {
    while (i < line.size() && !blank(line[i])) first.push_back(line[i++]);
  }
  args.push_back(first);
  while (i < line.size() && blank(line[i])) ++i;

  // Further arguments. `quotes` counts the quote characters of the current quoted run: 1
  // means inside quotes. A run of quotes that reaches 3 yields one literal quote.
  while (i < line.size()) {
    std::u16string arg;
    int quotes = 0;
    size_t backslashes = 0;
    while (i < line.size()) {
      char16_t c = line[i];
      if (blank(c) && quotes == 0) break;
      if (c == u'\\') {
        ++backslashes;
        arg.push_back(c);
        ++i;
        continue;
      }
      if (c == u'"') {
        if (backslashes % 2 == 1) {
          // An odd count: half of them stay, and the quote is literal.
          arg.resize(arg.size() - backslashes / 2 - 1);
          arg.push_back(u'"');
          ++i;
          backslashes = 0;
          continue;
        }
        arg.resize(arg.size() - backslashes / 2);
        backslashes = 0;
        ++quotes;
        ++i;
        while (i < line.size() && line[i] == u'"') {
          if (++quotes == 3) {
            arg.push_back(u'"');
            quotes = 0;
          }
          ++i;
        }
        if (quotes == 2) quotes = 0;
        continue;
      }
      backslashes = 0;
      arg.push_back(c);
      ++i;
    }
    args.push_back(arg);
    while (i < line.size() && blank(line[i])) ++i;
  }
  return args;
}

}  // namespace winsim
