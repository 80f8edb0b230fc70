// The one place that knows every simulated program and every scenario verb: simrun and the
// tests that run whole scenarios take both from here.
#pragma once

#include "scenario/Verbs.h"
#include "winsim/World.h"

namespace scenario {

// Registers every program a scenario's "run" line may start (by image name) in a new world.
void register_programs(winsim::World &world);

// Adds every verb of the scenario language.
void register_verbs(Verbs &verbs);

}  // namespace scenario
