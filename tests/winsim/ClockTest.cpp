// The virtual clock's calendar: the tick count's 32-bit wrap, UTC and local time from the
// world's start time and time-zone bias, and the C runtime's clock and calendar functions.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <string>

#include "platform/win32.h"
#include "winsim/World.h"

namespace {

// 2026-03-31 23:59:58 UTC, a Tuesday.
constexpr std::int64_t kStart = 1775001598;

// The time GetSystemTime or GetLocalTime reads.
std::string Now(void(WINAPI *read)(LPSYSTEMTIME)) {
  SYSTEMTIME st{};
  read(&st);
  char text[64];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%03u day %u", st.wYear, st.wMonth,
                st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds, st.wDayOfWeek);
  return text;
}

TEST(Clock, TheTickCountWrapsAfter32Bits) {
  winsim::World world;
  world.set_tick_base(0xFFFFFF00);
  EXPECT_EQ(GetTickCount(), 0xFFFFFF00u);
  Sleep(0x100);
  EXPECT_EQ(GetTickCount(), 0u);
  Sleep(5);
  EXPECT_EQ(GetTickCount(), 5u);
  EXPECT_EQ(GetTickCount64(), 0x100000005ull);
}

// Calendar fields as "2026-04-01 09:00:00 day 3 of year 90".
std::string Fields(const struct tm *tm) {
  if (tm == nullptr) return "none";
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d day %d of year %d dst %d",
                tm->tm_year + 1900, tm->tm_mon + 1, tm->tm_mday, tm->tm_hour, tm->tm_min,
                tm->tm_sec, tm->tm_wday, tm->tm_yday, tm->tm_isdst);
  return text;
}

// System and local time, and every clock and calendar function of the C runtime, read the
// world's clock and time zone, whatever the host's clock and zone are; a time before 1970 has no
// calendar, as on Windows.
TEST(Clock, SystemAndLocalTimeAndTheRuntimesFunctionsFollowTheStartTimeAndTheBias) {
  winsim::World world;
  world.set_start_time(kStart);
  world.set_timezone_bias(540);
  EXPECT_EQ(Now(GetSystemTime), "2026-03-31 23:59:58.000 day 2");
  EXPECT_EQ(Now(GetLocalTime), "2026-04-01 08:59:58.000 day 3");
  Sleep(2250);
  EXPECT_EQ(Now(GetSystemTime), "2026-04-01 00:00:00.250 day 3");
  const std::time_t now = kStart + 2;
  const std::string local = "2026-04-01 09:00:00 day 3 of year 90 dst 0";
  const std::string utc = "2026-04-01 00:00:00 day 3 of year 90 dst 0";
  EXPECT_EQ(time(nullptr), now);
  std::time_t stored = 0;
  EXPECT_EQ(_time64(&stored), now);
  EXPECT_EQ(stored, now);
  EXPECT_EQ(Fields(localtime(&now)), local);
  EXPECT_EQ(Fields(gmtime(&now)), utc);
  struct tm fields {};
  EXPECT_EQ(localtime_s(&fields, &now), 0);
  EXPECT_EQ(Fields(&fields), local);
  EXPECT_EQ(Fields(gmtime_r(&now, &fields)), utc);
  EXPECT_EQ(std::string(ctime(&now)), "Wed Apr  1 09:00:00 2026\n");
  // mktime reads local fields in the world's zone and brings them into their ranges.
  fields = {.tm_hour = 9, .tm_mday = 32, .tm_mon = 2, .tm_year = 126, .tm_isdst = -1};
  EXPECT_EQ(mktime(&fields), now);
  EXPECT_EQ(Fields(&fields), local);
  fields.tm_hour = 0;
  EXPECT_EQ(_mkgmtime(&fields), now);
  EXPECT_EQ(Fields(&fields), utc);
  // Windows' clock() counts from the process's start.
  EXPECT_EQ(clock(), static_cast<std::clock_t>(2250 * (CLOCKS_PER_SEC / 1000)));
  timeval tv{};
  EXPECT_EQ(gettimeofday(&tv, nullptr), 0);
  EXPECT_EQ(tv.tv_sec, now);
  EXPECT_EQ(tv.tv_usec, 250000);
  timespec ts{};
  EXPECT_EQ(clock_gettime(CLOCK_REALTIME, &ts), 0);
  EXPECT_EQ(ts.tv_sec, now);
  EXPECT_EQ(ts.tv_nsec, 250000000);
  EXPECT_EQ(clock_gettime(CLOCK_MONOTONIC, &ts), 0);  // the tick count: 600000 at the start
  EXPECT_EQ(ts.tv_sec, 602);
  EXPECT_EQ(ts.tv_nsec, 250000000);
  ts = {};
  EXPECT_EQ(timespec_get(&ts, TIME_UTC), TIME_UTC);
  EXPECT_EQ(ts.tv_sec, now);
  // Before 1970, and a clock that does not exist.
  const std::time_t before = -1;
  EXPECT_EQ(localtime(&before), nullptr);
  errno = 0;
  EXPECT_EQ(clock_gettime(static_cast<clockid_t>(77), &ts), -1);
  EXPECT_EQ(errno, EINVAL);
  world.set_timezone_bias(-300);
  EXPECT_EQ(Now(GetLocalTime), "2026-03-31 19:00:00.250 day 2");
}

}  // namespace
