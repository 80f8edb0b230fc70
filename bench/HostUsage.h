// What the benchmarks read of the host process: its memory from /proc/self/status and the
// processor time of all its threads (steadier than real time on a busy machine).
#pragma once

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

// A field of /proc/self/status in kB ("VmRSS", "VmHWM"); -1 when it cannot be read.
inline long StatusKb(const char *field) {
  std::FILE *status = std::fopen("/proc/self/status", "r");
  if (status == nullptr) return -1;
  char line[256];
  long kb = -1;
  std::size_t length = std::strlen(field);
  while (std::fgets(line, sizeof line, status) != nullptr)
    if (std::strncmp(line, field, length) == 0 && line[length] == ':')
      kb = std::strtol(line + length + 1, nullptr, 10);
  std::fclose(status);
  return kb;
}

// Processor time of every thread of the host so far, in seconds.
inline double ProcessorS() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto s = [](const timeval &t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return s(usage.ru_utime) + s(usage.ru_stime);
}
