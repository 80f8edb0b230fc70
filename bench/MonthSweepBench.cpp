// A month of random faults: the health scenario's day played for 30 simulated days while the
// programs' calls fail at random (the sweep's --random run, seed 1, one call in ten thousand).
// Reported: the failed calls, the fatal ends of the service, the host's peak memory and whether
// every check held. Target: 30 days in under 60 s of real time on two cores.
//   build/sim/bench/month_sweep_bench
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "BenchRunner.h"
#include "scenario/Runner.h"
#include "scenario/Scenario.h"
#include "sweep/MonthRun.h"

namespace {

void BM_MonthOfRandomFaults(benchmark::State &state) {
  scenario::Scenario day =
      scenario::load_scenario(std::string(NORVANE_SOURCE_DIR) + "/scenarios/health.scn");
  sweep::MonthOptions options;
  options.days = static_cast<unsigned>(state.range(0));
  for (auto _ : state) {
    sweep::MonthResult result = sweep::run_month(TheRunner(), day, options);
    state.counters["calls_failed"] = static_cast<double>(result.calls_failed);
    state.counters["fatal_ends"] = result.fatal_ends;
    std::uint64_t peak_kb = 0;
    for (std::uint64_t kb : result.daily_kb) peak_kb = std::max(peak_kb, kb);
    state.counters["peak_MB"] = static_cast<double>(peak_kb) / 1024;
    state.counters["broken"] = static_cast<double>(result.broken.size());
    if (!result.broken.empty()) state.SkipWithError(result.broken.front().c_str());
  }
}
BENCHMARK(BM_MonthOfRandomFaults)->Arg(30)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
