// The project's scenarios under several seeds: each reaches its end line, and what the run leaves
// is the same whatever order the seed picks at each virtual instant: how every process ended
// and what it wrote to its console, the event log, the last value written to each registry
// value, each pin's last level and each service's last state.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "ScenarioTesting.h"

namespace scenario_seeds_test {
namespace {

using Record = winsim::Trace::Record;

// The scenario's lines without its seed, after a seed line of its own when `seed` is not 0.
std::string WithSeed(const std::string &text, std::uint64_t seed) {
  std::string out = seed != 0 ? "0 seed " + std::to_string(seed) + "\n" : "";
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::string time, verb;
    if (!(words >> time >> verb) || verb != "seed") out += line + "\n";
  }
  return out;
}

// What a run leaves, gathered as the trace is made.
class Outcome : public winsim::TraceSink {
 public:
  void take(const Record &r) override {
    const std::string kind = r["kind"];
    if (kind == "process.exit")
      exits_.push_back({r["pid"], r["code"].dump()});
    else if (kind == "event")
      events_ += r["id"].dump() + " " + r["type"].dump() + " " + r["strings"].dump() + "\n";
    else if (kind == "reg.set" || kind == "reg.delete")
      last_["reg " + r.value("key", std::string()) + " " + r.value("name", std::string())] =
          kind == "reg.set" ? r["data"].dump() : "deleted";
    else if (kind == "gpio")
      last_["pin " + r["pin"].dump()] = r["level"].dump();
    else if (kind == "svc.status")
      last_["service " + r["service"].get<std::string>()] = r["state"].dump();
  }

  // One line each: every process's end and console output, the event log, the last values.
  std::string text(const winsim::World &world) const {
    std::string out;
    for (const auto &[pid, code] : exits_)
      out += std::to_string(pid) + " " + code + " " + world.console(pid) + "\n";
    out += events_;
    for (const auto &[what, value] : last_) out += what + " = " + value + "\n";
    return out;
  }

 private:
  std::vector<std::pair<std::uint32_t, std::string>> exits_;
  std::string events_;
  std::map<std::string, std::string> last_;
};

std::string Play(const std::string &path, std::uint64_t seed) {
  winsim::World world;
  world.trace().keep_records(false);
  Outcome outcome;
  world.trace().attach(outcome);
  scenario::register_programs(world);
  scenario::Runner runner(scenario_test::all_verbs(), nullptr);
  runner.play(world,
              scenario::parse_scenario(WithSeed(scenario_test::file_text(path), seed), path));
  world.trace().finish();
  return outcome.text(world);
}

TEST(ScenarioSeeds, EveryScenarioLeavesTheSameOutcomeUnderEverySeed) {
  for (const auto &entry : std::filesystem::directory_iterator(NORVANE_SOURCE_DIR "/scenarios")) {
    if (entry.path().extension() != ".scn") continue;
    const std::string path = entry.path().string();
    const std::string unseeded = Play(path, 0);
    for (std::uint64_t seed = 1; seed <= 4; ++seed)
      EXPECT_EQ(Play(path, seed), unseeded) << path << " under seed " << seed;
  }
}

}  // namespace
}  // namespace scenario_seeds_test
