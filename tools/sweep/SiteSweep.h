// The fault sweep over a scenario's call sites: one run records every (call, calling program
// function) pair the programs reach; then, per pair, one run fails the site's first call and one
// fails every call from it, and each run is checked (RunChecks). A broken check that the run
// without faults also shows is the scenario's own and not counted against the fault.
//
// Each run is a child process of the sweep, so that a run that brings the host down is one
// broken line, not the end of the sweep, and so that runs can go side by side.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "scenario/Runner.h"
#include "scenario/Scenario.h"
#include "winsim/FaultPlan.h"

namespace sweep {

struct RunOutcome {
  std::vector<std::string> broken;      // checks broken (or why the run could not be judged)
  std::vector<winsim::CallSite> sites;  // the sites reached (recording runs only)
  std::uint64_t failed_calls = 0;       // calls the rule made fail
};

// Runs the scenario once in a child process, with `rule` in its fault plan, recording the
// sites reached when asked. The world runs 30 s past the end line, so that a stop asked for near
// the end can be judged.
RunOutcome run_in_child(const scenario::Runner &runner, const scenario::Scenario &scenario,
                        const std::optional<winsim::Fault> &rule, bool record);

struct SweepOptions {
  unsigned jobs = 2;  // runs side by side
  bool first = true;  // fail the first call of each site
  bool every = true;  // fail every call of each site
};

// Sweeps the scenario's sites, printing one line per run and a total for the scenario.
// Returns the number of runs with a broken check.
unsigned sweep_scenario(const scenario::Runner &runner, const scenario::Scenario &scenario,
                        const SweepOptions &options, std::ostream &out);

}  // namespace sweep
