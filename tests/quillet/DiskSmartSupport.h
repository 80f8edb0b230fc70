// Shared pieces of the disk step's tests: listings as the WMI tool prints them, SMART sectors,
// and a world with the tool in place and the configuration key present.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "../WorldSeed.h"
#include "monitor/disk_smart.h"
#include "service/RegHandle.h"
#include "winsim/Registry.h"
#include "winsim/SmartDisk.h"
#include "winsim/Trace.h"
#include "winsim/World.h"
#include "wmic/sim/WmicStandIn.h"

namespace disk_test {

using ::testing::ElementsAre;

inline constexpr const char *kConfigKey = "SOFTWARE\\Wow6432Node\\Norvane\\Tesmar\\Config";
inline const std::string kConfigPath = std::string("HKLM\\") + kConfigKey;
// The event said when the disks are first listed without the tool.
inline constexpr std::uint32_t kListedWithoutToolId = 0x400003EA;
inline constexpr const char *kListedWithoutToolUtf8 =
    "WMIコマンドラインツール(wmic.exe)が見つからないため、ディスクの一覧をツールを使わずに取得"
    "します。";
inline const char *const kValuePrefixes[] = {"HDDTemp_", "HDD05_", "HDD05CU_",
                                             "HDD05TH_", "HDDC5_", "HDDC6_"};

// One row of the tool's CSV output: Node, Caption, InterfaceType, Name, SCSIBus.
inline std::string Row(const std::string &caption, const std::string &interface_type,
                       const std::string &name, const std::string &bus) {
  return "NAS01," + caption + "," + interface_type + "," + name + "," + bus + "\r\r\n";
}

// The tool's output: an empty line, the header line, then the rows.
inline std::string Listing(std::initializer_list<std::string> rows) {
  std::string text = "\r\r\nNode,Caption,InterfaceType,Name,SCSIBus\r\r\n";
  for (const auto &row : rows) text += row;
  return text;
}

inline std::string Drive(unsigned number) {
  return "\\\\.\\PHYSICALDRIVE" + std::to_string(number);
}

// The usual machine: one internal disk per bay.
inline std::string TwoBayListing() {
  return Listing(
      {Row("HDS2000-A01", "IDE", Drive(0), "0"), Row("HDS2000-B02", "IDE", Drive(1), "1")});
}

struct DataSlot {
  std::uint8_t id;
  std::uint8_t current;
  std::uint64_t raw;  // six bytes, least significant first
};
struct ThresholdSlot {
  std::uint8_t id;
  std::uint8_t threshold;
};

// Attribute slot k starts at sector offset 2 + 12k.
constexpr std::size_t SlotOffset(std::size_t k) {
  return 2 + 12 * k;
}

inline std::vector<std::uint8_t> DataSector(std::initializer_list<DataSlot> slots) {
  std::vector<std::uint8_t> sector(512, 0);
  sector[0] = 0x10;  // revision
  std::size_t k = 0;
  for (const auto &slot : slots) {
    std::uint8_t *p = &sector[SlotOffset(k++)];
    p[0] = slot.id;
    p[1] = 0x33;  // flags
    p[3] = slot.current;
    p[4] = slot.current;  // worst
    for (int i = 0; i < 6; ++i) p[5 + i] = static_cast<std::uint8_t>(slot.raw >> (8 * i));
  }
  return sector;
}

inline std::vector<std::uint8_t> ThresholdSector(std::initializer_list<ThresholdSlot> slots) {
  std::vector<std::uint8_t> sector(512, 0);
  sector[0] = 0x10;
  std::size_t k = 0;
  for (const auto &slot : slots) {
    std::uint8_t *p = &sector[SlotOffset(k++)];
    p[0] = slot.id;
    p[1] = slot.threshold;
  }
  return sector;
}

// A healthy drive: temperature 41, five reallocated sectors (current 100, threshold 36),
// `pending` pending sectors (the health evaluation warns of any), none uncorrectable.
inline std::vector<std::uint8_t> HealthyData(std::uint64_t pending = 2) {
  return DataSector({{1, 117, 0},
                     {5, 100, 5},
                     {9, 99, 1234},
                     {194, 41, 0x0000120029},
                     {197, 100, pending},
                     {198, 100, 0}});
}
inline std::vector<std::uint8_t> HealthyThresholds() {
  return ThresholdSector({{1, 6}, {5, 36}, {9, 0}, {194, 0}, {197, 0}, {198, 0}});
}
// The six values published for such a drive.
inline const std::vector<std::uint32_t> kHealthyValues = {41, 5, 100, 36, 2, 0};

// A bay's six figures in the order of kValuePrefixes.
inline std::vector<LONG> Figures(const HddInfo &hdd) {
  return {hdd.Temp, hdd.Raw05, hdd.Cur05, hdd.Th05, hdd.RawC5, hdd.RawC6};
}

// A world with the listing tool installed (printing nothing until told) and the service's
// configuration key present.
class DiskSmartWorld : public ::testing::Test {
 protected:
  DiskSmartWorld() {
    world_seed::SeedWorld(world);
    standin::install_wmic(world);
    world.registry().create_key(kConfigPath);
  }

  standin::WmicStandIn &wmic() { return world.part<standin::WmicStandIn>(); }

  std::shared_ptr<winsim::SmartDisk> AddHealthyDisk(unsigned number) {
    return winsim::add_smart_disk(world, number, HealthyData(), HealthyThresholds());
  }

  // Runs the disk step on the host thread, as the monitoring cycle does.
  HddReport Collect() {
    RegHandle config(HKEY_LOCAL_MACHINE, kConfigKey);
    return CollectDiskSmart(config);
  }

  // Sets all twelve bay values, so that their deletion shows in the trace.
  void SeedBayValues(std::uint32_t value = 7) {
    for (int bay = 0; bay < 2; ++bay)
      for (const char *prefix : kValuePrefixes)
        world.registry().set_dword(kConfigPath, prefix + std::to_string(bay), value);
  }

  // The registry writes and deletes of the trace, in order, as "set NAME=VALUE" and
  // "delete NAME"; each is checked to be a REG_DWORD in the configuration key.
  std::vector<std::string> RegistryEffects() {
    std::vector<std::string> effects;
    for (const auto &r : world.trace().records()) {
      if (r["kind"] == "reg.set") {
        EXPECT_EQ(r["key"], kConfigPath);
        EXPECT_EQ(r["type"], "REG_DWORD");
        effects.push_back("set " + r["name"].get<std::string>() + "=" +
                          std::to_string(r["data"].get<std::uint32_t>()));
      } else if (r["kind"] == "reg.delete") {
        EXPECT_EQ(r["key"], kConfigPath);
        effects.push_back("delete " + r["name"].get<std::string>());
      }
    }
    return effects;
  }

  // Seeds the bay values and clears the trace before the step, so that RegistryEffects() shows
  // this run's writes and deletes.
  HddReport CollectAfresh() {
    SeedBayValues();
    world.trace().clear();
    return Collect();
  }

  // A run's registry effects: each bay's six writes in the order of kValuePrefixes, or its six
  // deletes when it has no values.
  static std::vector<std::string> BayEffects(const std::vector<std::uint32_t> &bay0,
                                             const std::vector<std::uint32_t> &bay1) {
    std::vector<std::string> effects;
    for (int bay = 0; bay < 2; ++bay) {
      const std::vector<std::uint32_t> &values = bay == 0 ? bay0 : bay1;
      for (std::size_t i = 0; i < 6; ++i) {
        const std::string name = kValuePrefixes[i] + std::to_string(bay);
        effects.push_back(values.empty() ? "delete " + name
                                         : "set " + name + "=" + std::to_string(values[i]));
      }
    }
    return effects;
  }

  winsim::World world;
};

}  // namespace disk_test
