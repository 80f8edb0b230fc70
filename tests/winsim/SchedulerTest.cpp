// The scheduler: one thread at a time, virtual time that moves only when every thread is
// blocked, what the host finds at a virtual time, ties at one instant with and without a seed,
// deadlocks and busy loops reported on the host thread, each thread's errno and exceptions.
#include <gtest/gtest.h>

#include <cerrno>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "Runs.h"
#include "platform/win32.h"
#include "winsim/World.h"

namespace {

using Reason = winsim::RunStopped::Reason;

HANDLE Start(LPTHREAD_START_ROUTINE start, ULONG_PTR arg) {
  return CreateThread(nullptr, 0, start, reinterpret_cast<LPVOID>(arg), 0, nullptr);
}

DWORD JoinThread(HANDLE thread) {
  WaitForSingleObject(thread, INFINITE);
  DWORD code = 0xDEAD;
  GetExitCodeThread(thread, &code);
  CloseHandle(thread);
  return code;
}

struct Pair {
  HANDLE mine;
  HANDLE theirs;
};

// Waits for its event and sets the other's, for ever.
DWORD WINAPI Volley(LPVOID arg) {
  auto *p = static_cast<Pair *>(arg);
  for (;;) {
    WaitForSingleObject(p->mine, INFINITE);
    SetEvent(p->theirs);
  }
}

TEST(Scheduler, TwoThreadsWaitingOnEachOtherAreReportedAsADeadlockNamingBothWaits) {
  winsim::World world;
  HANDLE a = CreateEventA(nullptr, TRUE, FALSE, "EventA");
  HANDLE b = CreateEventA(nullptr, TRUE, FALSE, "EventB");
  Pair first{a, b}, second{b, a};
  HANDLE both[] = {CreateThread(nullptr, 0, Volley, &first, 0, nullptr),
                   CreateThread(nullptr, 0, Volley, &second, 0, nullptr)};
  const std::string report =
      StopReport(Reason::Deadlock, [&] { WaitForMultipleObjects(2, both, TRUE, INFINITE); });
  for (const char *name : {"EventB", "EventA"}) {
    EXPECT_NE(report.find("WaitForSingleObject(event \"" + std::string(name) + "\", INFINITE)"),
              std::string::npos)
        << report;
  }
}

// Sets errno to its argument, lets the other threads run, and ends with 0 when it still reads
// its own value.
DWORD WINAPI KeepErrno(LPVOID arg) {
  int mine = static_cast<int>(reinterpret_cast<ULONG_PTR>(arg));
  errno = mine;
  Sleep(10);
  return errno == mine ? 0 : 1;
}

// Rethrows the exception being handled after other threads threw and caught their own.
DWORD WINAPI RethrowAfterOthers(LPVOID arg) {
  const DWORD nap = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(arg));
  try {
    throw std::runtime_error(std::to_string(nap));
  } catch (...) {
    Sleep(nap);
    try {
      throw;
    } catch (const std::exception &e) {
      return std::stoul(e.what());
    }
  }
}

// The C runtime's errno and the C++ runtime's exceptions being handled are per thread, as on
// Windows, though every simulated thread runs on the host's real thread; and errno is the
// program's: a winsim call leaves it alone, whatever the host's functions behind it did (a
// conversion longer than one buffer of the host's converter sets E2BIG there).
TEST(Scheduler, EachThreadKeepsItsOwnErrnoAndExceptionWhileOthersRunAndWinsimLeavesErrnoAlone) {
  winsim::World world;
  HANDLE threads[] = {Start(KeepErrno, 33), Start(KeepErrno, 34)};
  errno = 7;
  world.run_for(5);
  EXPECT_EQ(errno, 7);
  EXPECT_EQ(WaitForMultipleObjects(2, threads, TRUE, INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(errno, 7);
  for (HANDLE thread : threads) EXPECT_EQ(JoinThread(thread), 0u);
  const std::string text(400, 'x');
  WCHAR wide[400];
  errno = 0;
  EXPECT_EQ(MultiByteToWideChar(932, 0, text.data(), 400, wide, 400), 400);
  EXPECT_EQ(errno, 0);
  HANDLE first = Start(RethrowAfterOthers, 10);
  HANDLE second = Start(RethrowAfterOthers, 5);
  EXPECT_EQ(JoinThread(first), 10u);
  EXPECT_EQ(JoinThread(second), 5u);
}

DWORD WINAPI Spin(LPVOID) {
  CRITICAL_SECTION cs;
  InitializeCriticalSection(&cs);
  for (;;) {
    EnterCriticalSection(&cs);
    LeaveCriticalSection(&cs);
  }
}

// Threads that keep calling winsim, or keep waking each other, while virtual time stands
// still are a busy loop, counted in calls: the host's real time or load plays no part. The
// count starts afresh whenever the world comes to rest or the clock moves, so the host
// handing the ball back and forth is no busy loop.
TEST(Scheduler, CallsWithoutTheClockMovingOrTheWorldComingToRestAreABusyLoop) {
  const std::string kBusyLoop =
      "winsim: busy loop: at 0.000 s the simulated threads made 1001 calls without the clock "
      "moving or the world coming to rest\n";
  {
    winsim::World world;
    world.set_busy_limit(1000);
    HANDLE t = CreateThread(nullptr, 0, Spin, nullptr, 0, nullptr);
    EXPECT_EQ(
        StopReport(Reason::BusyLoop, [&] { WaitForSingleObject(t, INFINITE); }),
        kBusyLoop + "  pid 4 (host.exe) tid 12: 1001 calls, the last one EnterCriticalSection\n");
  }
  {
    winsim::World world;
    world.set_busy_limit(1000);
    HANDLE a = CreateEventA(nullptr, FALSE, TRUE, nullptr);
    HANDLE b = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    Pair first{a, b}, second{b, a};
    CreateThread(nullptr, 0, Volley, &first, 0, nullptr);
    CreateThread(nullptr, 0, Volley, &second, 0, nullptr);
    EXPECT_EQ(StopReport(Reason::BusyLoop, [] { Sleep(1); }),
              kBusyLoop +
                  "  pid 4 (host.exe) tid 12: 501 calls, the last one WaitForSingleObject\n" +
                  "  pid 4 (host.exe) tid 16: 500 calls, the last one WaitForSingleObject\n");
  }
  {
    winsim::World world;
    world.set_busy_limit(100);
    HANDLE ping = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE pong = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    Pair partner{ping, pong};
    CreateThread(nullptr, 0, Volley, &partner, 0, nullptr);
    for (int i = 0; i < 1000; ++i) {
      SetEvent(ping);
      ASSERT_EQ(WaitForSingleObject(pong, INFINITE), WAIT_OBJECT_0);
    }
    EXPECT_EQ(world.now(), 0u);
  }
}

// A record of what the threads of a test did and when.
std::vector<std::string> g_log;

void Log(const std::string &what) {
  g_log.push_back(what + "@" + std::to_string(GetTickCount() - 600000));
}

HANDLE g_event = nullptr;

DWORD WINAPI NapThenSet(LPVOID times) {
  for (ULONG_PTR i = 0; i < reinterpret_cast<ULONG_PTR>(times); ++i) {
    Sleep(1000);
    SetEvent(g_event);
  }
  return 0;
}

// Sleeps a minute in `count` naps, logging each.
DWORD WINAPI Naps(LPVOID count) {
  const auto naps = reinterpret_cast<ULONG_PTR>(count);
  for (ULONG_PTR i = 0; i < naps; ++i) {
    Sleep(static_cast<DWORD>(60000 / naps));
    Log(naps == 1 ? "nap" : "naps");
  }
  return 0;
}

DWORD WINAPI WaitUntilLate(LPVOID event) {
  DWORD result = WaitForSingleObject(static_cast<HANDLE>(event), 60000);
  Log(result == WAIT_TIMEOUT ? "timed out" : "signalled");
  return 0;
}

// The host finds at a virtual time everything that happened up to and at that time, however it
// stepped the clock there.
TEST(Scheduler, WhatTheHostFindsAtAVirtualTimeDoesNotDependOnHowItSteppedThere) {
  const std::vector<std::uint64_t> steppings[] = {
      {60000}, {30000, 30000}, {10000, 10000, 10000, 10000, 10000, 10000}, {59999, 1}};
  for (const auto &steps : steppings) {
    winsim::World world;
    g_log.clear();
    HANDLE never = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    CloseHandle(Start(Naps, 2));
    CloseHandle(Start(Naps, 1));
    CloseHandle(CreateThread(nullptr, 0, WaitUntilLate, never, 0, nullptr));
    for (std::uint64_t step : steps) world.run_for(step);
    EXPECT_EQ(world.now(), 60000u);
    EXPECT_EQ(g_log, (std::vector<std::string>{"naps@30000", "nap@60000", "timed out@60000",
                                               "naps@60000"}))
        << steps.size() << " steps";
  }
  // A wait of the host that runs out at the instant a thread signals sees the signal.
  winsim::World world;
  g_event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  CloseHandle(CreateThread(nullptr, 0, NapThenSet, reinterpret_cast<LPVOID>(1), 0, nullptr));
  EXPECT_EQ(WaitForSingleObject(g_event, 1000), WAIT_OBJECT_0);
  CloseHandle(g_event);
}

// Orders Windows leaves open at one virtual instant. Each race's threads start waiting in a
// fixed order; `outcome` is what the threads logged.
DWORD WINAPI NapThenLog(LPVOID name) {
  Sleep(1000);
  g_log.push_back(static_cast<const char *>(name));
  return 0;
}

DWORD WINAPI WaitThenLog(LPVOID event) {
  DWORD result = WaitForSingleObject(static_cast<HANDLE>(event), 1000);
  g_log.push_back(result == WAIT_TIMEOUT ? "timed out" : "signalled");
  return 0;
}

DWORD WINAPI TakeThenLog(LPVOID name) {
  WaitForSingleObject(g_event, INFINITE);
  g_log.push_back(static_cast<const char *>(name));
  return 0;
}

// Starts a thread and lets it run until it waits.
void Begin(LPTHREAD_START_ROUTINE start, const void *arg) {
  CloseHandle(CreateThread(nullptr, 0, start, const_cast<void *>(arg), 0, nullptr));
  winsim::World::get().run_for(0);
}

std::string RunRace(int race, std::optional<std::uint64_t> seed) {
  winsim::World world;
  if (seed) world.set_seed(*seed);
  g_log.clear();
  g_event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  switch (race) {
    case 0:  // two sleepers due at one instant
      Begin(NapThenLog, "a");
      Begin(NapThenLog, "b");
      break;
    case 1:  // a time-out and a signal at one instant
      Begin(WaitThenLog, g_event);
      Begin(NapThenSet, reinterpret_cast<const void *>(1));
      break;
    case 2:  // two waiters of an auto-reset event
      Begin(TakeThenLog, "a");
      Begin(TakeThenLog, "b");
      Begin(NapThenSet, reinterpret_cast<const void *>(2));
      break;
  }
  world.run_for(5000);
  CloseHandle(g_event);
  std::string outcome;
  for (const auto &entry : g_log) outcome += entry + " ";
  return outcome;
}

// Without a seed one order, always the same: timers in the order they were set, the time-out
// before the signal, waiters in arrival order. The seed explores the others.
TEST(Scheduler, WithoutASeedTiesGoOneFixedWayAndTheSeedExploresTheOthers) {
  struct Race {
    std::string unseeded;
    std::set<std::string> seeded;
  } races[] = {
      {"a b ", {"a b ", "b a "}},
      {"timed out ", {"timed out ", "signalled "}},
      {"a b ", {"a b ", "b a "}},
  };
  for (int race = 0; race < 3; ++race) {
    EXPECT_EQ(RunRace(race, std::nullopt), races[race].unseeded) << "race " << race;
    std::set<std::string> seen;
    for (std::uint64_t seed = 1; seed <= 12; ++seed) seen.insert(RunRace(race, seed));
    EXPECT_EQ(seen, races[race].seeded) << "race " << race;
  }
}

}  // namespace
