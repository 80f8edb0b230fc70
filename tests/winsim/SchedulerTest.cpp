// The scheduler: one thread at a time, virtual time that moves only when every thread is
// blocked, deadlocks and busy loops reported on the host thread.
#include <gtest/gtest.h>

#include <chrono>

#include "platform/win32.h"
#include "winsim/World.h"

namespace {

struct Pair {
  HANDLE mine;
  HANDLE theirs;
};

DWORD WINAPI WaitForOther(LPVOID arg) {
  auto *p = static_cast<Pair *>(arg);
  WaitForSingleObject(p->theirs, INFINITE);
  SetEvent(p->mine);
  return 0;
}

TEST(Scheduler, TwoThreadsWaitingOnEachOtherAreReportedAsADeadlockNamingBothWaits) {
  winsim::World world;
  HANDLE a = CreateEventA(nullptr, TRUE, FALSE, "EventA");
  HANDLE b = CreateEventA(nullptr, TRUE, FALSE, "EventB");
  Pair first{a, b}, second{b, a};
  HANDLE t1 = CreateThread(nullptr, 0, WaitForOther, &first, 0, nullptr);
  HANDLE t2 = CreateThread(nullptr, 0, WaitForOther, &second, 0, nullptr);
  HANDLE both[] = {t1, t2};
  try {
    WaitForMultipleObjects(2, both, TRUE, INFINITE);
    FAIL() << "the wait returned";
  } catch (const winsim::RunStopped &stop) {
    EXPECT_EQ(stop.reason(), winsim::RunStopped::Reason::Deadlock);
    std::string report = stop.what();
    EXPECT_NE(report.find("WaitForSingleObject(event \"EventB\", INFINITE)"), std::string::npos)
        << report;
    EXPECT_NE(report.find("WaitForSingleObject(event \"EventA\", INFINITE)"), std::string::npos)
        << report;
  }
}

DWORD WINAPI SleepLoop(LPVOID arg) {
  DWORD period = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(arg));
  for (DWORD t = 0; t < 600000; t += period) Sleep(period);
  return period;
}

// How fast this runs in real time is measured by the scheduler benchmark, not here.
TEST(Scheduler, ThreeSleepersRunTenVirtualMinutesAndTheClockEndsExactlyThere) {
  winsim::World world;
  HANDLE threads[3];
  DWORD periods[3] = {100, 250, 1000};
  for (int i = 0; i < 3; ++i)
    threads[i] =
        CreateThread(nullptr, 0, SleepLoop,
                     reinterpret_cast<LPVOID>(static_cast<ULONG_PTR>(periods[i])), 0, nullptr);
  EXPECT_EQ(WaitForMultipleObjects(3, threads, TRUE, INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(world.now(), 600000u);
  for (int i = 0; i < 3; ++i) {
    DWORD code = 0;
    GetExitCodeThread(threads[i], &code);
    EXPECT_EQ(code, periods[i]);
    CloseHandle(threads[i]);
  }
}

DWORD WINAPI Spin(LPVOID) {
  CRITICAL_SECTION cs;
  InitializeCriticalSection(&cs);
  for (;;) {
    EnterCriticalSection(&cs);
    LeaveCriticalSection(&cs);
  }
}

TEST(Scheduler, AThreadThatNeverBlocksIsReportedAsABusyLoop) {
  winsim::World world;
  world.set_busy_limit(std::chrono::milliseconds(200));
  HANDLE t = CreateThread(nullptr, 0, Spin, nullptr, 0, nullptr);
  try {
    WaitForSingleObject(t, INFINITE);
    FAIL() << "the wait returned";
  } catch (const winsim::RunStopped &stop) {
    EXPECT_EQ(stop.reason(), winsim::RunStopped::Reason::BusyLoop);
    EXPECT_NE(std::string(stop.what()).find("busy loop"), std::string::npos);
  }
}

}  // namespace
