// The health monitor through the simulator: the disk verb that changes a drive's readings, and
// the timeline settings that keep a long run readable. (The monitor's own behaviour is under
// tests/quillet; the demo's run end to end under SimrunTest and PictureTest.)
#include <gtest/gtest.h>

#include "ScenarioTesting.h"
#include "monitor/disk_smart.h"
#include "scenario/TimelineView.h"
#include "winsim/SmartDisk.h"

namespace {

using Record = winsim::Trace::Record;

const std::string kDisks = std::string(NORVANE_SOURCE_DIR) + "/scenarios/disks/";

TEST(HealthScenario, ADiskVerbChangesOneAttributeAndKeepsTheChecksum) {
  winsim::World world;
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

// Fold leaves out a thread's steady repetition and says how long it lasted; blinks show a pin's
// blinking as one line where it starts and one where it stops (single changes as they are).
TEST(TimelineView, FoldAndBlinksShortenAThreadsSteadyRepetition) {
  winsim::Trace trace;
  trace.add(0, 1, 2, "gpio", Gpio(10, 1));
  trace.add(100, 1, 2, "gpio", Gpio(12, 0));
  for (std::uint64_t k = 0; k < 10; ++k) trace.add(500 * (k + 1), 1, 7, "gpio", Gpio(10, k % 2));
  trace.add(5200, 1, 3, "event", {{"id", 0x40000064u}});
  scenario::TimelineView view;
  view.fold = true;
  const std::string single =
      "  0:00:00.000  09:00:00  pid 1    tid 2    gpio  pin=10 (status LED)  level=1 (dark)\n"
      "  0:00:00.100  09:00:00  pid 1    tid 2    gpio  pin=12 (RAID LED B)  level=0 (lit)\n";
  const std::string event = "  0:00:05.200  09:00:05  pid 1    tid 3    event  id=0x40000064\n";
  EXPECT_EQ(
      scenario::timeline_text(trace, view),
      single +
          "  0:00:00.500  09:00:00  pid 1    tid 7    gpio  pin=10 (status LED)  level=0 (lit)\n"
          "  0:00:01.000  09:00:01  pid 1    tid 7    gpio  pin=10 (status LED)  level=1 (dark)\n"
          "  0:00:01.500  09:00:01  pid 1    tid 7    gpio  pin=10 (status LED)  level=0 (lit)\n"
          "  0:00:02.000  09:00:02  pid 1    tid 7    gpio  pin=10 (status LED)  level=1 (dark)\n"
          "  0:00:05.000  09:00:05  pid 1    tid 7    ...  repeated every 1.000 s from "
          "0:00:02.500: 6 records\n" +
          event);
  view.fold = false;
  view.blinks = true;
  EXPECT_EQ(
      scenario::timeline_text(trace, view),
      single +
          "  0:00:00.500  09:00:00  pid 1    tid 7    gpio  pin=10 (status LED)  blinking\n"
          "  0:00:05.000  09:00:05  pid 1    tid 7    gpio  pin=10 (status LED)  level=1 (dark)  "
          "after blinking (10 changes)\n" +
          event);
}

}  // namespace
