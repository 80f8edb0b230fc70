// A scenario file read into lines with their virtual times. Times are "0", "250ms", "1.5s",
// "2m", "1h", or "+10s" for a time relative to the previous line; a time never goes back.
// Blank lines and comments are skipped. The last line is "<time> end": the time the run stops.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string_view>
#include <vector>

#include "scenario/Verbs.h"

namespace scenario {

struct Scenario {
  std::filesystem::path file;
  std::vector<Line> lines;  // in order; the last one is the end line

  std::uint64_t end_time() const { return lines.empty() ? 0 : lines.back().time; }
};

// Reads a scenario from its text; `file` names it in messages and gives the folder that
// relative host paths start from. Throws ScenarioError.
Scenario parse_scenario(std::string_view text, const std::filesystem::path &file);

// Reads the file; throws std::runtime_error when it cannot be read, ScenarioError when it is
// malformed.
Scenario load_scenario(const std::filesystem::path &file);

}  // namespace scenario
