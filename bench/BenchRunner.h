// The scenario runner the benchmarks share: every verb, every program of the simulator.
#pragma once

#include "scenario/Programs.h"
#include "scenario/Runner.h"

inline const scenario::Runner &TheRunner() {
  static scenario::Verbs verbs = [] {
    scenario::Verbs v;
    scenario::register_verbs(v);
    return v;
  }();
  static scenario::Runner runner(verbs, scenario::register_programs);
  return runner;
}
