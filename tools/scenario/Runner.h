// Runs a scenario on a fresh simulated machine: each line is applied at its virtual time (the
// world runs until then, a `scenario` record says what the line does, then the verb's handler
// acts), and at the end line the run stops. The trace goes, as it is made, to the sinks the
// caller attaches.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "scenario/Scenario.h"
#include "scenario/Verbs.h"
#include "winsim/World.h"

namespace scenario {

struct RunResult {
  std::optional<std::string> stopped;  // the world's report when it stopped the run
  std::uint64_t ended_at = 0;          // virtual ms at which the run ended
  // The lines of fault rules that matched no call, so made nothing fail (each also a warning).
  std::vector<int> unmatched_faults;
};

class Runner {
 public:
  // `programs` registers the simulated programs in each new world.
  using Setup = std::function<void(winsim::World &)>;
  // Attaches the trace's sinks to a new world, once its programs and the scenario's timeline
  // settings are in place and before its first line runs.
  using Observe = std::function<void(winsim::World &)>;
  Runner(const Verbs &verbs, Setup programs);

  // Throws ScenarioError for the first line whose verb is unknown.
  void check(const Scenario &scenario) const;

  // Runs the scenario in a new world (so no other World may exist) that keeps no trace records
  // of its own. Throws ScenarioError for a line whose arguments are wrong and
  // std::runtime_error, its message starting with "file:line: ", for a line that cannot be
  // carried out. A deadlock or busy loop ends the run early: `stopped` holds the report, and
  // the sinks have what happened until then. The sinks are finished in every case.
  RunResult run(const Scenario &scenario, const Observe &observe) const;

  // Applies the lines to an existing world up to the end line, as run does, without setting
  // the world up or catching winsim::RunStopped: for tests that inspect the world afterwards.
  void play(winsim::World &world, const Scenario &scenario) const;
  // Runs the world until the line's time and applies the line (nothing for the end line or a
  // view setting), for drivers that decide line by line what comes next.
  void play_line(winsim::World &world, const Line &line) const;

 private:
  void apply(winsim::World &world, const Line &line) const;
  void apply_view_settings(winsim::World &world, const Scenario &scenario) const;
  void play_lines(winsim::World &world, const Scenario &scenario) const;
  std::vector<int> report_unmatched_faults(winsim::World &world, const Scenario &scenario) const;

  const Verbs &verbs_;
  Setup programs_;
};

}  // namespace scenario
