// The RAID LEDs and the RAID alarm as the RAID-check service's values drive them, and the
// indicator threads' patterns.
#include "ServiceWorld.h"
#include "standins/Board.h"
#include "winsim/Registry.h"

namespace quillet_test {
namespace {

using Record = winsim::Trace::Record;
using Records = std::vector<Record>;

class RaidIndicatorsTest : public ServiceWorld {
 protected:
  RaidIndicatorsTest() {
    world.registry().create_key(kConfigKey);
    InstallDirectly();
    InstallHealthyDisks();
  }
  void SetRaid(DWORD info, std::optional<DWORD> status = std::nullopt) {
    world.registry().set_dword(kRaidKey, "SRaidInfoEx", info);
    if (status) world.registry().set_dword(kRaidKey, "RaidStatus", *status);
  }
  // Writes to the RAID LEDs (pins 32 and 12).
  Records GpioBetween(std::uint64_t from, std::uint64_t to) {
    Records out;
    for (const auto &r : world.trace().select("gpio", {"t", "pin", "level"}))
      if (r["t"] >= from && r["t"] < to && r["pin"] != 10) out.push_back(r);
    return out;
  }
  // Start times of the alarms (their first tone, 100 ms into a RAID pattern).
  std::vector<std::uint64_t> RaidAlarmStarts() {
    std::vector<std::uint64_t> out;
    auto sounds = world.trace().of_kind("sound");
    for (std::size_t i = 0; i < sounds.size(); i += 6) out.push_back(sounds[i]["t"]);
    return out;
  }
  std::optional<std::uint8_t> Level(std::uint8_t pin) {
    return standins::Board::of(world).level(pin);
  }
};

TEST_F(RaidIndicatorsTest, TheErrorRowWinsOverNormalAndSetsTheLedsFromTheRaidStatus) {
  SetRaid(0x3, 8);
  std::uint32_t pid = StartService();
  world.run_for(10);
  Records lit = {{{"t", 0}, {"pin", 32}, {"level", 0}}, {{"t", 0}, {"pin", 12}, {"level", 0}}};
  EXPECT_EQ(GpioBetween(0, 10), lit);
  world.run_for(5000);
  EXPECT_EQ(RaidAlarmStarts(), std::vector<std::uint64_t>{100});  // the alarm sounded at once
  ASSERT_EQ(Control(SERVICE_CONTROL_STOP), 0u);
  ASSERT_TRUE(world.wait_exit(pid));
}

TEST_F(RaidIndicatorsTest, WithoutABothLedsStatusTheBitsLightEachLed) {
  SetRaid(0x222, 1);
  std::uint32_t pid = StartService();
  world.run_for(10);
  Records both = {{{"t", 0}, {"pin", 32}, {"level", 0}}, {{"t", 0}, {"pin", 12}, {"level", 0}}};
  EXPECT_EQ(GpioBetween(0, 10), both);
  SetRaid(0x22);
  ASSERT_EQ(Control(SERVICE_CONTROL_PARAMCHANGE), 0u);
  world.run_for(10);
  EXPECT_EQ(Level(32), 0);
  EXPECT_EQ(Level(12), 1);
  SetRaid(0x2);
  ASSERT_EQ(Control(SERVICE_CONTROL_PARAMCHANGE), 0u);
  world.run_for(10);
  EXPECT_EQ(Level(32), 1);
  EXPECT_EQ(Level(12), 1);
  ASSERT_EQ(Control(SERVICE_CONTROL_STOP), 0u);
  ASSERT_TRUE(world.wait_exit(pid));
}

TEST_F(RaidIndicatorsTest, BlinkingTogetherDarkensFirstThenLightsBothEveryHalfSecond) {
  SetRaid(0x100000);
  std::uint32_t pid = StartService();
  world.run_for(2100);
  Records expected = {
      {{"t", 0}, {"pin", 32}, {"level", 1}},    {{"t", 0}, {"pin", 12}, {"level", 1}},
      {{"t", 500}, {"pin", 32}, {"level", 0}},  {{"t", 500}, {"pin", 12}, {"level", 0}},
      {{"t", 1000}, {"pin", 32}, {"level", 1}}, {{"t", 1000}, {"pin", 12}, {"level", 1}},
      {{"t", 1500}, {"pin", 32}, {"level", 0}}, {{"t", 1500}, {"pin", 12}, {"level", 0}},
      {{"t", 2000}, {"pin", 32}, {"level", 1}}, {{"t", 2000}, {"pin", 12}, {"level", 1}}};
  EXPECT_EQ(GpioBetween(0, 2100), expected);
  EXPECT_TRUE(world.trace().of_kind("sound").empty());  // this row has no alarm
  ASSERT_EQ(Control(SERVICE_CONTROL_STOP), 0u);
  ASSERT_TRUE(world.wait_exit(pid));
}

TEST_F(RaidIndicatorsTest, BlinkingInTurnLightsOneLedAtATimeAndStopsAtThePassEnd) {
  SetRaid(0x4);
  std::uint32_t pid = StartService();
  world.run_for(1100);
  Records expected = {
      {{"t", 0}, {"pin", 32}, {"level", 1}},    {{"t", 0}, {"pin", 12}, {"level", 1}},
      {{"t", 500}, {"pin", 32}, {"level", 0}},  {{"t", 500}, {"pin", 12}, {"level", 1}},
      {{"t", 1000}, {"pin", 32}, {"level", 1}}, {{"t", 1000}, {"pin", 12}, {"level", 0}}};
  EXPECT_EQ(GpioBetween(0, 1100), expected);
  // Back to normal in the middle of a pass: the thread ends with the pass, then the LEDs go dark.
  SetRaid(0x1);
  world.run_for(100);
  ASSERT_EQ(Control(SERVICE_CONTROL_PARAMCHANGE), 0u);
  world.run_for(2000);
  Records end = {
      {{"t", 1500}, {"pin", 32}, {"level", 0}}, {{"t", 1500}, {"pin", 12}, {"level", 1}},
      {{"t", 2000}, {"pin", 32}, {"level", 1}}, {{"t", 2000}, {"pin", 12}, {"level", 0}},
      {{"t", 2000}, {"pin", 32}, {"level", 1}}, {{"t", 2000}, {"pin", 12}, {"level", 1}}};
  EXPECT_EQ(GpioBetween(1100, 5000), end);
  ASSERT_EQ(Control(SERVICE_CONTROL_STOP), 0u);
  ASSERT_TRUE(world.wait_exit(pid));
}

TEST_F(RaidIndicatorsTest, NoRaidBitLeavesRunningThreadsAndAMissingKeyStopsThem) {
  SetRaid(0x8);
  std::uint32_t pid = StartService();
  world.run_for(10000);
  SetRaid(0);
  ASSERT_EQ(Control(SERVICE_CONTROL_PARAMCHANGE), 0u);
  world.run_for(10000);
  EXPECT_TRUE(world.trace().of_kind("thread.exit").empty());  // still blinking and alarming
  world.registry().delete_tree(kRaidKey);
  ASSERT_EQ(Control(SERVICE_CONTROL_PARAMCHANGE), 0u);
  world.run_for(10000);
  // The RAID alarm and blink threads, and the system alarm that the RAID error had started.
  EXPECT_EQ(world.trace().of_kind("thread.exit").size(), 3u);
  EXPECT_EQ(Level(32), 1);
  EXPECT_EQ(Level(12), 1);
  ASSERT_EQ(Control(SERVICE_CONTROL_STOP), 0u);
  ASSERT_TRUE(world.wait_exit(pid));
}

TEST_F(RaidIndicatorsTest, TheRaidAlarmRepeatsAfterThreeHundredAndOneSeconds) {
  SetRaid(0x2);
  std::uint32_t pid = StartService();
  world.run_for(700000);
  // The pattern lasts 2.7 s, then 301 one-second passes: 303.7 s apart.
  EXPECT_EQ(RaidAlarmStarts(), (std::vector<std::uint64_t>{100, 303800, 607500}));
  ASSERT_EQ(Control(SERVICE_CONTROL_STOP), 0u);
  ASSERT_TRUE(world.wait_exit(pid));
}

TEST_F(RaidIndicatorsTest, ASnoozedAlarmSoundsOnceAndResumesAFullIntervalAfterTheSnoozeEnds) {
  world.registry().set_dword(kConfigKey, "LedSnoozeType", 1);
  SetRaid(0x2);
  std::uint32_t pid = StartService();
  world.run_for(400000);
  EXPECT_EQ(RaidAlarmStarts(), std::vector<std::uint64_t>{100});
  // The snooze is lifted; the parameter change makes the cycle hand it to the thread, which
  // takes it at its next pass (400.7 s) and counts 301 passes from there.
  world.registry().set_dword(kConfigKey, "LedSnoozeType", 0xFFFFFFFF);
  ASSERT_EQ(Control(SERVICE_CONTROL_PARAMCHANGE), 0u);
  world.run_for(400000);
  EXPECT_EQ(RaidAlarmStarts(), (std::vector<std::uint64_t>{100, 701800}));
  ASSERT_EQ(Control(SERVICE_CONTROL_STOP), 0u);
  ASSERT_TRUE(world.wait_exit(pid));
}

TEST_F(RaidIndicatorsTest, WithoutTheBoardABlinkThreadWritesNothingAndDoesNotSpin) {
  standins::Board::of(world).set_init_results({-1001});
  world.set_busy_limit(std::chrono::milliseconds(2000));
  SetRaid(0x100000);
  std::uint32_t pid = StartService();
  world.run_for(120000);
  EXPECT_TRUE(world.trace().of_kind("gpio").empty());
  ASSERT_EQ(Control(SERVICE_CONTROL_STOP), 0u);
  ASSERT_TRUE(world.wait_exit(pid));
}

}  // namespace
}  // namespace quillet_test
