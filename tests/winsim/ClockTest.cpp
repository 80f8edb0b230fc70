// The virtual clock's calendar: the tick count's 32-bit wrap, UTC and local time from the
// world's start time and time-zone bias, and the C runtime's time() and localtime().
#include <gtest/gtest.h>

#include "platform/win32.h"
#include "winsim/World.h"

namespace {

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
  EXPECT_EQ(GetTickCount() - before, 0x105u);
  EXPECT_EQ(GetTickCount64(), 0x100000005ull);
}

TEST(Clock, SystemAndLocalTimeFollowTheStartTimeAndTheBias) {
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
}

TEST(Clock, TheRuntimesTimeAndLocalTimeReadTheSameClock) {
  winsim::World world;
  world.set_start_time(kStart);
  world.set_timezone_bias(540);
  Sleep(1000);
  std::time_t now = time(nullptr);
  EXPECT_EQ(now, kStart + 1);
  struct tm *tm = localtime(&now);
  ASSERT_NE(tm, nullptr);
  EXPECT_EQ(tm->tm_year, 126);
  EXPECT_EQ(tm->tm_mon, 3);
  EXPECT_EQ(tm->tm_mday, 1);
  EXPECT_EQ(tm->tm_hour, 8);
  EXPECT_EQ(tm->tm_min, 59);
  EXPECT_EQ(tm->tm_sec, 59);
  EXPECT_EQ(tm->tm_wday, 3);
  EXPECT_EQ(tm->tm_yday, 90);
}

}  // namespace
