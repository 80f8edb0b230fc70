// The scenario language's verbs. A scenario line is "<time> <verb> <arguments>"; the runner
// waits until the line's virtual time, then calls the verb's handler. Each part of the
// simulated machine contributes its own verbs (registry, faults, programs, board, ...).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <iosfwd>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "winsim/World.h"

namespace scenario {

struct Line {
  int number = 0;                  // 1-based line number in the scenario file
  std::uint64_t time = 0;          // virtual milliseconds
  std::vector<std::string> words;  // the words after the time, quotes removed; words[0] is the verb
  std::vector<std::size_t> starts;  // offset in `text` at which each word starts
  std::string text;                 // the line after its time, as written
  std::filesystem::path folder;     // folder of the scenario file
  std::filesystem::path file;       // the scenario file itself, for messages

  // The line's text from word `index` on, exactly as written (quotes kept): for command lines.
  std::string rest(std::size_t index) const;
  // words[index] as a host file path: relative paths are taken from the scenario's folder.
  std::filesystem::path host_path(std::size_t index) const;
  // words[index], or a LineError naming what is missing.
  const std::string &word(std::size_t index, const char *what) const;
  // A LineError unless the line has no words after words[last].
  void no_more_than(std::size_t last) const;
  // "file:line: " for messages about this line.
  std::string where() const;
};

// A malformed line: the runner stops with the line number and this message (exit code 2).
class LineError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

using Handler = std::function<void(winsim::World &, const Line &)>;

class Verbs {
 public:
  // `verb` is the first word of the line ("reg", "fault", "board"); the handler reads the rest.
  // `syntax` gives the verb's forms, one a line ("board fan <rpm> [result <code>]").
  void add(const std::string &verb, Handler handler, std::string syntax);
  const Handler *find(const std::string &verb) const;
  std::vector<std::string> names() const;
  // Every form of every verb, in the order of their names (simrun --verbs).
  std::vector<std::string> forms() const;

 private:
  struct Entry {
    Handler handler;
    std::string syntax;
  };
  std::map<std::string, Entry> verbs_;
};

// Helpers for handlers: numbers as scenario files write them.
std::uint32_t parse_u32(const std::string &text, const char *what);  // decimal or 0x hex
std::uint64_t parse_u64(const std::string &text, const char *what);  // decimal or 0x hex
std::int32_t parse_i32(const std::string &text, const char *what);   // signed decimal or 0x hex
double parse_double(const std::string &text, const char *what);
// A duration as "250ms", "1.5s", "2m", "1h" (bare numbers are milliseconds).
std::uint64_t parse_duration(const std::string &text, const char *what);

// A note about a line that is not an error (for example an event nobody has created yet):
// written as "file:line: warning: message" to the warning stream (standard error by default),
// and into the trace of the world that exists, as a `scenario` record with the warning.
void warn(const Line &line, const std::string &message);
void set_warning_stream(std::ostream *stream);

}  // namespace scenario
