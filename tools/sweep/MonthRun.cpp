#include "sweep/MonthRun.h"

#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <optional>
#include <ostream>
#include <stdexcept>

#include "scenario/Programs.h"
#include "sweep/RunChecks.h"
#include "winsim/FileSystem.h"
#include "winsim/Registry.h"
#include "winsim/RunStopped.h"
#include "winsim/Services.h"
#include "winsim/win32.h"

namespace sweep {
namespace {

constexpr std::uint64_t kDayMs = 24ull * 3600 * 1000;
constexpr std::uint64_t kHourMs = 3600ull * 1000;
// How often the run looks whether the service still runs, and starts it again when it ended, as
// a recovery action of the service control manager would a minute after.
constexpr std::uint64_t kRecoveryMs = 60ull * 1000;
constexpr const char *kConfigKey = "HKLM\\SOFTWARE\\Wow6432Node\\Norvane\\Tesmar\\Config";
// The memory the host may gain from the first week to the last.
constexpr std::uint64_t kMemorySlackKb = 16 * 1024;

bool is_service_line(const scenario::Line &line, const char *action) {
  return line.words.size() >= 3 && line.words[0] == "sc" && line.words[1] == action;
}

std::uint64_t resident_kb() {
  std::ifstream statm("/proc/self/statm");
  std::uint64_t size = 0, resident = 0;
  statm >> size >> resident;
  return resident * static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE)) / 1024;
}

// Watches the monitoring cycles (each publishes "SystemStatus") and the failed calls.
class CycleWatch : public winsim::TraceSink {
 public:
  CycleWatch(winsim::World &world, std::uint64_t last_day_from) : from_(last_day_from) {
    world.trace().attach(*this);
  }
  void take(const Record &record) override {
    const std::string &kind = record["kind"].get_ref<const std::string &>();
    if (kind == "fault") ++failed;
    if (kind != "reg.set" || record["name"] != "SystemStatus") return;
    std::uint64_t t = record["t"];
    if (t < from_) return;
    if (last_ != 0) longest_gap = std::max(longest_gap, t - last_);
    last_ = t;
    ++cycles;
  }
  std::uint64_t failed = 0;
  std::uint64_t cycles = 0;
  std::uint64_t longest_gap = 0;

 private:
  std::uint64_t from_;
  std::uint64_t last_ = 0;
};

struct ServiceLines {
  const scenario::Line *start = nullptr;
  const scenario::Line *stop = nullptr;
};

ServiceLines service_lines(const scenario::Scenario &day) {
  ServiceLines lines;
  for (const auto &line : day.lines) {
    if (lines.start == nullptr && is_service_line(line, "start")) lines.start = &line;
    if (lines.start != nullptr && lines.stop == nullptr && is_service_line(line, "stop") &&
        line.words[2] == lines.start->words[2])
      lines.stop = &line;
  }
  if (lines.start == nullptr || lines.stop == nullptr)
    throw std::runtime_error(day.file.string() +
                             ": a month needs a day that starts and stops one service");
  return lines;
}

// The file name of a service's program from its command line: "Quillet.exe".
std::string image_of(const std::string &command_line) {
  std::string program = command_line;
  if (!program.empty() && program.front() == '"')
    program = program.substr(1, program.find('"', 1) - 1);
  else
    program = program.substr(0, program.find(' '));
  return winsim::FileSystem::file_name(program);
}

}  // namespace

scenario::Scenario month_of(const scenario::Scenario &day, unsigned days) {
  ServiceLines service = service_lines(day);
  scenario::Scenario month{day.file, {}};
  for (const auto &line : day.lines) {
    if (line.time > service.start->time) break;
    month.lines.push_back(line);
    if (&line == service.start) break;
  }
  for (unsigned d = 0; d < days; ++d)
    for (const auto *line = service.start + 1; line != service.stop; ++line) {
      if (line->time >= service.stop->time) break;
      scenario::Line copy = *line;
      copy.time += d * kDayMs;
      month.lines.push_back(std::move(copy));
    }
  scenario::Line stop = *service.stop;
  stop.time = days * kDayMs - kHourMs;
  month.lines.push_back(stop);
  scenario::Line end = day.lines.back();
  end.time = days * kDayMs;
  month.lines.push_back(std::move(end));
  return month;
}

MonthResult run_month(const scenario::Runner &runner, const scenario::Scenario &day,
                      const MonthOptions &options) {
  MonthResult result;
  scenario::Scenario month = month_of(day, options.days);
  ServiceLines service = service_lines(day);
  const std::string name = service.start->words[2];

  winsim::World world;
  world.trace().keep_records(false);
  world.set_seed(options.seed);
  scenario::register_programs(world);
  RunChecks checks(world);
  CycleWatch cycles(world, (options.days - 1) * kDayMs);

  bool faults_on = false, stop_asked = false;
  std::uint64_t next_day = kDayMs;
  try {
    for (const auto &line : month.lines) {
      // Minute by minute up to the line: a service that ended through its fatal path meanwhile is
      // started again.
      while (world.now() + kRecoveryMs < line.time) {
        world.run_until(world.now() + kRecoveryMs);
        auto info = world.services().info(name);
        if (!stop_asked && info && info->state == SERVICE_STOPPED) {
          ++result.fatal_ends;
          // The manager forgets the process once it ended: the service's is the last of its image.
          std::optional<std::uint32_t> pid = world.find_process(image_of(info->path));
          if (!pid || world.exit_path(*pid) != winsim::ExitPath::Terminated)
            result.broken.push_back("the service ended at " + std::to_string(world.now() / 1000) +
                                    " s without being asked to stop and not through its fatal "
                                    "path");
          scenario::Line start = *service.start;
          start.time = world.now();
          runner.play_line(world, start);
        }
        if (world.now() >= next_day) {
          result.daily_kb.push_back(resident_kb());
          next_day += kDayMs;
        }
      }
      if (&line == &month.lines.back() - 1) stop_asked = true;
      runner.play_line(world, line);
      // Faults begin once the service has started.
      if (!faults_on && is_service_line(line, "start")) {
        world.faults().fail_at_random(options.rate, options.seed, is_swept);
        faults_on = true;
      }
    }
    world.faults().fail_at_random(0, 0);
    world.run_for(RunChecks::kStopLimitMs);
  } catch (const winsim::RunStopped &stop) {
    result.broken.push_back(std::string("run stopped: ") + stop.what());
  }
  result.daily_kb.push_back(resident_kb());
  for (auto &text : checks.broken()) result.broken.push_back(std::move(text));

  auto info = world.services().info(name);
  if (!info || info->state != SERVICE_STOPPED)
    result.broken.push_back("the service has not stopped at the end of the month");
  result.calls_failed = cycles.failed;

  // Memory: the last week no higher than the first.
  std::size_t week = std::min<std::size_t>(7, result.daily_kb.size());
  std::uint64_t first_week =
      *std::max_element(result.daily_kb.begin(), result.daily_kb.begin() + static_cast<long>(week));
  std::uint64_t last_week =
      *std::max_element(result.daily_kb.end() - static_cast<long>(week), result.daily_kb.end());
  if (last_week > first_week + kMemorySlackKb)
    result.broken.push_back("the host's memory grew from " + std::to_string(first_week / 1024) +
                            " MB in the first week to " + std::to_string(last_week / 1024) +
                            " MB in the last");

  // Cycles on the last day: at their interval, none missing for long.
  auto interval = world.registry().dword(kConfigKey, "CheckInterval");
  std::uint64_t seconds = interval && *interval != 0xFFFFFFFF ? *interval : 60;
  result.interval_ms = std::clamp<std::uint64_t>(seconds, 60, 86400) * 1000;
  result.last_day_cycles = cycles.cycles;
  result.last_day_longest_gap_ms = cycles.longest_gap;
  std::uint64_t expected = (kDayMs - kHourMs) / result.interval_ms;
  if (cycles.cycles * 10 < expected * 9 || cycles.longest_gap > 3 * result.interval_ms)
    result.broken.push_back("monitoring cycles on the last day: " + std::to_string(cycles.cycles) +
                            " of about " + std::to_string(expected) + ", longest gap " +
                            std::to_string(cycles.longest_gap / 1000) + " s");
  return result;
}

void print_month(const MonthResult &result, const MonthOptions &options, std::ostream &out) {
  std::uint64_t peak = result.daily_kb.empty()
                           ? 0
                           : *std::max_element(result.daily_kb.begin(), result.daily_kb.end());
  out << options.days << " days, seed " << options.seed << ", rate " << options.rate << ": "
      << result.calls_failed << " calls failed, " << result.fatal_ends
      << " fatal ends of the service (started again)\n";
  out << "memory: peak " << peak / 1024 << " MB; by day (MB):";
  for (std::uint64_t kb : result.daily_kb) out << " " << kb / 1024;
  out << "\n";
  out << "last day: " << result.last_day_cycles << " cycles at " << result.interval_ms / 1000
      << " s, longest gap " << result.last_day_longest_gap_ms / 1000 << " s\n";
  for (const auto &text : result.broken) out << "BROKEN: " << text << "\n";
  out << (result.broken.empty() ? "ok" : "broken") << "\n";
}

}  // namespace sweep
