// The clock functions on the world's virtual clock: tick counts, system and local time, and
// the C runtime's time() and localtime().
#include <cerrno>
#include <ctime>

#include "core/Call.h"
#include "winsim/win32.h"

namespace {

std::int64_t utc_ms(const winsim::World &world) {
  return world.start_time() * 1000 + static_cast<std::int64_t>(world.now());
}

void to_systemtime(std::int64_t ms, SYSTEMTIME *st) {
  std::time_t seconds = static_cast<std::time_t>(ms / 1000);
  struct tm tm {};
  gmtime_r(&seconds, &tm);
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
  to_systemtime(utc_ms(call.world) + call.world.timezone_bias() * 60000LL, lpSystemTime);
}

void WINAPI GetSystemTimeAsFileTime(LPFILETIME lpSystemTimeAsFileTime) {
  winsim::Call call("GetSystemTimeAsFileTime");
  // 100-ns intervals since 1601-01-01.
  std::uint64_t ticks = static_cast<std::uint64_t>(utc_ms(call.world) + 11644473600000LL) * 10000;
  lpSystemTimeAsFileTime->dwLowDateTime = static_cast<DWORD>(ticks);
  lpSystemTimeAsFileTime->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
}

std::time_t winsim_time(std::time_t *result) {
  winsim::Call call("time");
  std::time_t now = static_cast<std::time_t>(utc_ms(call.world) / 1000);
  if (result != nullptr) *result = now;
  return now;
}

struct tm *winsim_localtime(const std::time_t *timer) {
  winsim::Call call("localtime");
  // The C runtime's failure: no calendar time for the value (errno EOVERFLOW).
  if (call.fault({}, EOVERFLOW)) return nullptr;
  if (timer == nullptr) return nullptr;
  std::time_t local = *timer + call.world.timezone_bias() * 60;
  if (gmtime_r(&local, &call.thread.tm_buffer) == nullptr) return nullptr;
  call.thread.tm_buffer.tm_isdst = 0;
  return &call.thread.tm_buffer;
}
