// A running appliance for the health evaluation's tests: the configuration key present, the
// board up, one sound disk per bay, and the service started; cycles come every 60 s or at
// once on a parameter change. What the tests look at: the monitor's messages, the values in
// the configuration key, the LED pins and the alarms.
#pragma once

#include <cstdio>
#include <sstream>

#include "DiskSmartSupport.h"
#include "ServiceWorld.h"
#include "standins/Board.h"
#include "winsim/EventLog.h"
#include "winsim/Registry.h"

namespace quillet_test {

// An event-log record of the monitor as the health tests compare it.
inline Record Message(std::uint64_t t, int type, std::uint32_t id, const std::string &text) {
  return {{"t", t}, {"type", type}, {"id", id}, {"text", text}};
}

// A GPIO write, and a write to the status LED as StatusLed gives it.
inline Record Pin(std::uint64_t t, int pin, int level) {
  return {{"t", t}, {"pin", pin}, {"level", level}};
}
inline Record Led(std::uint64_t t, int level) {
  return {{"t", t}, {"level", level}};
}

class HealthWorld : public ServiceWorld {
 protected:
  HealthWorld() {
    world.registry().create_key(kConfigKey);
    InstallDirectly();
    // The listing tool names one sound disk per bay, so that a cycle finds nothing to report
    // about the disks.
    standin::install_wmic(world).output = disk_test::TwoBayListing();
    winsim::add_smart_disk(world, 0, disk_test::HealthyData(0), disk_test::HealthyThresholds());
    winsim::add_smart_disk(world, 1, disk_test::HealthyData(0), disk_test::HealthyThresholds());
  }
  ~HealthWorld() override {
    if (pid_ != 0 && world.running(pid_)) {
      EXPECT_EQ(Control(SERVICE_CONTROL_STOP), 0u);
      EXPECT_TRUE(world.wait_exit(pid_));
    }
  }

  standins::Board &Board() { return standins::Board::of(world); }

  // Starts the service, whose first cycle runs at once, and lets `ms` pass.
  void StartMonitor(std::uint64_t ms = 0) {
    pid_ = StartService();
    world.run_for(ms);
  }
  // A cycle now, through a parameter-change control, and `ms` after it.
  void CycleNow(std::uint64_t ms = 0) {
    ASSERT_EQ(Control(SERVICE_CONTROL_PARAMCHANGE), 0u);
    world.run_for(ms);
  }

  std::optional<std::uint32_t> Config(const char *name) {
    return world.registry().dword(kConfigKey, name);
  }

  // The monitor's messages (source "Quillet") from `from` on: time, type, id, text (UTF-8).
  // All, only the components' or only the system status's.
  enum Which { kAll, kComponents, kSystem };
  Records Messages(std::uint64_t from = 0, Which which = kAll) {
    Records out;
    for (const auto &r : world.trace().of_kind("event")) {
      std::uint32_t number = r["id"].get<std::uint32_t>() & 0xFFFF;
      bool system = number < 1000;
      bool component = number > 10000;
      bool wanted =
          which == kAll || (which == kComponents && component) || (which == kSystem && system);
      if (r["source"] == "Quillet" && r["t"] >= from && wanted)
        out.push_back(Message(r["t"], r["type"], r["id"], r["strings"][0]));
    }
    return out;
  }

  // The components' messages from `from` on as "type id text" lines, for tables; `timed`, as
  // "ms type id" lines.
  std::string ComponentMessageLines(std::uint64_t from = 0, bool timed = false) {
    std::string out;
    char head[48];
    for (const auto &r : Messages(from, kComponents)) {
      int type = r["type"];
      std::uint32_t id = r["id"];
      if (timed)
        std::snprintf(head, sizeof head, "%llu %d 0x%08X",
                      static_cast<unsigned long long>(r["t"].get<std::uint64_t>()), type, id);
      else
        std::snprintf(head, sizeof head, "%d 0x%08X ", type, id);
      out += (out.empty() ? "" : "\n") + std::string(head) +
             (timed ? "" : r["text"].get<std::string>());
    }
    return out;
  }
  // The configuration values named in `expected` ("Name=value ..."), as they are now, in the
  // same form; a missing value reads "-".
  std::string ConfigValues(const std::string &expected) {
    std::string out;
    std::istringstream words(expected);
    for (std::string word; words >> word;) {
      std::string name = word.substr(0, word.find('='));
      std::optional<std::uint32_t> value = Config(name.c_str());
      out += (out.empty() ? "" : " ") + name + "=" + (value ? std::to_string(*value) : "-");
    }
    return out;
  }

  // Writes of a configuration value: time and data.
  Records Writes(const std::string &name) {
    Records out;
    for (const auto &r : world.trace().of_kind("reg.set"))
      if (r["key"] == kConfigKey && r["name"] == name)
        out.push_back({{"t", r["t"]}, {"data", r["data"]}});
    return out;
  }
  std::vector<std::uint64_t> WriteTimes(const std::string &name) {
    std::vector<std::uint64_t> out;
    for (const auto &r : Writes(name)) out.push_back(r["t"].get<std::uint64_t>());
    return out;
  }

  // Writes to the status LED (pin 10) from `from` on.
  Records StatusLed(std::uint64_t from = 0) {
    Records out;
    for (const auto &r : world.trace().select("gpio", {"t", "pin", "level"}))
      if (r["pin"] == 10 && r["t"] >= from) out.push_back(Led(r["t"], r["level"]));
    return out;
  }

  // Start times of the system alarm: its tones last 50 ms (the RAID alarm's longer), nine
  // within less than four seconds.
  std::vector<std::uint64_t> SystemAlarms() {
    std::vector<std::uint64_t> out;
    std::optional<std::uint64_t> last;
    for (const auto &r : world.trace().of_kind("sound")) {
      if (r["duration"] != 50) continue;
      std::uint64_t t = r["t"];
      if (!last || t > *last + 5000) out.push_back(t);
      last = t;
    }
    return out;
  }

  std::uint32_t pid_ = 0;
};

}  // namespace quillet_test
