#include "scenario/Runner.h"

#include <stdexcept>

#include "scenario/ScenarioError.h"
#include "scenario/ScenarioRecorder.h"
#include "scenario/verbs/CoreVerbs.h"

namespace scenario {
namespace {

std::string known_verbs(const Verbs &verbs) {
  std::string out;
  for (const auto &name : verbs.names()) out += name + ", ";
  return out + "end";
}

// Lines that set how the run is shown rather than what happens in it.
bool is_view_setting(const Line &line) {
  return line.words[0] == "timeline";
}

}  // namespace

Runner::Runner(const Verbs &verbs, Setup programs)
    : verbs_(verbs), programs_(std::move(programs)) {}

void Runner::check(const Scenario &scenario) const {
  for (const Line &line : scenario.lines) {
    const std::string &verb = line.words[0];
    if (verb != "end" && verbs_.find(verb) == nullptr)
      throw ScenarioError(scenario.file, line.number,
                          "unknown verb \"" + verb + "\" (known: " + known_verbs(verbs_) + ")");
  }
}

void Runner::apply(winsim::World &world, const Line &line) const {
  try {
    (*verbs_.find(line.words[0]))(world, line);
  } catch (const LineError &e) {
    throw ScenarioError(line.file, line.number, e.what());
  } catch (const winsim::RunStopped &) {
    throw;
  } catch (const ScenarioError &) {
    throw;
  } catch (const std::exception &e) {
    throw std::runtime_error(line.where() + e.what());
  }
}

// The views that take the trace as it is made need their settings before the first record.
void Runner::apply_view_settings(winsim::World &world, const Scenario &scenario) const {
  for (const Line &line : scenario.lines)
    if (is_view_setting(line)) apply(world, line);
}

void Runner::play_lines(winsim::World &world, const Scenario &scenario) const {
  for (const Line &line : scenario.lines) {
    if (is_view_setting(line)) continue;
    world.run_until(line.time);
    if (line.words[0] == "end") return;
    ScenarioRecorder::of(world).record(world, line);
    apply(world, line);
  }
}

void Runner::play_line(winsim::World &world, const Line &line) const {
  world.run_until(line.time);
  if (line.words[0] == "end" || is_view_setting(line)) return;
  if (verbs_.find(line.words[0]) == nullptr)
    throw ScenarioError(line.file, line.number, "unknown verb \"" + line.words[0] + "\"");
  ScenarioRecorder::of(world).record(world, line);
  apply(world, line);
}

// A fault rule that no call matched injected nothing: a scenario or test that means to make a
// call fail would otherwise pass without it.
std::vector<int> Runner::report_unmatched_faults(winsim::World &world,
                                                 const Scenario &scenario) const {
  std::vector<int> lines = unmatched_fault_lines(world);
  for (int number : lines)
    for (const Line &line : scenario.lines)
      if (line.number == number) warn(line, "this fault rule matched no call: nothing failed");
  return lines;
}

void Runner::play(winsim::World &world, const Scenario &scenario) const {
  check(scenario);
  apply_view_settings(world, scenario);
  play_lines(world, scenario);
}

RunResult Runner::run(const Scenario &scenario, const Observe &observe) const {
  check(scenario);
  winsim::World world;
  world.trace().keep_records(false);
  if (programs_) programs_(world);
  struct FinishTrace {
    winsim::World &world;
    ~FinishTrace() { world.trace().finish(); }
  } finish{world};
  apply_view_settings(world, scenario);
  if (observe) observe(world);
  RunResult result;
  try {
    play_lines(world, scenario);
  } catch (const winsim::RunStopped &stop) {
    result.stopped = stop.what();
  }
  result.ended_at = world.now();
  result.unmatched_faults = report_unmatched_faults(world, scenario);
  return result;
}

}  // namespace scenario
