// The C runtime functions the programs call whose results depend on the simulated machine:
// console output, the clock and the runtime's thread start. The standard names are routed to
// winsim by function-like macros, so other uses of the names (members, std:: qualified calls
// in tools) are left alone.
#pragma once

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

#define printf(...) winsim_printf(__VA_ARGS__)
#define vprintf(format, args) winsim_vprintf(format, args)
#define puts(text) winsim_puts(text)
#define time(result) winsim_time(result)
#define localtime(timer) winsim_localtime(timer)

typedef unsigned(__stdcall *_beginthreadex_proc_type)(void *);
std::uintptr_t _beginthreadex(void *security, unsigned stack_size,
                              _beginthreadex_proc_type start_address, void *arglist,
                              unsigned initflag, unsigned *thrdaddr);
