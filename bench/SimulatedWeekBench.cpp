// A simulated day and a simulated week of Quillet checking every 60 s, with its trace written
// to a file as it is made, in the two busiest states of its indicators:
//   Raid8     "SRaidInfoEx" 0x8 all the time: the RAID alarm sounds every 301 s and the RAID
//             LEDs blink together
//   Warning4  "SRaidInfoEx" 0x4 and the CPU fan in warning: the RAID LEDs blink in turn and the
//             status LED blinks
// Targets: a day under 3 s, a week under 7 times the day, and the week's peak memory within
// 50 MB of the day's. Peak memory is the process's, so run one benchmark per process:
//   build/sim/bench/simulated_week_bench --benchmark_filter='Raid8_day'
// Raid8_day_without_tool is Raid8_day on a machine without the WMI tool, whose cycles list the
// drives themselves instead of starting it: compare cpu_ms_per_cycle of the two.
// BM_WeekPicture draws the week of Raid8 as simrun --svg does: the picture's size (target
// under 1 MB) and the time to write it out (target under 2 s, the run excluded).
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "BenchRunner.h"
#include "HostUsage.h"
#include "scenario/JsonLinesSink.h"
#include "scenario/PictureSink.h"
#include "scenario/Programs.h"
#include "scenario/Runner.h"
#include "scenario/Scenario.h"

namespace {

constexpr const char *kRaid8 = "0x8";
constexpr const char *kWarning4 = "0x4";

// The appliance with its RAID state, started, and left alone for `hours`.
scenario::Scenario Appliance(const char *raid, bool fan_warning, int hours, bool with_tool = true) {
  const std::string listing =
      with_tool
          ? "0 wmic text \"\\r\\r\\nNode,Caption,InterfaceType,Name,SCSIBus\\r\\r\\nNAS01,HDS2000 "
            "A01,IDE,\\\\.\\PHYSICALDRIVE0,0\\r\\r\\n\"\n"
          : "0 wmic absent\n";
  std::string text =
      "0 reg set HKLM\\SOFTWARE\\Wow6432Node\\Norvane\\Tesmar\\Config CheckInterval dword 60\n"
      "0 reg set HKLM\\SOFTWARE\\Wow6432Node\\Norvane\\Applications\\NorvaneNas\\RDSCANSV "
      "SRaidInfoEx dword " +
      std::string(raid) +
      "\n"
      "0 board init 0\n"
      "0 board fan " +
      (fan_warning ? "1850" : "3100") +
      "\n"
      "0 audio endpoint \"High Definition Audio Device\"\n" +
      listing +
      "0 disk 0 smart disks/bay0.data.bin disks/bay0.thresholds.bin\n"
      "0 run \"C:\\Program Files\\Norvane\\Quillet.exe\" -install\n"
      "1s sc start Orvexd\n" +
      std::to_string(hours) + "h end\n";
  return scenario::parse_scenario(text, NORVANE_SOURCE_DIR "/scenarios/bench.scn");
}

double PeakMb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void BM_Quillet(benchmark::State &state, const char *raid, bool fan_warning, int hours,
                bool with_tool = true) {
  scenario::Scenario scenario = Appliance(raid, fan_warning, hours, with_tool);
  std::string path = "/tmp/simulated_week_bench_" + std::to_string(getpid()) + ".jsonl";
  double cpu = ProcessorS();
  for (auto _ : state) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    scenario::JsonLinesSink sink(file);
    scenario::RunResult result =
        TheRunner().run(scenario, [&sink](winsim::World &world) { world.trace().attach(sink); });
    if (result.stopped) state.SkipWithError(result.stopped->c_str());
    file.close();
    std::ifstream written(path, std::ios::binary | std::ios::ate);
    state.counters["trace_MB"] = static_cast<double>(written.tellg()) / 1e6;
  }
  std::remove(path.c_str());
  state.counters["cpu_s"] = ProcessorS() - cpu;
  state.counters["cpu_ms_per_cycle"] = (ProcessorS() - cpu) * 1000.0 / (hours * 60.0);
  state.counters["peak_MB"] = PeakMb();
}

void BM_WeekPicture(benchmark::State &state) {
  scenario::Scenario scenario = Appliance(kRaid8, false, 7 * 24);
  for (auto _ : state) {
    scenario::PictureSink picture("week", scenario.end_time());
    scenario::RunResult result = TheRunner().run(
        scenario, [&picture](winsim::World &world) { world.trace().attach(picture); });
    auto start = std::chrono::steady_clock::now();
    std::string svg = picture.svg(result.ended_at);
    std::chrono::duration<double> drawn = std::chrono::steady_clock::now() - start;
    state.counters["svg_KB"] = static_cast<double>(svg.size()) / 1024.0;
    state.counters["draw_s"] = drawn.count();
  }
  state.counters["peak_MB"] = PeakMb();
}

BENCHMARK_CAPTURE(BM_Quillet, Raid8_day, kRaid8, false, 24)
    ->Unit(benchmark::kSecond)
    ->Iterations(1);
BENCHMARK_CAPTURE(BM_Quillet, Raid8_day_without_tool, kRaid8, false, 24, false)
    ->Unit(benchmark::kSecond)
    ->Iterations(1);
BENCHMARK_CAPTURE(BM_Quillet, Raid8_week, kRaid8, false, 7 * 24)
    ->Unit(benchmark::kSecond)
    ->Iterations(1);
BENCHMARK_CAPTURE(BM_Quillet, Warning4_day, kWarning4, true, 24)
    ->Unit(benchmark::kSecond)
    ->Iterations(1);
BENCHMARK_CAPTURE(BM_Quillet, Warning4_week, kWarning4, true, 7 * 24)
    ->Unit(benchmark::kSecond)
    ->Iterations(1);
BENCHMARK(BM_WeekPicture)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
