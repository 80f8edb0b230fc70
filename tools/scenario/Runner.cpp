#include "scenario/Runner.h"

#include <stdexcept>

#include "scenario/ScenarioError.h"
#include "scenario/TimelineView.h"

namespace scenario {
namespace {

std::string known_verbs(const Verbs &verbs) {
  std::string out;
  for (const auto &name : verbs.names()) out += name + ", ";
  return out + "end";
}

std::string trace_text(winsim::World &world, TraceFormat format) {
  if (format == TraceFormat::Timeline)
    return timeline_text(world.trace(), world.part<TimelineView>());
  return world.trace().jsonl();
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

void Runner::play(winsim::World &world, const Scenario &scenario) const {
  check(scenario);
  for (const Line &line : scenario.lines) {
    world.run_until(line.time);
    if (line.words[0] == "end") return;
    apply(world, line);
  }
}

RunResult Runner::run(const Scenario &scenario, TraceFormat format) const {
  check(scenario);
  winsim::World world;
  if (programs_) programs_(world);
  RunResult result;
  try {
    play(world, scenario);
  } catch (const winsim::RunStopped &stop) {
    result.stopped = stop.what();
  }
  result.ended_at = world.now();
  result.trace = trace_text(world, format);
  return result;
}

}  // namespace scenario
