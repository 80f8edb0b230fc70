// sweep: fails the programs' Win32 calls one call site at a time, or at random for a month, and
// checks that every run still ends soundly (SiteSweep.h, MonthRun.h, RunChecks.h).
//
//   sweep [--jobs <n>] [--first|--every] <scenario>...
//   sweep --random [--days <n>] [--seed <n>] [--rate <p>] <scenario>
//   sweep --census <sites file>
//
// Exit codes: 0 every check held; 1 a check broke; 2 bad arguments or an unreadable scenario.
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "scenario/Programs.h"
#include "scenario/ScenarioError.h"
#include "sweep/Census.h"
#include "sweep/MonthRun.h"
#include "sweep/SiteSweep.h"

namespace {

constexpr const char *kUsage =
    "usage: sweep [--jobs <n>] [--first|--every] <scenario>...\n"
    "       sweep --random [--days <n>] [--seed <n>] [--rate <p>] <scenario>\n"
    "       sweep --census <sites file>\n"
    "Runs each scenario once to find every (call, calling function) pair the programs reach,\n"
    "then once per pair with its first call failing and once with every call failing, and\n"
    "checks each run; with --random, runs the scenario's day over and over for a month with\n"
    "calls failing at random; with --census, reports which call sites the tests that wrote the\n"
    "file (WINSIM_SITES) reached and failed. Exit codes: 0 all checks held, 1 a check broke,\n"
    "2 bad usage.\n";

struct Options {
  sweep::SweepOptions sites;
  sweep::MonthOptions month;
  bool random = false;
  bool census = false;
  std::vector<std::string> files;
};

bool number(const std::string &text, double &value) {
  char *end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return !text.empty() && end != nullptr && *end == '\0' && value >= 0;
}

bool read_options(int argc, char **argv, Options &options, std::string &why) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    bool valued = arg == "--jobs" || arg == "--days" || arg == "--seed" || arg == "--rate";
    double value = 0;
    if (valued && (i + 1 == argc || !number(argv[i + 1], value))) {
      why = arg + " needs a number";
      return false;
    }
    if (arg == "--jobs")
      options.sites.jobs = static_cast<unsigned>(value), ++i;
    else if (arg == "--days")
      options.month.days = static_cast<unsigned>(value), ++i;
    else if (arg == "--seed")
      options.month.seed = static_cast<std::uint64_t>(value), ++i;
    else if (arg == "--rate")
      options.month.rate = value, ++i;
    else if (arg == "--random")
      options.random = true;
    else if (arg == "--census")
      options.census = true;
    else if (arg == "--first")
      options.sites.every = false;
    else if (arg == "--every")
      options.sites.first = false;
    else if (!arg.empty() && arg[0] == '-') {
      why = "unknown option " + arg;
      return false;
    } else {
      options.files.push_back(arg);
    }
  }
  if (options.files.empty()) why = "no scenario file";
  if (options.census && options.files.size() != 1) why = "--census takes one sites file";
  if (options.random && options.files.size() != 1) why = "--random takes one scenario";
  if (options.random && (options.month.days == 0 || options.month.rate > 1))
    why = "--days must be at least 1 and --rate at most 1";
  return why.empty();
}

int census(const std::string &file) {
  std::ifstream in(file);
  sweep::Census sites;
  if (!in || !sites.read(in)) {
    std::cerr << "sweep: " << file << " is not a file of call sites\n";
    return 2;
  }
  sites.report(std::cout);
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  Options options;
  std::string why;
  if (!read_options(argc, argv, options, why)) {
    std::cerr << "sweep: " << why << "\n" << kUsage;
    return 2;
  }
  if (options.census) return census(options.files[0]);
  scenario::Verbs verbs;
  scenario::register_verbs(verbs);
  scenario::Runner runner(verbs, scenario::register_programs);
  std::vector<scenario::Scenario> scenarios;
  try {
    for (const auto &file : options.files) {
      scenarios.push_back(scenario::load_scenario(file));
      runner.check(scenarios.back());
    }
  } catch (const std::exception &e) {
    std::cerr << "sweep: " << e.what() << "\n";
    return 2;
  }

  if (options.random) {
    try {
      sweep::MonthResult result = sweep::run_month(runner, scenarios[0], options.month);
      sweep::print_month(result, options.month, std::cout);
      return result.broken.empty() ? 0 : 1;
    } catch (const std::exception &e) {
      std::cerr << "sweep: " << e.what() << "\n";
      return 2;
    }
  }
  unsigned broken = 0;
  for (const auto &scenario : scenarios)
    broken += sweep::sweep_scenario(runner, scenario, options.sites, std::cout);
  std::cout << "total: " << broken << " broken runs\n";
  return broken == 0 ? 0 : 1;
}
