// Long runs stay bounded, and the world's lookups do not slow down with its history.
//
// BM_HangingTool runs Quillet checking every 60 s for 1, 4 and 10 simulated weeks while the
// WMI tool hangs at every start, so that every cycle waits a minute for it and terminates it: a
// process whose thread ends blocked, every two minutes. Reported: the host's resident memory
// at the end of the run (the world still alive), its growth over the run, the processes
// started and what is left of them (loaded images, thread records). Target: ten weeks end
// within a few MB of one week. Peak memory is the host process's, so for the peak run one
// benchmark per process:
//   build/sim/bench/long_run_bench --benchmark_filter='HangingTool/10'
//
// BM_ProcessLookup asks a world for a running process's state and for an ended one's after
// 1 000, 10 000 and 100 000 short processes. Target: the time per lookup does not grow with
// the number of ended processes.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "BenchRunner.h"
#include "HostUsage.h"
#include "platform/win32.h"
#include "scenario/Programs.h"
#include "scenario/Runner.h"
#include "scenario/Scenario.h"
#include "winsim/World.h"

namespace {

// The appliance in its normal state, started, for `weeks`, with a WMI tool that never ends.
scenario::Scenario HangingTool(int weeks) {
  std::string text =
      "0 reg set HKLM\\SOFTWARE\\Wow6432Node\\Norvane\\Tesmar\\Config CheckInterval dword 60\n"
      "0 reg set HKLM\\SOFTWARE\\Wow6432Node\\Norvane\\Applications\\NorvaneNas\\RDSCANSV "
      "SRaidInfoEx dword 0x1\n"
      "0 board init 0\n"
      "0 wmic hang\n"
      "0 run \"C:\\Program Files\\Norvane\\Quillet.exe\" -install\n"
      "1s sc start Orvexd\n" +
      std::to_string(weeks * 7 * 24) + "h end\n";
  return scenario::parse_scenario(text, NORVANE_SOURCE_DIR "/scenarios/bench.scn");
}

void BM_HangingTool(benchmark::State &state) {
  const int weeks = static_cast<int>(state.range(0));
  scenario::Scenario scenario = HangingTool(weeks);
  for (auto _ : state) {
    double cpu = ProcessorS();
    long rss_start = StatusKb("VmRSS");
    winsim::World world;
    world.trace().keep_records(false);
    scenario::register_programs(world);
    try {
      TheRunner().play(world, scenario);
    } catch (const winsim::RunStopped &stop) {
      state.SkipWithError(stop.what());
    }
    long rss_end = StatusKb("VmRSS");
    state.counters["rss_end_MB"] = static_cast<double>(rss_end) / 1024;
    state.counters["rss_growth_MB"] = static_cast<double>(rss_end - rss_start) / 1024;
    state.counters["processes"] = static_cast<double>(world.processes().size());
    state.counters["images_loaded"] = static_cast<double>(world.loaded_images());
    state.counters["thread_records"] = static_cast<double>(world.thread_records());
    state.counters["cpu_s"] = ProcessorS() - cpu;
  }
  state.counters["peak_rss_MB"] = static_cast<double>(StatusKb("VmHWM")) / 1024;
}
BENCHMARK(BM_HangingTool)->Arg(1)->Arg(4)->Arg(10)->Unit(benchmark::kSecond)->Iterations(1);

int ShortMain() {
  return 7;
}

void BM_ProcessLookup(benchmark::State &state) {
  const int ended = static_cast<int>(state.range(0));
  winsim::World world;
  world.add_program("short.exe", ShortMain);
  world.place_program("C:\\short.exe", "short.exe");
  std::uint32_t first = 0;
  for (int i = 0; i < ended; ++i) {
    std::uint32_t pid = world.start("C:\\short.exe");
    world.wait_exit(pid);
    if (i == 0) first = pid;
  }
  world.add_program("sleeper.exe", [] {
    Sleep(INFINITE);
    return 0;
  });
  world.place_program("C:\\sleeper.exe", "sleeper.exe");
  std::uint32_t live = world.start("C:\\sleeper.exe");
  world.run_for(0);
  std::uint64_t answers = 0;
  for (auto _ : state) {
    answers += world.running(live) ? 1 : 0;
    answers += world.exit_code(first).value_or(0);
  }
  benchmark::DoNotOptimize(answers);
  state.SetItemsProcessed(state.iterations() * 2);
}
BENCHMARK(BM_ProcessLookup)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kNanosecond);

}  // namespace

BENCHMARK_MAIN();
