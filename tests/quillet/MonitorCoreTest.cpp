// The service class's monitoring loop: board start-up, wake-ups, intervals, suspend and
// resume, the RAID alarm on request, and the way down when the service stops.
#include <algorithm>

#include "ServiceWorld.h"
#include "standins/Board.h"
#include "winsim/EventLog.h"
#include "winsim/Registry.h"
#include "winsim/Text.h"

namespace quillet_test {
namespace {

using Record = winsim::Trace::Record;
using Records = std::vector<Record>;

// The world's clock starts at 09:00 local time.
constexpr DWORD kStartHour = 9;

class MonitorCoreTest : public ServiceWorld {
 protected:
  MonitorCoreTest() {
    world.registry().create_key(kConfigKey);
    InstallDirectly();
    InstallHealthyDisks();
  }

  standins::Board &Board() { return standins::Board::of(world); }

  // Events of the monitor (source "Quillet") reduced to time, type, id and text (UTF-8).
  Records MonitorEvents() {
    Records out;
    for (const auto &r : world.trace().of_kind("event"))
      if (r["source"] == "Quillet")
        out.push_back(
            {{"t", r["t"]}, {"type", r["type"]}, {"id", r["id"]}, {"text", r["strings"][0]}});
    return out;
  }

  // A cycle that finds a snooze of type 0 due this hour writes "LedSnoozeType" back to -1:
  // the times of those writes mark the cycles.
  void ArmCycleMarker() {
    world.registry().set_dword(kConfigKey, "LedSnoozeTime", kStartHour);
    world.registry().set_dword(kConfigKey, "LedSnoozeType", 0);
  }
  std::vector<std::uint64_t> MarkedCycles() {
    std::vector<std::uint64_t> out;
    for (const auto &r : world.trace().of_kind("reg.set"))
      if (r["name"] == "LedSnoozeType") out.push_back(r["t"].get<std::uint64_t>());
    return out;
  }

  Records Gpio() { return world.trace().select("gpio", {"t", "pin", "level"}); }
  Records Sounds() { return world.trace().select("sound", {"t", "via", "freq", "duration"}); }

  void StopAndWait(std::uint32_t pid) {
    ASSERT_EQ(Control(SERVICE_CONTROL_STOP), 0u);
    ASSERT_TRUE(world.wait_exit(pid));
  }
};

TEST_F(MonitorCoreTest, ABoardThatNeverComesUpIsTriedSixTimesThenTheServiceRunsWithoutIt) {
  Board().set_init_results({-1001, -1002, -5, -1001, -1002, 7});
  ArmCycleMarker();
  std::uint32_t pid = StartService();
  world.run_for(70000);

  const std::string prefix = "LEDドライバの初期化に失敗しました。";
  Records expected = {
      {{"t", 0},
       {"type", 1},
       {"id", 0xC0000BB8},
       {"text", prefix + "ボードがサポートされておりません。"}},
      {{"t", 10000},
       {"type", 1},
       {"id", 0xC0000BB8},
       {"text", prefix + "既に初期化されています。"}},
      {{"t", 20000}, {"type", 1}, {"id", 0xC0000BB8}, {"text", prefix + " Error = -5"}},
      {{"t", 30000},
       {"type", 1},
       {"id", 0xC0000BB8},
       {"text", prefix + "ボードがサポートされておりません。"}},
      {{"t", 40000},
       {"type", 1},
       {"id", 0xC0000BB8},
       {"text", prefix + "既に初期化されています。"}},
      {{"t", 50000}, {"type", 1}, {"id", 0xC0000BB8}, {"text", prefix + " Error = 7"}},
      {{"t", 60000},
       {"type", 2},
       {"id", 0x800007D0},
       {"text", "LEDドライバの初期化がタイムアウトしました。"}},
      // Without the board the three readings fail: hardware warnings.
      {{"t", 60000},
       {"type", 2},
       {"id", 0x800000C8},
       {"text",
        "システムステータスを「警告あり」へ移行しました(ハードウェア = 警告あり、運用 = 正常、HDD "
        "= "
        "正常)。"}},
  };
  EXPECT_EQ(MonitorEvents(), expected);
  EXPECT_EQ(MarkedCycles(), std::vector<std::uint64_t>{60000});  // the first cycle follows
  // The text reached the event log as code page 932 bytes.
  EXPECT_EQ(world.eventlog().entries()[6].strings[0],
            winsim::cp932("LEDドライバの初期化がタイムアウトしました。"));
  StopAndWait(pid);
  EXPECT_EQ(Gpio(), Records{});  // not even the dark levels at the stop
  EXPECT_EQ(Board().init_calls(), 6);
}

TEST_F(MonitorCoreTest, AReadyBoardIsAnnouncedOnceAndDarkenedAtTheStop) {
  std::uint32_t pid = StartService();
  world.run_for(5000);
  Records expected = {
      {{"t", 0}, {"type", 4}, {"id", 0x400003E8}, {"text", "LEDドライバを初期化しました。"}}};
  EXPECT_EQ(MonitorEvents(), expected);
  StopAndWait(pid);
  // Without RAID information the first cycle darkens the RAID LEDs, and with every component
  // normal the status LED; the stop darkens all.
  Records dark = {
      {{"t", 0}, {"pin", 32}, {"level", 1}},    {{"t", 0}, {"pin", 12}, {"level", 1}},
      {{"t", 0}, {"pin", 10}, {"level", 1}},    {{"t", 5000}, {"pin", 32}, {"level", 1}},
      {{"t", 5000}, {"pin", 12}, {"level", 1}}, {{"t", 5000}, {"pin", 10}, {"level", 1}}};
  EXPECT_EQ(Gpio(), dark);
  EXPECT_EQ(Board().uninit_calls(), 1);  // by the clean-up
}

TEST_F(MonitorCoreTest, AParameterChangeRunsACycleAtOnceAndRestartsTheInterval) {
  world.registry().set_dword(kConfigKey, "CheckInterval", 120);
  std::uint32_t pid = StartService();
  world.run_for(30000);
  ArmCycleMarker();
  ASSERT_EQ(Control(SERVICE_CONTROL_PARAMCHANGE), 0u);
  world.run_for(1);
  ArmCycleMarker();
  world.run_for(200000);
  // At 30 s the control's cycle; the periodic one a full 120 s later, not at 120 s.
  EXPECT_EQ(MarkedCycles(), (std::vector<std::uint64_t>{30000, 150000}));
  StopAndWait(pid);
}

struct IntervalCase {
  const char *name;
  std::optional<DWORD> check_interval;
  std::uint64_t seconds;
};

class CheckIntervalTest : public MonitorCoreTest,
                          public ::testing::WithParamInterface<IntervalCase> {};

TEST_P(CheckIntervalTest, PeriodicCyclesComeAtTheBoundedInterval) {
  if (GetParam().check_interval)
    world.registry().set_dword(kConfigKey, "CheckInterval", *GetParam().check_interval);
  std::uint32_t pid = StartService();
  world.run_for(1);
  ArmCycleMarker();
  std::uint64_t period = GetParam().seconds * 1000;
  world.run_for(period - 2);
  EXPECT_EQ(MarkedCycles(), std::vector<std::uint64_t>{});
  world.run_for(2);
  EXPECT_EQ(MarkedCycles(), std::vector<std::uint64_t>{period});
  StopAndWait(pid);
}

INSTANTIATE_TEST_SUITE_P(Values, CheckIntervalTest,
                         ::testing::Values(IntervalCase{"Zero", 0, 60}, IntervalCase{"One", 1, 60},
                                           IntervalCase{"Sixty", 60, 60},
                                           IntervalCase{"TwoMinutes", 120, 120},
                                           IntervalCase{"OneDay", 86400, 86400},
                                           IntervalCase{"MoreThanOneDay", 86401, 86400},
                                           IntervalCase{"Missing", std::nullopt, 60},
                                           IntervalCase{"StoredMinusOne", 0xFFFFFFFF, 60}),
                         [](const ::testing::TestParamInfo<IntervalCase> &test) {
                           return test.param.name;
                         });

TEST_F(MonitorCoreTest, TheNamedEventPlaysTheRaidAlarmOnceWhateverTheState) {
  // No configuration key and no board: nothing else would sound.
  world.registry().delete_tree(kConfigKey);
  Board().set_init_results({-1001});
  std::uint32_t pid = StartService();
  world.run_for(65000);
  ASSERT_TRUE(world.set_named_event("NasCallEvent"));
  world.run_for(60000);
  // pause 100, 1975 Hz for 200, pause 100, 1567 Hz for 500: three passes from 65 s.
  Records expected = {
      {{"t", 65100}, {"via", "beepdev"}, {"freq", 1975}, {"duration", 200}},
      {{"t", 65400}, {"via", "beepdev"}, {"freq", 1567}, {"duration", 500}},
      {{"t", 66000}, {"via", "beepdev"}, {"freq", 1975}, {"duration", 200}},
      {{"t", 66300}, {"via", "beepdev"}, {"freq", 1567}, {"duration", 500}},
      {{"t", 66900}, {"via", "beepdev"}, {"freq", 1975}, {"duration", 200}},
      {{"t", 67200}, {"via", "beepdev"}, {"freq", 1567}, {"duration", 500}},
  };
  EXPECT_EQ(Sounds(), expected);
  StopAndWait(pid);
}

class PowerEventTest : public MonitorCoreTest {
 protected:
  void Power(DWORD type) {
    EXPECT_EQ(world.services().send(kServiceName, SERVICE_CONTROL_POWEREVENT, type), 0u);
  }
};

TEST_F(PowerEventTest, SuspendAndResumeShutTheBoardDownAndBringItUpOnce) {
  std::uint32_t pid = StartService();
  world.run_for(10000);
  Power(PBT_APMSUSPEND);
  world.run_for(90200);  // resume at 100.2 s
  EXPECT_EQ(Board().uninit_calls(), 1);
  EXPECT_FALSE(Board().initialized());
  ArmCycleMarker();
  Power(PBT_APMRESUMESUSPEND);
  Power(PBT_APMRESUMEAUTOMATIC);  // the resume that follows is not acted on again
  world.run_for(70000);

  EXPECT_EQ(Board().init_calls(), 2);
  Records events = MonitorEvents();
  ASSERT_EQ(events.size(), 2u);
  Record resumed = {
      {"t", 100200}, {"type", 4}, {"id", 0x400003E9}, {"text", "LEDドライバを初期化しました。"}};
  EXPECT_EQ(events[1], resumed);
  // The loop notices the resume at its next half-second poll (100.5 s) and waits a full
  // interval from there.
  EXPECT_EQ(MarkedCycles(), std::vector<std::uint64_t>{160500});
  StopAndWait(pid);
}

TEST_F(PowerEventTest, AnUnattendedWakeAloneEndsTheSuspension) {
  std::uint32_t pid = StartService();
  world.run_for(10000);
  Power(PBT_APMSUSPEND);
  world.run_for(20000);
  Board().set_init_results({0, -1001});
  Power(PBT_APMRESUMEAUTOMATIC);
  world.run_for(1000);
  Records events = MonitorEvents();
  ASSERT_EQ(events.size(), 2u);
  Record failed = {
      {"t", 30000},
      {"type", 1},
      {"id", 0xC0000BB9},
      {"text", "LEDドライバの初期化に失敗しました。ボードがサポートされておりません。"}};
  EXPECT_EQ(events[1], failed);
  // A resume without a suspend before it does nothing.
  Power(PBT_APMRESUMESUSPEND);
  world.run_for(1000);
  EXPECT_EQ(Board().init_calls(), 2);
  StopAndWait(pid);
}

TEST_F(PowerEventTest, AStopDuringASuspendThatNeverEndsIsHonoured) {
  // A RAID error keeps the RAID alarm and RAID blink threads running; they sit out the suspend
  // and must end at the stop without another pass.
  world.registry().set_dword(kRaidKey, "SRaidInfoEx", 0x8);
  std::uint32_t pid = StartService();
  world.run_for(10000);
  Power(PBT_APMSUSPEND);
  world.run_for(10000);
  ASSERT_EQ(Control(SERVICE_CONTROL_STOP), 0u);
  ASSERT_TRUE(world.wait_exit(pid, 10000));
  EXPECT_EQ(world.services().info(kServiceName)->state, static_cast<DWORD>(SERVICE_STOPPED));
  // The blink pass under way at the suspend finishes by 11 s; after it the board is left alone.
  for (const auto &r : Gpio()) EXPECT_LE(r["t"], 11000) << "the board is down: no LED writes";
  for (const auto &r : Sounds()) EXPECT_LT(r["t"], 10000) << "no alarm while suspended";
}

TEST_F(MonitorCoreTest, AStopDuringBoardStartUpCompletesAfterTheAttemptsAndTheFirstCycle) {
  Board().set_init_results({-1001});
  ArmCycleMarker();
  std::uint32_t pid = StartService();
  world.run_for(15000);
  ASSERT_EQ(Control(SERVICE_CONTROL_STOP), 0u);
  ASSERT_TRUE(world.wait_exit(pid));
  EXPECT_EQ(MarkedCycles(), std::vector<std::uint64_t>{60000});
  Records statuses = Statuses({"t", "state", "checkpoint"});
  ASSERT_GE(statuses.size(), 4u);
  Record first_pending = {{"t", 15000}, {"state", 3}, {"checkpoint", 1}};
  // Without the board the status LED "blinks" (hardware warnings): its thread ends with its pass.
  Record stopped = {{"t", 61000}, {"state", 1}, {"checkpoint", 0}};
  EXPECT_EQ(statuses[2], first_pending);
  EXPECT_EQ(statuses.back(), stopped);
  EXPECT_EQ(Board().init_calls(), 6);
}

TEST_F(MonitorCoreTest, AtTheStopEveryIndicatorThreadEndsBeforeTheLedsGoDarkInOrder) {
  // RAID error with blinking: the RAID alarm, the RAID blink thread and (the system status being
  // an error) the system alarm run.
  world.registry().set_dword(kRaidKey, "SRaidInfoEx", 0x8);
  std::uint32_t pid = StartService();
  world.run_for(10250);
  StopAndWait(pid);

  // The service's first two threads are its service-main and control threads; the indicator
  // threads come after them.
  std::vector<DWORD> indicators;
  for (const auto &r : world.trace().of_kind("thread.start"))
    if (r["pid"] == pid) indicators.push_back(r["thread"].get<DWORD>());
  ASSERT_EQ(indicators.size(), 5u);
  indicators.erase(indicators.begin(), indicators.begin() + 2);

  const auto &records = world.trace().records();
  std::size_t last_thread_exit = 0, stopped = 0, exits = 0;
  std::vector<std::size_t> gpio;
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (records[i]["kind"] == "thread.exit" &&
        std::count(indicators.begin(), indicators.end(), records[i]["thread"].get<DWORD>())) {
      last_thread_exit = i;
      ++exits;
    }
    if (records[i]["kind"] == "gpio") gpio.push_back(i);
    if (records[i]["kind"] == "svc.status" && records[i]["state"] == 1) stopped = i;
  }
  EXPECT_EQ(exits, 3u);
  ASSERT_GE(gpio.size(), 3u);
  std::vector<std::size_t> last_three(gpio.end() - 3, gpio.end());
  for (std::size_t i : last_three) EXPECT_GT(i, last_thread_exit);
  Records dark;
  for (std::size_t i : last_three)
    dark.push_back({{"pin", records[i]["pin"]}, {"level", records[i]["level"]}});
  Records expected = {
      {{"pin", 32}, {"level", 1}}, {{"pin", 12}, {"level", 1}}, {{"pin", 10}, {"level", 1}}};
  EXPECT_EQ(dark, expected);
  EXPECT_LT(last_three.back(), stopped);
  // Each thread finished the pass it was in. The stop came at 10.25 s; the alarm threads end
  // theirs at 10.7 s and 11 s, when the blink thread has begun the pass that ends at 12 s.
  EXPECT_EQ(records[last_three.front()]["t"], 12000);
}

TEST_F(MonitorCoreTest, ASnoozeOfTypeZeroEndsInTheCycleOfItsHourOnly) {
  // A drive short of space: a warning, so that a normal status does not end the snooze.
  world.registry().set_dword(kFreeSpaceKey, "WarnDrive", 0x1);
  world.registry().set_dword(kConfigKey, "LedSnoozeTime", kStartHour + 1);
  world.registry().set_dword(kConfigKey, "LedSnoozeType", 0);
  std::uint32_t pid = StartService();
  world.run_for(3540000);  // 09:59
  EXPECT_EQ(world.registry().dword(kConfigKey, "LedSnoozeType"), 0u);
  world.run_for(120000);  // into 10:00
  EXPECT_EQ(world.registry().dword(kConfigKey, "LedSnoozeType"), 0xFFFFFFFFu);
  EXPECT_EQ(MarkedCycles(), std::vector<std::uint64_t>{3600000});
  StopAndWait(pid);
}

}  // namespace
}  // namespace quillet_test
