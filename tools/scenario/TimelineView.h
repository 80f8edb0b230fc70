// How the timeline (simrun --timeline) shows a run. A scenario of hours or days repeats itself:
// every cycle of a service writes the same values, a blinking LED writes its pin twice a
// second. A scenario can ask the timeline to leave such repetition out, and to hide kinds of
// records it does not care about; the JSON Lines trace always holds every record.
//   timeline changes              a write that leaves things as they were is left out: a
//                                 registry value written (or deleted) as it already was, a pin
//                                 set to the level it has, a SMART read with the same result as
//                                 the drive's last one
//   timeline fold                 a thread's records that repeat its own earlier records at a
//                                 steady period are left out; one line says how long the
//                                 repetition lasted
//   timeline blinks               a pin that blinks (changes again within a second, over and
//                                 over) shows a line where the blinking starts and one where it
//                                 stops, with the level it was left at, in place of its writes
//   timeline hide <kind>...       records of these kinds are left out of the timeline
// The settings hold for the whole run, wherever their lines stand in the scenario.
#pragma once

#include <set>
#include <string>

#include "scenario/Verbs.h"
#include "winsim/Trace.h"

namespace scenario {

struct TimelineView {
  bool changes = false;
  bool fold = false;
  bool blinks = false;
  std::set<std::string> hidden;
};

// The timeline of the records `trace` kept, as `view` shows it.
std::string timeline_text(const winsim::Trace &trace, const TimelineView &view);

void add_timeline_verbs(Verbs &verbs);

}  // namespace scenario
