// The C runtime's state as the programs use it: console output, and the static destructors
// of a program image.
#include <string>

#include "kernel32/Io.h"
#include "kernel32/Launch.h"
#include "winsim/win32.h"

int winsim_vprintf(const char *format, va_list args) {
  winsim::Call call("printf");
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (n < 0) return n;
  std::string text(static_cast<size_t>(n), '\0');
  std::vsnprintf(text.data(), text.size() + 1, format, args);
  winsim::write_std(call, 1, text);
  return n;
}

int winsim_printf(const char *format, ...) {
  va_list args;
  va_start(args, format);
  int n = winsim_vprintf(format, args);
  va_end(args);
  return n;
}

int winsim_puts(const char *text) {
  winsim::Call call("puts");
  std::string line = std::string(text) + "\n";
  winsim::write_std(call, 1, line);
  return 1;
}

// The static destructors of a program image. The image is linked so that its registrations
// (static objects with destructors, function-local statics as they are made, atexit) come
// here instead of to the host's C library: they are the process's, and run when its main
// returns, as the C runtime's exit runs them on Windows, never when the process is ended
// (ExitProcess, TerminateProcess, a failure) and never by the loader.
extern "C" int __cxa_atexit(void (*function)(void *), void *argument, void *dso_handle);

extern "C" int __wrap___cxa_atexit(void (*function)(void *), void *argument, void *dso_handle) {
  winsim::SimThread *thread = winsim::current_thread();
  if (thread == nullptr) return __cxa_atexit(function, argument, dso_handle);
  thread->process->exit_handlers.emplace_back(function, argument);
  return 0;
}

namespace winsim {

void run_exit_handlers(Process &process) {
  while (!process.exit_handlers.empty()) {
    auto [function, argument] = process.exit_handlers.back();
    process.exit_handlers.pop_back();
    function(argument);
  }
}

}  // namespace winsim
