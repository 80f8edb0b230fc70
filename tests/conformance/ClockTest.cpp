// The clocks the programs read: the tick count in milliseconds, whose 32-bit form is the low
// half of the 64-bit one, and the C runtime's calendar time, which is the local time of
// GetLocalTime.
#include <ctime>
#include <tuple>

#include "Conformance.h"

namespace {

using conformance::kMarker;

class Clock : public conformance::Fixture {};

TEST_F(Clock, TheTickCountAdvancesWithASleepAndIsTheLowHalfOfItsWideForm) {
  SetLastError(kMarker);
  const DWORD start = GetTickCount();
  EXPECT_LT(static_cast<DWORD>(GetTickCount64()) - start, 1000u);
  Sleep(100);
  const DWORD elapsed = GetTickCount() - start;
  // The count moves in steps of the timer interrupt, up to 16 ms.
  EXPECT_GE(elapsed, 100u - 16u);
  EXPECT_LT(elapsed, 5000u);
  EXPECT_EQ(GetLastError(), kMarker);
}

using Moment = std::tuple<int, int, int, int, int, int>;

Moment MomentOf(const SYSTEMTIME &t) {
  return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

TEST_F(Clock, TheRuntimesLocalTimeIsTheSystemsLocalTimeToTheSecond) {
  SYSTEMTIME before{}, after{};
  GetLocalTime(&before);
  std::time_t now = time(nullptr);
  const struct tm local = *localtime(&now);
  GetLocalTime(&after);
  const Moment read = {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                       local.tm_hour,        local.tm_min,     local.tm_sec};
  EXPECT_LE(MomentOf(before), read);
  EXPECT_LE(read, MomentOf(after));
  EXPECT_EQ(local.tm_wday, local.tm_mday == after.wDay ? after.wDayOfWeek : before.wDayOfWeek);
  EXPECT_EQ(localtime(nullptr), nullptr);
}

}  // namespace
