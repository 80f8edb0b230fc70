// The RAID LEDs and the RAID alarm as the RAID-check service's values drive them, and the
// indicator threads' patterns.
#include "HealthWorld.h"

namespace quillet_test {
namespace {

// The service is stopped at the end of each test (HealthWorld).
class RaidIndicatorsTest : public HealthWorld {
 protected:
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
};

// The RAID LEDs blinking together and in turn, in the first 1.1 s.
const Records kTogether = {Pin(0, 32, 1),   Pin(0, 12, 1),    Pin(500, 32, 0),
                           Pin(500, 12, 0), Pin(1000, 32, 1), Pin(1000, 12, 1)};
const Records kInTurn = {Pin(0, 32, 1),   Pin(0, 12, 1),    Pin(500, 32, 0),
                         Pin(500, 12, 1), Pin(1000, 32, 1), Pin(1000, 12, 0)};

// The first row whose bit is set in "SRaidInfoEx" applies: 0x2, 0x8, 0x4, 0x100000, 0x1.
struct RowCase {
  const char *name;
  std::optional<DWORD> info;  // nothing: the key exists without the value
  Records gpio;               // in the first 1.1 s
  bool alarm;
};

class RaidRowTest : public RaidIndicatorsTest, public ::testing::WithParamInterface<RowCase> {};

TEST_P(RaidRowTest, TheFirstRowWhoseBitIsSetApplies) {
  world.registry().set_dword(kRaidKey, "RaidStatus", 8);
  if (GetParam().info) SetRaid(*GetParam().info);
  StartMonitor(5000);
  EXPECT_EQ(GpioBetween(0, 1100), GetParam().gpio);
  EXPECT_EQ(RaidAlarmStarts(),
            GetParam().alarm ? std::vector<std::uint64_t>{100} : std::vector<std::uint64_t>{});
}

INSTANTIATE_TEST_SUITE_P(
    Rows, RaidRowTest,
    ::testing::Values(
        RowCase{"ErrorBeforeNormal", 0x3, {Pin(0, 32, 0), Pin(0, 12, 0)}, true},
        RowCase{"BlinkingErrorBeforeBlinkingInTurn", 0xC, kTogether, true},
        RowCase{"BlinkingInTurnBeforeBlinking", 0x100004, kInTurn, false},
        // A missing value reads as no bit at all, not as 0xFFFFFFFF with every bit set.
        RowCase{"MissingValue", std::nullopt, {}, false}),
    kNameOfRow);

// A change of row stops what the new row does not run. With every component normal,
// "SystemStatus" shows whether the RAID alarm or blinking was left running, the LEDs whether
// two blink threads drive them at once, and the alarm's repeat whether it goes on.
struct RowChange {
  const char *name;
  DWORD from, to;                     // "SRaidInfoEx" at the start, and at 10 s
  DWORD status;                       // "SystemStatus" after the change
  Records leds;                       // the RAID LEDs' writes from 20 s to 21 s
  std::vector<std::uint64_t> alarms;  // the RAID alarm's starts until 400 s
};

// One blink thread's half periods from 20 s; the in-turn one started after the alarm's pass.
const Records kTogetherFrom20s = {Pin(20000, 32, 1), Pin(20000, 12, 1), Pin(20500, 32, 0),
                                  Pin(20500, 12, 0)};
const Records kInTurnFrom20s = {Pin(20200, 32, 0), Pin(20200, 12, 1), Pin(20700, 32, 1),
                                Pin(20700, 12, 0)};

class RaidRowChange : public RaidIndicatorsTest, public ::testing::WithParamInterface<RowChange> {};

TEST_P(RaidRowChange, TheNewRowStopsWhatItDoesNotRun) {
  SetRaid(GetParam().from, 1);
  StartMonitor(10000);
  SetRaid(GetParam().to, 1);
  CycleNow();
  world.run_until(400000);
  EXPECT_EQ(Config("SystemStatus"), GetParam().status);
  EXPECT_EQ(GpioBetween(20000, 21000), GetParam().leds);
  EXPECT_EQ(RaidAlarmStarts(), GetParam().alarms);
}

INSTANTIATE_TEST_SUITE_P(
    Changes, RaidRowChange,
    ::testing::Values(
        RowChange{"BlinkingInTurnToError", 0x4, 0x2, 300, {}, {10100, 313800}},
        RowChange{"BlinkingToError", 0x100000, 0x2, 300, {}, {10100, 313800}},
        RowChange{
            "BlinkingInTurnToBlinkingError", 0x4, 0x8, 300, kTogetherFrom20s, {10100, 313800}},
        RowChange{"ErrorToBlinkingInTurn", 0x2, 0x4, 100, kInTurnFrom20s, {100}},
        RowChange{"BlinkingErrorToBlinkingInTurn", 0x8, 0x4, 100, kInTurnFrom20s, {100}},
        RowChange{"BlinkingErrorToBlinking", 0x8, 0x100000, 300, kTogetherFrom20s, {100}},
        RowChange{"BlinkingInTurnToBlinking", 0x4, 0x100000, 300, kTogetherFrom20s, {}},
        // The alarm's pattern lasts 2.7 s, then 301 one-second passes: 303.7 s apart. The
        // blinking error row starts the alarm too: the running thread goes on, not a new one.
        RowChange{"ErrorToBlinkingError", 0x2, 0x8, 300, kTogetherFrom20s, {100, 303800}}),
    kNameOfRow);

TEST_F(RaidIndicatorsTest, TheErrorRowLightsBothLedsForFourRaidStatesElseBySRaidInfoExBits) {
  SetRaid(0x2, 1);
  StartMonitor(10);
  auto cycle = [&](DWORD info, DWORD status) {
    SetRaid(info, status);
    EXPECT_EQ(Control(SERVICE_CONTROL_PARAMCHANGE), 0u);
    world.run_for(10);
    return std::pair{Board().level(32), Board().level(12)};
  };
  using Levels = std::pair<std::optional<std::uint8_t>, std::optional<std::uint8_t>>;
  for (DWORD status : {2u, 4u, 8u, 16u}) {
    EXPECT_EQ(cycle(0x2, 1), Levels(1, 1));
    EXPECT_EQ(cycle(0x2, status), Levels(0, 0)) << status;
  }
  EXPECT_EQ(cycle(0x222, 1), Levels(0, 0));
  EXPECT_EQ(cycle(0x22, 1), Levels(0, 1));
  EXPECT_EQ(cycle(0x202, 1), Levels(1, 0));
}

TEST_F(RaidIndicatorsTest, BlinkingInTurnStopsAtThePassEndBeforeTheLedsGoDark) {
  SetRaid(0x4);
  StartMonitor(1100);
  // Back to normal in the middle of a pass: the thread ends with the pass, then the LEDs go dark.
  SetRaid(0x1);
  world.run_for(100);
  CycleNow(2000);
  EXPECT_EQ(GpioBetween(1100, 5000),
            (Records{Pin(1500, 32, 0), Pin(1500, 12, 1), Pin(2000, 32, 1), Pin(2000, 12, 0),
                     Pin(2000, 32, 1), Pin(2000, 12, 1)}));
}

TEST_F(RaidIndicatorsTest, NoRaidBitLeavesRunningThreadsAndAMissingKeyStopsThem) {
  SetRaid(0x8);
  StartMonitor(10000);
  SetRaid(0);
  CycleNow(10000);
  EXPECT_TRUE(world.trace().of_kind("thread.exit").empty());  // still blinking and alarming
  world.registry().delete_tree(kRaidKey);
  CycleNow(10000);
  // The RAID alarm and blink threads, and the system alarm that the RAID error had started.
  EXPECT_EQ(world.trace().of_kind("thread.exit").size(), 3u);
  EXPECT_EQ(Board().level(32), 1);
  EXPECT_EQ(Board().level(12), 1);
}

TEST_F(RaidIndicatorsTest, ASnoozedAlarmSoundsOnceAndResumesAFullIntervalAfterTheSnoozeEnds) {
  world.registry().set_dword(kConfigKey, "LedSnoozeType", 1);
  SetRaid(0x2);
  StartMonitor(400000);
  // The snooze is lifted; the parameter change makes the cycle hand it to the thread, which
  // takes it at its next pass (400.7 s) and counts 301 passes from there.
  world.registry().set_dword(kConfigKey, "LedSnoozeType", 0xFFFFFFFF);
  CycleNow(400000);
  EXPECT_EQ(RaidAlarmStarts(), (std::vector<std::uint64_t>{100, 701800}));
}

TEST_F(RaidIndicatorsTest, AnIndicatorThreadThatCouldNotBeCreatedIsStartedByTheNextCycle) {
  world.faults().add({"CreateThread", "", 1, false, ERROR_NOT_ENOUGH_MEMORY});
  SetRaid(0x2);
  StartMonitor(70000);
  EXPECT_EQ(RaidAlarmStarts(), std::vector<std::uint64_t>{60100});
}

TEST_F(RaidIndicatorsTest, WithoutTheBoardTheAlarmSoundsAndNoLedIsWrittenOrSpunFor) {
  Board().set_init_results({-1001});
  world.set_busy_limit(100000);
  SetRaid(0x2, 8);
  StartMonitor(65000);
  EXPECT_EQ(RaidAlarmStarts(), std::vector<std::uint64_t>{60100});  // after the six attempts
  // A blink thread without the board passes its seconds without writing.
  SetRaid(0x100000);
  CycleNow(120000);
  EXPECT_TRUE(world.trace().of_kind("gpio").empty());
}

}  // namespace
}  // namespace quillet_test
