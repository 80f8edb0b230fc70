// A month of the health monitor with faults at random: the day of a scenario (its lines between
// the service's start and its stop) played again every day, while every call the programs make
// fails with a small probability, reproducibly from a seed.
//
// A service that ends through its fatal path is started again, as the service control
// manager's recovery would, and its end is counted. The run is checked as every sweep run is
// (RunChecks), and at its end also: the service stopped on request with every handle of it
// back, the host's memory as flat in the last week as in the first, and the monitoring cycles
// still coming at their interval on the last day.
#pragma once

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

#include "scenario/Runner.h"
#include "scenario/Scenario.h"

namespace sweep {

struct MonthOptions {
  unsigned days = 30;
  std::uint64_t seed = 1;
  double rate = 1e-4;  // the probability that one call fails
};

struct MonthResult {
  std::vector<std::string> broken;
  std::uint64_t calls_failed = 0;
  unsigned fatal_ends = 0;              // the service ended through its fatal path
  std::vector<std::uint64_t> daily_kb;  // the host's resident memory at the end of each day
  std::uint64_t last_day_cycles = 0;
  std::uint64_t last_day_longest_gap_ms = 0;
  std::uint64_t interval_ms = 0;
};

// The month's scenario made from a day's: the lines up to the service's start, the lines
// between the start and the stop once a day, then the stop and the end on the last day.
// Throws std::runtime_error when the day has no "sc start" and "sc stop" of one service.
scenario::Scenario month_of(const scenario::Scenario &day, unsigned days);

MonthResult run_month(const scenario::Runner &runner, const scenario::Scenario &day,
                      const MonthOptions &options);

// The result as the sweep prints it.
void print_month(const MonthResult &result, const MonthOptions &options, std::ostream &out);

}  // namespace sweep
