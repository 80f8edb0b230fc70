#include "sweep/SiteSweep.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <ostream>
#include <sstream>

#include "scenario/Programs.h"
#include "sweep/RunChecks.h"
#include "winsim/RunStopped.h"

namespace sweep {
namespace {

// Counts the calls the fault plan made fail.
class FaultCounter : public winsim::TraceSink {
 public:
  explicit FaultCounter(winsim::World &world) { world.trace().attach(*this); }
  void take(const Record &record) override {
    if (record["kind"] == "fault") ++count;
  }
  std::uint64_t count = 0;
};

std::string first_line(const std::string &text) {
  std::string line = text.substr(0, text.find('\n'));
  return line.rfind("winsim: ", 0) == 0 ? line.substr(8) : line;
}

RunOutcome run_here(const scenario::Runner &runner, const scenario::Scenario &scenario,
                    const std::optional<winsim::Fault> &rule, bool record) {
  RunOutcome outcome;
  winsim::World world;
  world.trace().keep_records(false);
  scenario::register_programs(world);
  RunChecks checks(world);
  FaultCounter faults(world);
  world.faults().record_sites(record);
  try {
    if (rule) world.faults().add(*rule);
    runner.play(world, scenario);
    world.run_for(RunChecks::kStopLimitMs);
  } catch (const winsim::RunStopped &stop) {
    outcome.broken.push_back("run stopped: " + first_line(stop.what()));
  } catch (const std::exception &e) {
    outcome.broken.push_back(std::string("the scenario could not go on: ") + first_line(e.what()));
  }
  for (auto &text : checks.broken()) outcome.broken.push_back(std::move(text));
  for (const auto &[site, count] : world.faults().sites()) outcome.sites.push_back(site);
  outcome.failed_calls = faults.count;
  return outcome;
}

// The outcome as lines: "B <broken check>", "S <call>\t<caller>", "F <failed calls>".
std::string serialize(const RunOutcome &outcome) {
  std::string out;
  for (const auto &text : outcome.broken) out += "B " + text + "\n";
  for (const auto &site : outcome.sites)
    out += "S " + site.call + "\t" + site.caller + "\t" + site.program + "\n";
  out += "F " + std::to_string(outcome.failed_calls) + "\n";
  return out;
}

RunOutcome parse(const std::string &text) {
  RunOutcome outcome;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.size() < 2) continue;
    std::string rest = line.substr(2);
    if (line[0] == 'B') outcome.broken.push_back(rest);
    if (line[0] == 'F') outcome.failed_calls = std::stoull(rest);
    if (line[0] == 'S') {
      std::size_t tab = rest.find('\t'), tab2 = rest.find('\t', tab + 1);
      outcome.sites.push_back(
          {rest.substr(0, tab), rest.substr(tab + 1, tab2 - tab - 1), rest.substr(tab2 + 1)});
    }
  }
  return outcome;
}

struct Child {
  pid_t pid = -1;
  int fd = -1;
};

Child start_child(const scenario::Runner &runner, const scenario::Scenario &scenario,
                  const std::optional<winsim::Fault> &rule, bool record) {
  int fds[2];
  if (pipe(fds) != 0) throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
  if (pid == 0) {
    close(fds[0]);
    // What the scenario's lines warn about is the run's business, not the sweep's report.
    int null = open("/dev/null", O_WRONLY);
    if (null >= 0) dup2(null, STDERR_FILENO);
    std::string text = serialize(run_here(runner, scenario, rule, record));
    for (std::size_t done = 0; done < text.size();) {
      ssize_t n = write(fds[1], text.data() + done, text.size() - done);
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    // The world and everything else go with the child; nothing of it needs to run on the way.
    _exit(0);
  }
  close(fds[1]);
  return {pid, fds[0]};
}

RunOutcome finish_child(Child child) {
  std::string text;
  char buffer[4096];
  for (;;) {
    ssize_t n = read(child.fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  close(child.fd);
  int status = 0;
  while (waitpid(child.pid, &status, 0) < 0 && errno == EINTR) {
  }
  RunOutcome outcome = parse(text);
  if (WIFSIGNALED(status))
    outcome.broken.push_back("the run crashed the host (signal " +
                             std::to_string(WTERMSIG(status)) + ")");
  else if (WEXITSTATUS(status) != 0)
    outcome.broken.push_back("the run ended the host with exit code " +
                             std::to_string(WEXITSTATUS(status)));
  return outcome;
}

struct Planned {
  winsim::CallSite site;
  bool every;
};

}  // namespace

RunOutcome run_in_child(const scenario::Runner &runner, const scenario::Scenario &scenario,
                        const std::optional<winsim::Fault> &rule, bool record) {
  return finish_child(start_child(runner, scenario, rule, record));
}

unsigned sweep_scenario(const scenario::Runner &runner, const scenario::Scenario &scenario,
                        const SweepOptions &options, std::ostream &out) {
  const std::string name = scenario.file.filename().string();
  RunOutcome baseline = run_in_child(runner, scenario, std::nullopt, true);
  for (const auto &text : baseline.broken)
    out << name << " without faults: " << text << " (not counted below)\n";

  std::vector<Planned> plan;
  for (const auto &site : baseline.sites) {
    if (!is_swept(site)) continue;
    if (options.first) plan.push_back({site, false});
    if (options.every) plan.push_back({site, true});
  }

  unsigned broken_runs = 0;
  std::deque<std::pair<Planned, Child>> running;
  std::size_t next = 0;
  auto report = [&](const Planned &planned, RunOutcome outcome) {
    std::erase_if(outcome.broken, [&](const std::string &text) {
      return std::find(baseline.broken.begin(), baseline.broken.end(), text) !=
             baseline.broken.end();
    });
    out << name << " " << planned.site.call << " in " << planned.site.caller << " "
        << (planned.every ? "every" : "first") << ": ";
    if (outcome.broken.empty()) {
      out << "ok (" << outcome.failed_calls << " failed)\n";
    } else {
      ++broken_runs;
      out << "BROKEN:";
      for (const auto &text : outcome.broken) out << " " << text << ";";
      out << "\n";
    }
    out.flush();
  };
  while (next < plan.size() || !running.empty()) {
    while (next < plan.size() && running.size() < std::max(1u, options.jobs)) {
      const Planned &planned = plan[next++];
      winsim::Fault rule;
      rule.call = planned.site.call;
      rule.in = planned.site.caller;
      rule.from = planned.every;
      running.emplace_back(planned, start_child(runner, scenario, rule, false));
    }
    auto [planned, child] = running.front();
    running.pop_front();
    report(planned, finish_child(child));
  }
  out << name << ": " << plan.size() / ((options.first ? 1 : 0) + (options.every ? 1 : 0))
      << " sites, " << plan.size() << " runs, " << broken_runs << " broken\n";
  return broken_runs;
}

}  // namespace sweep
