// A program that reads the host's clock through _ftime, which winsim refuses when the program is
// compiled: the CTest entry winsim.host_clock_refused compiles this file and expects the error.
#include <sys/timeb.h>

#include "platform/win32.h"

int main() {
  struct timeb now;
  _ftime(&now);
  return static_cast<int>(now.time % 2);
}
