#include "scenario/Scenario.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "scenario/ScenarioError.h"
#include "scenario/Words.h"

namespace scenario {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr const char *kTimeForms = "a time such as 0, 250ms, 1.5s, 2m, 1h or +10s";

std::string describe_ms(std::uint64_t ms) {
  return std::to_string(ms) + " ms";
}

// The line's time: absolute, or relative to the previous line's with a leading '+'.
std::uint64_t line_time(const std::string &word, std::uint64_t previous) {
  bool relative = !word.empty() && word[0] == '+';
  std::uint64_t value = 0;
  try {
    value = parse_duration(relative ? word.substr(1) : word, "time");
  } catch (const LineError &) {
    throw LineError(std::string("expected ") + kTimeForms + " at the start of the line, found \"" +
                    word + "\"");
  }
  if (!relative) {
    if (value < previous)
      throw LineError("time \"" + word + "\" (" + describe_ms(value) +
                      ") is before the previous line's time (" + describe_ms(previous) + ")");
    return value;
  }
  if (value > UINT64_MAX - previous) throw LineError("time \"" + word + "\" is too large");
  return previous + value;
}

// Physical lines without their line ends (LF or CRLF).
std::vector<std::string_view> physical_lines(std::string_view text) {
  if (text.substr(0, kUtf8Bom.size()) == kUtf8Bom) text.remove_prefix(kUtf8Bom.size());
  std::vector<std::string_view> out;
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t nl = text.find('\n', i);
    std::size_t end = nl == std::string_view::npos ? text.size() : nl;
    std::string_view line = text.substr(i, end - i);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    out.push_back(line);
    i = end + 1;
  }
  return out;
}

Line make_line(std::string_view raw, int number, std::uint64_t previous,
               const std::filesystem::path &file) {
  Words split = split_words(raw);
  Line line;
  line.number = number;
  line.file = file;
  line.folder = file.parent_path().empty() ? std::filesystem::path(".") : file.parent_path();
  line.time = line_time(split.words[0], previous);
  if (split.words.size() < 2) throw LineError("missing verb after the time");
  std::size_t from = split.starts[1];
  line.text = std::string(raw.substr(from, split.end - from));
  for (std::size_t i = 1; i < split.words.size(); ++i) {
    line.words.push_back(std::move(split.words[i]));
    line.starts.push_back(split.starts[i] - from);
  }
  return line;
}

bool is_blank_or_comment(std::string_view raw) {
  for (char c : raw) {
    if (c == ' ' || c == '\t') continue;
    return c == '#';
  }
  return true;
}

}  // namespace

Scenario parse_scenario(std::string_view text, const std::filesystem::path &file) {
  Scenario scenario;
  scenario.file = file;
  auto raws = physical_lines(text);
  std::uint64_t previous = 0;
  bool ended = false;
  int number = 0;
  for (std::string_view raw : raws) {
    ++number;
    if (is_blank_or_comment(raw)) continue;
    if (ended) throw ScenarioError(file, number, "nothing may follow the end line");
    try {
      Line line = make_line(raw, number, previous, file);
      previous = line.time;
      if (line.words[0] == "end") {
        line.no_more_than(0);
        ended = true;
      }
      scenario.lines.push_back(std::move(line));
    } catch (const LineError &e) {
      throw ScenarioError(file, number, e.what());
    }
  }
  if (!ended)
    throw ScenarioError(file, number == 0 ? 1 : number,
                        "the scenario has no end line; finish it with the time the run stops, "
                        "for example \"4m end\"");
  return scenario;
}

Scenario load_scenario(const std::filesystem::path &file) {
  std::error_code ec;
  if (std::filesystem::is_directory(file, ec))
    throw std::runtime_error("cannot read " + file.string() + ": it is a folder");
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + file.string() + ": " + std::strerror(errno));
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) throw std::runtime_error("cannot read " + file.string());
  return parse_scenario(text.str(), file);
}

}  // namespace scenario
