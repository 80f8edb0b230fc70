// Helpers for the scenario tests: play scenario text in a world with every verb of the
// simulator, catch the error a malformed line gives, and read a file whole.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>

#include "../WorldSeed.h"
#include "scenario/Programs.h"
#include "scenario/Runner.h"
#include "scenario/Scenario.h"
#include "scenario/ScenarioError.h"
#include "winsim/World.h"

namespace scenario_test {

inline const scenario::Verbs &all_verbs() {
  static const scenario::Verbs verbs = [] {
    scenario::Verbs v;
    scenario::register_verbs(v);
    return v;
  }();
  return verbs;
}

// The bytes of a file ("" when it cannot be read).
inline std::string file_text(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Plays the scenario text in `world` as the file "t.scn", seeded from WINSIM_SEED when that is
// set (and the text sets no seed of its own).
inline void play(winsim::World &world, std::string_view text) {
  world_seed::SeedWorld(world);
  scenario::Runner runner(all_verbs(), nullptr);
  runner.play(world, scenario::parse_scenario(text, "t.scn"));
}

struct Refusal {
  int line = 0;
  std::string message;  // the whole "file:line: ..." text
};

// The ScenarioError that parsing and playing the text in a fresh world gives, if any. No
// other world may exist while it runs.
inline std::optional<Refusal> refusal(std::string_view text) {
  try {
    winsim::World world;
    play(world, text);
  } catch (const scenario::ScenarioError &e) {
    return Refusal{e.line(), e.what()};
  }
  return std::nullopt;
}

}  // namespace scenario_test
