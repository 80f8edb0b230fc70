// The C runtime's console output as the programs use it.
#include <string>

#include "kernel32/Io.h"
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
