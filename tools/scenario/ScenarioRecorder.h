// What the scenario did, in the trace beside what the machine did: a `scenario` record for each
// line that acts on the world, made before the line acts, so that its effects follow their
// cause. Fields:
//   line, text   the line's number and its text after the time, as written
//   note         what the line means to the appliance, where its words are codes: the RAID
//                state a "SRaidInfoEx" value sets, a snooze, a control and power event by name,
//                the machine going to sleep and waking ("asleep from 0:04:00.000 to ...")
//   reading, value, unit, result
//                a reading the board or a disk gives from now on ("CPU fan", 1850, "rpm")
//   power        "suspend" or "resume": the machine goes to sleep, or wakes
// and one {line, text, warning} record for each warning about a line (a service the scenario
// could not start, a fault rule that never matched a call). The records have pid 0 and tid 0:
// they come from outside the machine.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "scenario/Verbs.h"
#include "winsim/World.h"

namespace scenario {

class ScenarioRecorder {
 public:
  // The recorder of `world`'s run.
  static ScenarioRecorder &of(winsim::World &world) { return world.part<ScenarioRecorder>(); }

  void record(winsim::World &world, const Line &line);
  void warn(winsim::World &world, const Line &line, const std::string &message);

 private:
  void add_power(winsim::World &world, const Line &line, winsim::Trace::Record &fields);

  std::optional<std::uint64_t> asleep_since_;
};

}  // namespace scenario
