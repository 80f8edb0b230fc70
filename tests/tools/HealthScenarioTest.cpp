// The health monitor through the simulator: the RAID error of a typical day end to end, the
// disk verb that changes a drive's readings, and the timeline settings that keep a long run
// readable.
#include <gtest/gtest.h>

#include "ScenarioTesting.h"
#include "monitor/disk_smart.h"
#include "scenario/TimelineView.h"
#include "winsim/SmartDisk.h"

namespace {

using Record = winsim::Trace::Record;
using Records = std::vector<Record>;

const std::string kDisks = std::string(NORVANE_SOURCE_DIR) + "/scenarios/disks/";

// A sound appliance with the service installed and started at 1 s; cycles every minute.
std::string Appliance() {
  return "0 reg key HKLM\\SOFTWARE\\Wow6432Node\\Norvane\\Tesmar\\Config\n"
         "0 reg set HKLM\\SOFTWARE\\Wow6432Node\\Norvane\\Applications\\NorvaneNas\\RDSCANSV "
         "SRaidInfoEx dword 0x1\n"
         "0 reg set HKLM\\SOFTWARE\\Wow6432Node\\Norvane\\Applications\\NorvaneNas\\RDSCANSV "
         "RaidStatus dword 8\n"
         "0 wmic text \"\\r\\r\\nNode,Caption,InterfaceType,Name,SCSIBus\\r\\r\\n"
         "NAS01,A,IDE,\\\\.\\PHYSICALDRIVE0,0\\r\\r\\nNAS01,B,IDE,\\\\.\\PHYSICALDRIVE1,"
         "1\\r\\r\\n\"\n"
         "0 disk 0 smart " +
         kDisks + "bay0.data.bin " + kDisks + "bay0.thresholds.bin\n" + "0 disk 1 smart " + kDisks +
         "bay0.data.bin " + kDisks + "bay0.thresholds.bin\n" +
         "0 run \"C:\\Program Files\\Norvane\\Quillet.exe\" -install\n"
         "1s sc start Orvexd\n";
}

class HealthScenario : public ::testing::Test {
 protected:
  HealthScenario() { scenario::register_programs(world); }
  Records Select(const char *kind, const std::vector<std::string> &fields) {
    return world.trace().select(kind, fields);
  }
  winsim::World world;
};

// The RAID-check service reports an error, then normal again: the RAID alarm at once and about
// every 301 s, the system status an error with its message; then the alarm stops and the return
// to normal is logged. (The LEDs and status values of each row: RaidIndicatorsTest.)
TEST_F(HealthScenario, ARaidErrorAndItsEnd) {
  scenario_test::play(world, Appliance() +
                                 "90s reg set "
                                 "HKLM\\SOFTWARE\\Wow6432Node\\Norvane\\Applications\\NorvaneNas\\"
                                 "RDSCANSV SRaidInfoEx dword 0x2\n"
                                 "12m reg set "
                                 "HKLM\\SOFTWARE\\Wow6432Node\\Norvane\\Applications\\NorvaneNas\\"
                                 "RDSCANSV SRaidInfoEx dword 0x1\n"
                                 "13m end\n");
  // The RAID alarm's first tones: at the cycle of 121 s (after its 100 ms pause) and 303.7 s
  // later; the system alarm, started by the error status, stays silent behind it.
  std::vector<std::uint64_t> raid_alarms;
  for (const auto &r : Select("sound", {"t", "freq", "duration"}))
    if (r["duration"] == 200 && (raid_alarms.empty() || r["t"] > raid_alarms.back() + 5000))
      raid_alarms.push_back(r["t"]);
  EXPECT_EQ(raid_alarms, (std::vector<std::uint64_t>{121100, 424800}));
  for (const auto &r : Select("sound", {"duration"})) EXPECT_NE(r["duration"], 50);

  Records messages;
  for (const auto &r : Select("event", {"t", "type", "id", "strings"}))
    if (r["id"] != 0x400003E8) messages.push_back(r);
  Records expected = {
      {{"t", 121000},
       {"type", 1},
       {"id", 0xC000012C},
       {"strings",
        {"システムステータスを「エラーあり」へ移行しました(ハードウェア = 正常、運用 = 正常、HDD = "
         "正常)。"}}},
      {{"t", 721400},
       {"type", 4},
       {"id", 0x40000064},
       {"strings", {"システムステータスを「正常」へ移行しました。"}}},
  };
  EXPECT_EQ(messages, expected);
}

TEST_F(HealthScenario, ADiskVerbChangesOneAttributeAndKeepsTheChecksum) {
  scenario_test::play(world, "0 disk 3 smart " + kDisks + "bay0.data.bin " + kDisks +
                                 "bay0.thresholds.bin\n"
                                 "0 disk 3 attribute 194 71 0x4700000047\n1s end\n");
  SmartReply reply{};
  ASSERT_TRUE(ReadSmartBlock("\\\\.\\PHYSICALDRIVE3", 0xD0, reply));
  const BYTE *slot = FindSmartAttribute(reply, 194);
  ASSERT_NE(slot, nullptr);
  EXPECT_EQ(slot[3], 71);
  EXPECT_EQ((std::vector<BYTE>(slot + 5, slot + 11)),
            (std::vector<BYTE>{0x47, 0x00, 0x00, 0x00, 0x47, 0x00}));
  BYTE sum = 0;
  for (std::size_t i = 16; i < 16 + 512; ++i) sum = static_cast<BYTE>(sum + reply[i]);
  EXPECT_EQ(sum, 0);
}

// ---- Timeline settings -----------------------------------------------------------------------

Record Gpio(int pin, int level) {
  return {{"pin", pin}, {"level", level}};
}

TEST(TimelineView, ChangesLeaveOutWritesThatLeaveThingsAsTheyWere) {
  winsim::Trace trace;
  trace.add(0, 1, 2, "gpio", Gpio(10, 1));
  trace.add(10, 1, 2, "gpio", Gpio(10, 1));
  trace.add(20, 1, 2, "gpio", Gpio(12, 1));
  trace.add(30, 1, 2, "reg.set", {{"key", "K"}, {"name", "V"}, {"type", "REG_DWORD"}, {"data", 1}});
  trace.add(40, 1, 2, "reg.set", {{"key", "K"}, {"name", "V"}, {"type", "REG_DWORD"}, {"data", 1}});
  trace.add(50, 1, 2, "reg.delete", {{"key", "K"}, {"name", "V"}});
  trace.add(60, 1, 2, "reg.delete", {{"key", "K"}, {"name", "V"}});
  trace.add(70, 1, 2, "event", {{"id", 0xC000012Cu}});
  trace.add(80, 1, 2, "event", {{"id", 0xC000012Cu}});
  scenario::TimelineView view;
  view.changes = true;
  view.hidden = {"reg.delete"};
  EXPECT_EQ(scenario::timeline_text(trace, view),
            "  0:00:00.000  09:00:00  pid 1    tid 2    gpio  pin=10 (status LED)  level=1 (dark)\n"
            "  0:00:00.020  09:00:00  pid 1    tid 2    gpio  pin=12 (RAID LED B)  level=1 (dark)\n"
            "  0:00:00.030  09:00:00  pid 1    tid 2    reg.set  key=K  name=V  type=REG_DWORD  "
            "data=1\n"
            "  0:00:00.070  09:00:00  pid 1    tid 2    event  id=0xC000012C\n"
            "  0:00:00.080  09:00:00  pid 1    tid 2    event  id=0xC000012C\n");
}

TEST(TimelineView, FoldLeavesOutAThreadsSteadyRepetitionAndSaysHowLongItLasted) {
  winsim::Trace trace;
  for (std::uint64_t k = 0; k < 10; ++k) trace.add(500 * (k + 1), 1, 7, "gpio", Gpio(10, k % 2));
  trace.add(5000, 1, 3, "event", {{"id", 0x40000064u}});
  trace.add(5200, 1, 7, "thread.exit", {{"code", 0}});
  scenario::TimelineView view;
  view.fold = true;
  EXPECT_EQ(scenario::timeline_text(trace, view),
            "  0:00:00.500  09:00:00  pid 1    tid 7    gpio  pin=10 (status LED)  level=0 (lit)\n"
            "  0:00:01.000  09:00:01  pid 1    tid 7    gpio  pin=10 (status LED)  level=1 (dark)\n"
            "  0:00:01.500  09:00:01  pid 1    tid 7    gpio  pin=10 (status LED)  level=0 (lit)\n"
            "  0:00:02.000  09:00:02  pid 1    tid 7    gpio  pin=10 (status LED)  level=1 (dark)\n"
            "  0:00:05.000  09:00:05  pid 1    tid 7    ...  repeated every 1.000 s from "
            "0:00:02.500: 6 records\n"
            "  0:00:05.000  09:00:05  pid 1    tid 3    event  id=0x40000064\n"
            "  0:00:05.200  09:00:05  pid 1    tid 7    thread.exit  code=0\n");
}

TEST(TimelineView, BlinksShowAPinsBlinkingAsOneLineWhereItStartsAndOneWhereItStops) {
  winsim::Trace trace;
  trace.add(0, 1, 2, "gpio", Gpio(10, 1));
  trace.add(100, 1, 2, "gpio", Gpio(12, 0));  // a single change is shown as it is
  for (std::uint64_t k = 0; k < 10; ++k) trace.add(500 * (k + 1), 1, 7, "gpio", Gpio(10, k % 2));
  trace.add(5200, 1, 3, "event", {{"id", 0x40000064u}});
  trace.add(9000, 1, 2, "gpio", Gpio(10, 0));
  scenario::TimelineView view;
  view.blinks = true;
  EXPECT_EQ(
      scenario::timeline_text(trace, view),
      "  0:00:00.000  09:00:00  pid 1    tid 2    gpio  pin=10 (status LED)  level=1 (dark)\n"
      "  0:00:00.100  09:00:00  pid 1    tid 2    gpio  pin=12 (RAID LED B)  level=0 (lit)\n"
      "  0:00:00.500  09:00:00  pid 1    tid 7    gpio  pin=10 (status LED)  blinking\n"
      "  0:00:05.000  09:00:05  pid 1    tid 7    gpio  pin=10 (status LED)  level=1 (dark)  "
      "after blinking (10 changes)\n"
      "  0:00:05.200  09:00:05  pid 1    tid 3    event  id=0x40000064\n"
      "  0:00:09.000  09:00:09  pid 1    tid 2    gpio  pin=10 (status LED)  level=0 (lit)\n");
}

}  // namespace
