// The C runtime functions the programs call whose results depend on the simulated machine:
// console output, the clock and the runtime's thread start. The standard names are routed to
// winsim by function-like macros, so other uses of the names (members, a function pointer's
// name without a call) are left alone.
//
// Every clock and calendar function of the C runtime reads the world's virtual clock and time
// zone (which has no daylight saving time), as Windows' runtime reads the machine's: time,
// _time64, clock (the time since the process started, as Windows counts it), gettimeofday,
// clock_gettime, timespec_get; localtime, gmtime, mktime, _mkgmtime, ctime and their _64, _s
// and _r forms. Their static results are kept per simulated thread, as Windows keeps them per
// thread. _ftime and ftime are refused when the program is compiled.
#pragma once

#include <sys/time.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "winsim/win32/types.h"

int winsim_printf(const char *format, ...) __attribute__((format(printf, 1, 2)));
int winsim_vprintf(const char *format, va_list args) __attribute__((format(printf, 1, 0)));
int winsim_puts(const char *text);

std::time_t winsim_time(std::time_t *result);
struct tm *winsim_localtime(const std::time_t *timer);
struct tm *winsim_gmtime(const std::time_t *timer);
int winsim_localtime_s(struct tm *result, const std::time_t *timer);
int winsim_gmtime_s(struct tm *result, const std::time_t *timer);
struct tm *winsim_localtime_r(const std::time_t *timer, struct tm *result);
struct tm *winsim_gmtime_r(const std::time_t *timer, struct tm *result);
std::time_t winsim_mktime(struct tm *local);
std::time_t winsim_mkgmtime(struct tm *utc);
char *winsim_ctime(const std::time_t *timer);
std::clock_t winsim_clock();
int winsim_gettimeofday(struct timeval *now, void *zone);
// CLOCK_REALTIME reads the calendar, CLOCK_MONOTONIC and CLOCK_BOOTTIME the time since the
// machine started; a processor-time clock stops the run as not simulated.
int winsim_clock_gettime(clockid_t clock, struct timespec *now);
int winsim_timespec_get(struct timespec *now, int base);
void winsim_refused_ftime(...)
    __attribute__((error("_ftime reads the host's clock: use GetSystemTime or time")));

#define printf(...) winsim_printf(__VA_ARGS__)
#define vprintf(format, args) winsim_vprintf(format, args)
#define puts(text) winsim_puts(text)
#define time(result) winsim_time(result)
#define _time64(result) winsim_time(result)
#define localtime(timer) winsim_localtime(timer)
#define _localtime64(timer) winsim_localtime(timer)
#define gmtime(timer) winsim_gmtime(timer)
#define _gmtime64(timer) winsim_gmtime(timer)
#define localtime_s(result, timer) winsim_localtime_s(result, timer)
#define _localtime64_s(result, timer) winsim_localtime_s(result, timer)
#define gmtime_s(result, timer) winsim_gmtime_s(result, timer)
#define _gmtime64_s(result, timer) winsim_gmtime_s(result, timer)
#define localtime_r(timer, result) winsim_localtime_r(timer, result)
#define gmtime_r(timer, result) winsim_gmtime_r(timer, result)
#define mktime(local) winsim_mktime(local)
#define _mktime64(local) winsim_mktime(local)
#define _mkgmtime(utc) winsim_mkgmtime(utc)
#define _mkgmtime64(utc) winsim_mkgmtime(utc)
#define timegm(utc) winsim_mkgmtime(utc)
#define ctime(timer) winsim_ctime(timer)
#define _ctime64(timer) winsim_ctime(timer)
#define clock() winsim_clock()
#define gettimeofday(now, zone) winsim_gettimeofday(now, zone)
#define clock_gettime(id, now) winsim_clock_gettime(id, now)
#define timespec_get(now, base) winsim_timespec_get(now, base)
#define _ftime(...) winsim_refused_ftime(__VA_ARGS__)
#define _ftime64(...) winsim_refused_ftime(__VA_ARGS__)
#define _ftime_s(...) winsim_refused_ftime(__VA_ARGS__)
#define ftime(...) winsim_refused_ftime(__VA_ARGS__)

typedef unsigned(__stdcall *_beginthreadex_proc_type)(void *);
std::uintptr_t _beginthreadex(void *security, unsigned stack_size,
                              _beginthreadex_proc_type start_address, void *arglist,
                              unsigned initflag, unsigned *thrdaddr);
