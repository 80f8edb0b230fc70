// Thread switches of the simulated scheduler: two simulated threads hand control to each
// other through auto-reset events, each hand-over one switch. Target: one million switches in
// under 5 s of real time on a 2-core machine.
#include <benchmark/benchmark.h>

#include "platform/win32.h"
#include "winsim/World.h"

namespace {

struct PingPong {
  HANDLE ping;
  HANDLE pong;
  int rounds;
};

DWORD WINAPI Ponger(LPVOID arg) {
  auto *p = static_cast<PingPong *>(arg);
  for (int i = 0; i < p->rounds; ++i) {
    WaitForSingleObject(p->ping, INFINITE);
    SetEvent(p->pong);
  }
  return 0;
}

void BM_ThreadSwitches(benchmark::State &state) {
  const int rounds = static_cast<int>(state.range(0));
  for (auto _ : state) {
    winsim::World world;
    PingPong p{CreateEventA(nullptr, FALSE, FALSE, nullptr),
               CreateEventA(nullptr, FALSE, FALSE, nullptr), rounds};
    HANDLE thread = CreateThread(nullptr, 0, Ponger, &p, 0, nullptr);
    for (int i = 0; i < rounds; ++i) {
      SetEvent(p.ping);
      WaitForSingleObject(p.pong, INFINITE);
    }
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    CloseHandle(p.ping);
    CloseHandle(p.pong);
  }
  // Each round hands control over twice: to the other thread and back.
  state.SetItemsProcessed(state.iterations() * rounds * 2);
  state.counters["switches"] = static_cast<double>(rounds) * 2;
}
BENCHMARK(BM_ThreadSwitches)->Arg(500000)->Unit(benchmark::kMillisecond)->Iterations(1);

// Three threads sleeping in loops (every 100 ms, 250 ms and 1 s) for ten virtual minutes.
// Target: well under a second of real time.
DWORD WINAPI SleepLoop(LPVOID arg) {
  DWORD period = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(arg));
  for (DWORD t = 0; t < 600000; t += period) Sleep(period);
  return 0;
}

void BM_SleepersOverVirtualTime(benchmark::State &state) {
  for (auto _ : state) {
    winsim::World world;
    HANDLE threads[3];
    ULONG_PTR periods[3] = {100, 250, 1000};
    for (int i = 0; i < 3; ++i)
      threads[i] =
          CreateThread(nullptr, 0, SleepLoop, reinterpret_cast<LPVOID>(periods[i]), 0, nullptr);
    WaitForMultipleObjects(3, threads, TRUE, INFINITE);
    for (HANDLE t : threads) CloseHandle(t);
  }
}
BENCHMARK(BM_SleepersOverVirtualTime)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
