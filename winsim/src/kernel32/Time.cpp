// The clock functions on the world's virtual clock: tick counts, system and local time (the C
// runtime's clock and calendar functions are in crt/Time.cpp). The world's time zone has no
// daylight saving time. The host's own calendar functions are called in parentheses, past
// winsim's macros.
#include <ctime>

#include "core/Call.h"
#include "winsim/win32.h"

namespace {

std::int64_t utc_ms(const winsim::World &world) {
  return world.start_time() * 1000 + static_cast<std::int64_t>(world.now());
}

std::int64_t zone_seconds(const winsim::World &world) {
  return static_cast<std::int64_t>(world.timezone_bias()) * 60;
}

void to_systemtime(std::int64_t ms, SYSTEMTIME *st) {
  std::time_t seconds = static_cast<std::time_t>(ms / 1000);
  struct tm tm {};
  (gmtime_r)(&seconds, &tm);
  st->wYear = static_cast<WORD>(tm.tm_year + 1900);
  st->wMonth = static_cast<WORD>(tm.tm_mon + 1);
  st->wDayOfWeek = static_cast<WORD>(tm.tm_wday);
  st->wDay = static_cast<WORD>(tm.tm_mday);
  st->wHour = static_cast<WORD>(tm.tm_hour);
  st->wMinute = static_cast<WORD>(tm.tm_min);
  st->wSecond = static_cast<WORD>(tm.tm_sec);
  st->wMilliseconds = static_cast<WORD>(ms % 1000);
}

}  // namespace

DWORD WINAPI GetTickCount() {
  winsim::Call call("GetTickCount");
  return static_cast<DWORD>(call.world.tick_base() + call.world.now());
}

ULONGLONG WINAPI GetTickCount64() {
  winsim::Call call("GetTickCount64");
  return call.world.tick_base() + call.world.now();
}

void WINAPI GetSystemTime(LPSYSTEMTIME lpSystemTime) {
  winsim::Call call("GetSystemTime");
  to_systemtime(utc_ms(call.world), lpSystemTime);
}

void WINAPI GetLocalTime(LPSYSTEMTIME lpSystemTime) {
  winsim::Call call("GetLocalTime");
  to_systemtime(utc_ms(call.world) + zone_seconds(call.world) * 1000, lpSystemTime);
}

void WINAPI GetSystemTimeAsFileTime(LPFILETIME lpSystemTimeAsFileTime) {
  winsim::Call call("GetSystemTimeAsFileTime");
  // 100-ns intervals since 1601-01-01.
  std::uint64_t ticks = static_cast<std::uint64_t>(utc_ms(call.world) + 11644473600000LL) * 10000;
  lpSystemTimeAsFileTime->dwLowDateTime = static_cast<DWORD>(ticks);
  lpSystemTimeAsFileTime->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
}
