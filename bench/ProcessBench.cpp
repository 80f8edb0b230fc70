// One thousand short processes, one after another: a program image (its own copy loaded and
// unloaded for every process) and a program in the host's image (what the WMI tool's start
// costs Quillet every cycle). Reported: real time per process and the processor time of all
// the host's threads per process (steadier than real time on a busy machine), the host's
// resident memory growth over the last 900 processes, and what is left at the end: loaded
// images, shared objects in the host, thread records (each with its stack), the host's open
// handles.
#include <benchmark/benchmark.h>
#include <link.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "HostUsage.h"
#include "platform/win32.h"
#include "winsim/World.h"

namespace {

constexpr int kProcesses = 1000;
constexpr int kWarmUp = 100;

int ShortMain() {
  return 0;
}

int SharedObjects() {
  int count = 0;
  dl_iterate_phdr([](dl_phdr_info *, std::size_t, void *n) { return ++*static_cast<int *>(n), 0; },
                  &count);
  return count;
}

void BM_ShortProcesses(benchmark::State &state, bool image) {
  for (auto _ : state) {
    winsim::World world;
    if (image)
      world.add_program("short.exe", winsim::ProgramImage{NORVANE_PROGRAMS_DIR "/counter.so"});
    else
      world.add_program("short.exe", ShortMain);
    world.place_program("C:\\short.exe", "short.exe");
    long rss_warm = 0;
    double cpu_start = ProcessorS() * 1e6;
    for (int i = 0; i < kProcesses; ++i) {
      if (i == kWarmUp) rss_warm = StatusKb("VmRSS");
      std::uint32_t pid = world.start("C:\\short.exe 0");
      world.wait_exit(pid);
    }
    state.counters["cpu_us_per_process"] = (ProcessorS() * 1e6 - cpu_start) / kProcesses;
    long rss_end = StatusKb("VmRSS");
    state.counters["rss_growth_B_per_process"] =
        static_cast<double>(rss_end - rss_warm) * 1024 / (kProcesses - kWarmUp);
    state.counters["rss_end_MB"] = static_cast<double>(rss_end) / 1024;
    state.counters["trace_records"] = static_cast<double>(world.trace().records().size());
    state.counters["images_loaded"] = static_cast<double>(world.loaded_images());
    state.counters["shared_objects"] = SharedObjects();
    state.counters["thread_records"] = static_cast<double>(world.thread_records());
    state.counters["host_handles"] =
        static_cast<double>(world.open_handles(world.host_pid()).size());
  }
  state.SetItemsProcessed(state.iterations() * kProcesses);
  state.counters["peak_rss_MB"] = static_cast<double>(StatusKb("VmHWM")) / 1024;
}
BENCHMARK_CAPTURE(BM_ShortProcesses, program_image, true)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK_CAPTURE(BM_ShortProcesses, host_image, false)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
