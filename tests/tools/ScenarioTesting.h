// Helpers for the scenario tests: play scenario text in a world with every verb of the
// simulator, check the error a malformed text gives, read a file whole, and build a record.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
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

// A trace record as a sink takes it: time, process, thread and kind, then its own fields.
inline winsim::TraceSink::Record record(std::uint64_t t, std::uint32_t pid, std::uint32_t tid,
                                        const char *kind, winsim::TraceSink::Record fields) {
  winsim::TraceSink::Record r = {{"t", t}, {"pid", pid}, {"tid", tid}, {"kind", kind}};
  for (auto &[key, value] : fields.items()) r[key] = value;
  return r;
}

// Parsing and playing the text in a fresh world is refused with a ScenarioError at `line` with
// the message. No other world may exist while it runs.
inline void expect_refused(const std::string &text, int line, const std::string &message) {
  SCOPED_TRACE(text);
  try {
    winsim::World world;
    play(world, text);
  } catch (const scenario::ScenarioError &e) {
    EXPECT_EQ(e.line(), line);
    EXPECT_EQ(std::string(e.what()), "t.scn:" + std::to_string(line) + ": " + message);
    return;
  }
  ADD_FAILURE() << "not refused";
}

}  // namespace scenario_test
