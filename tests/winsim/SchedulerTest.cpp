// The scheduler: one thread at a time, virtual time that moves only when every thread is
// blocked, deadlocks and busy loops reported on the host thread.
// The virtual clock's calendar: the tick count's 32-bit wrap, UTC and local time from the
// world's start time and time-zone bias, and the C runtime's time() and localtime().
#include <gtest/gtest.h>

#include <cerrno>
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

// Sets errno to its argument, lets the other threads run, and ends with 0 when it still reads
// its own value.
DWORD WINAPI KeepErrno(LPVOID arg) {
  int mine = static_cast<int>(reinterpret_cast<ULONG_PTR>(arg));
  errno = mine;
  Sleep(10);
  return errno == mine ? 0 : 1;
}

// The C runtime's errno is per thread, as on Windows, though every simulated thread runs on
// the host's real thread.
TEST(Scheduler, EachThreadKeepsItsOwnErrnoWhileOthersRun) {
  winsim::World world;
  HANDLE threads[] = {
      CreateThread(nullptr, 0, KeepErrno, reinterpret_cast<LPVOID>(33), 0, nullptr),
      CreateThread(nullptr, 0, KeepErrno, reinterpret_cast<LPVOID>(34), 0, nullptr)};
  errno = 7;
  EXPECT_EQ(WaitForMultipleObjects(2, threads, TRUE, INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(errno, 7);
  for (HANDLE thread : threads) {
    DWORD code = 2;
    GetExitCodeThread(thread, &code);
    EXPECT_EQ(code, 0u);
    CloseHandle(thread);
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

// 2026-03-31 23:59:58 UTC, a Tuesday.
constexpr std::int64_t kStart = 1775001598;

std::string Text(const SYSTEMTIME &st) {
  char text[64];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%03u day %u", st.wYear, st.wMonth,
                st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds, st.wDayOfWeek);
  return text;
}

TEST(Clock, TheTickCountWrapsAfter32Bits) {
  winsim::World world;
  world.set_tick_base(0xFFFFFF00);
  DWORD before = GetTickCount();
  EXPECT_EQ(before, 0xFFFFFF00u);
  Sleep(0x100);
  EXPECT_EQ(GetTickCount(), 0u);
  Sleep(5);
  EXPECT_EQ(GetTickCount(), 5u);
  EXPECT_EQ(GetTickCount64(), 0x100000005ull);
}

TEST(Clock, SystemAndLocalTimeAndTheRuntimesFollowTheStartTimeAndTheBias) {
  winsim::World world;
  world.set_start_time(kStart);
  world.set_timezone_bias(540);
  SYSTEMTIME utc{}, local{};
  GetSystemTime(&utc);
  GetLocalTime(&local);
  EXPECT_EQ(Text(utc), "2026-03-31 23:59:58.000 day 2");
  EXPECT_EQ(Text(local), "2026-04-01 08:59:58.000 day 3");
  Sleep(2250);
  GetSystemTime(&utc);
  EXPECT_EQ(Text(utc), "2026-04-01 00:00:00.250 day 3");
  world.set_timezone_bias(-300);
  GetLocalTime(&local);
  EXPECT_EQ(Text(local), "2026-03-31 19:00:00.250 day 2");
  // The runtime's time() and localtime() read the same clock.
  world.set_timezone_bias(540);
  std::time_t now = time(nullptr);
  EXPECT_EQ(now, kStart + 2);
  struct tm *tm = localtime(&now);
  ASSERT_NE(tm, nullptr);
  EXPECT_EQ(tm->tm_year, 126);
  EXPECT_EQ(tm->tm_mon, 3);
  EXPECT_EQ(tm->tm_mday, 1);
  EXPECT_EQ(tm->tm_hour, 9);
  EXPECT_EQ(tm->tm_min, 0);
  EXPECT_EQ(tm->tm_sec, 0);
  EXPECT_EQ(tm->tm_wday, 3);
  EXPECT_EQ(tm->tm_yday, 90);
}

}  // namespace
