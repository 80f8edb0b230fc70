// The C runtime's clock and calendar functions on the world's virtual clock. The world's time
// zone has no daylight saving time. The host's own calendar functions are called in
// parentheses, past winsim's macros.
#include <cerrno>
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

// The calendar fields of `seconds` since 1970 in the zone `bias` seconds east of UTC; false,
// as Windows' runtime answers, for a time before 1970.
bool calendar(std::time_t seconds, std::int64_t bias, struct tm *out) {
  if (out == nullptr || seconds < 0) return false;
  std::time_t shifted = seconds + static_cast<std::time_t>(bias);
  if ((gmtime_r)(&shifted, out) == nullptr) return false;
  out->tm_isdst = 0;
  return true;
}

// The seconds since 1970 of the calendar fields in a zone `bias` seconds east of UTC; the
// fields are brought into their ranges as mktime does.
std::time_t seconds_of(struct tm *fields, std::int64_t bias) {
  if (fields == nullptr) return -1;
  struct tm copy = *fields;
  std::time_t shifted = (timegm)(&copy);
  if (shifted == -1) return -1;
  std::time_t seconds = shifted - static_cast<std::time_t>(bias);
  if (!calendar(seconds, bias, fields)) return -1;
  return seconds;
}

timespec timespec_of_ms(std::int64_t ms) {
  timespec ts{};
  ts.tv_sec = static_cast<std::time_t>(ms / 1000);
  ts.tv_nsec = static_cast<long>(ms % 1000) * 1000000;
  return ts;
}

}  // namespace

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
  struct tm *out = &call.thread.tm_buffer;
  return timer != nullptr && calendar(*timer, zone_seconds(call.world), out) ? out : nullptr;
}

struct tm *winsim_gmtime(const std::time_t *timer) {
  winsim::Call call("gmtime");
  struct tm *out = &call.thread.tm_buffer;
  return timer != nullptr && calendar(*timer, 0, out) ? out : nullptr;
}

int winsim_localtime_s(struct tm *result, const std::time_t *timer) {
  winsim::Call call("localtime_s");
  return timer != nullptr && calendar(*timer, zone_seconds(call.world), result) ? 0 : EINVAL;
}

int winsim_gmtime_s(struct tm *result, const std::time_t *timer) {
  winsim::Call call("gmtime_s");
  return timer != nullptr && calendar(*timer, 0, result) ? 0 : EINVAL;
}

struct tm *winsim_localtime_r(const std::time_t *timer, struct tm *result) {
  winsim::Call call("localtime_r");
  return timer != nullptr && calendar(*timer, zone_seconds(call.world), result) ? result : nullptr;
}

struct tm *winsim_gmtime_r(const std::time_t *timer, struct tm *result) {
  winsim::Call call("gmtime_r");
  return timer != nullptr && calendar(*timer, 0, result) ? result : nullptr;
}

std::time_t winsim_mktime(struct tm *local) {
  winsim::Call call("mktime");
  return seconds_of(local, zone_seconds(call.world));
}

std::time_t winsim_mkgmtime(struct tm *utc) {
  winsim::Call call("_mkgmtime");
  return seconds_of(utc, 0);
}

char *winsim_ctime(const std::time_t *timer) {
  winsim::Call call("ctime");
  struct tm local {};
  if (timer == nullptr || !calendar(*timer, zone_seconds(call.world), &local)) return nullptr;
  return (asctime_r)(&local, call.thread.text_buffer);
}

// Windows counts the time since the process started, in clocks of CLOCKS_PER_SEC.
std::clock_t winsim_clock() {
  winsim::Call call("clock");
  std::uint64_t ms = call.world.now() - call.process.started_at;
  return static_cast<std::clock_t>(ms * (CLOCKS_PER_SEC / 1000));
}

int winsim_gettimeofday(struct timeval *now, void *zone) {
  (void)zone;
  winsim::Call call("gettimeofday");
  if (now == nullptr) return 0;
  std::int64_t ms = utc_ms(call.world);
  now->tv_sec = static_cast<std::time_t>(ms / 1000);
  now->tv_usec = static_cast<suseconds_t>(ms % 1000) * 1000;
  return 0;
}

int winsim_clock_gettime(clockid_t clock, struct timespec *now) {
  int error = 0;
  {
    winsim::Call call("clock_gettime");
    if (now == nullptr) clock = -1;
    switch (clock) {
      case CLOCK_REALTIME:
      case CLOCK_REALTIME_COARSE:
        *now = timespec_of_ms(utc_ms(call.world));
        break;
      case CLOCK_MONOTONIC:
      case CLOCK_MONOTONIC_RAW:
      case CLOCK_MONOTONIC_COARSE:
      case CLOCK_BOOTTIME:
        *now = timespec_of_ms(static_cast<std::int64_t>(call.world.tick_base() + call.world.now()));
        break;
      case CLOCK_PROCESS_CPUTIME_ID:
      case CLOCK_THREAD_CPUTIME_ID:
        call.not_simulated("for processor time");
      default:
        error = now == nullptr ? EFAULT : EINVAL;
    }
  }
  // errno is set past the call's end, which leaves errno as the call found it.
  if (error != 0) errno = error;
  return error == 0 ? 0 : -1;
}

int winsim_timespec_get(struct timespec *now, int base) {
  winsim::Call call("timespec_get");
  if (now == nullptr || base != TIME_UTC) return 0;
  *now = timespec_of_ms(utc_ms(call.world));
  return base;
}
