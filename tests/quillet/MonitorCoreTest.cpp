// The service class's monitoring loop: board start-up, wake-ups, intervals, suspend and
// resume, and the way down when the service stops. (The RAID alarm on request is under
// ServiceLifecycleTest.)
#include <algorithm>

#include "HealthWorld.h"

namespace quillet_test {
namespace {

// The world's clock starts at 09:00 local time.
constexpr DWORD kStartHour = 9;

class MonitorCoreTest : public HealthWorld {
 protected:
  // A cycle that finds a snooze of type 0 due this hour writes "LedSnoozeType" back to -1:
  // the times of those writes mark the cycles. A cycle whose status is normal writes -1 once
  // more, as it clears every snooze it read.
  void ArmCycleMarker() {
    world.registry().set_dword(kConfigKey, "LedSnoozeTime", kStartHour);
    world.registry().set_dword(kConfigKey, "LedSnoozeType", 0);
  }
  std::vector<std::uint64_t> MarkedCycles() { return WriteTimes("LedSnoozeType"); }

  void StopAndWait() {
    ASSERT_EQ(Control(SERVICE_CONTROL_STOP), 0u);
    ASSERT_TRUE(world.wait_exit(pid_));
  }
};

TEST_F(MonitorCoreTest, ABoardThatNeverComesUpIsTriedSixTimesThenTheServiceRunsWithoutIt) {
  Board().set_init_results({-1001, -1002, -5, -1001, -1002, 7});
  ArmCycleMarker();
  StartMonitor(120001);

  const std::string failed = "LEDドライバの初期化に失敗しました。";
  const std::string unsupported = failed + "ボードがサポートされておりません。";
  const std::string already = failed + "既に初期化されています。";
  Records expected = {
      Message(0, 1, 0xC0000BB8, unsupported), Message(10000, 1, 0xC0000BB8, already),
      Message(20000, 1, 0xC0000BB8, failed + " Error = -5"),
      Message(30000, 1, 0xC0000BB8, unsupported), Message(40000, 1, 0xC0000BB8, already),
      Message(50000, 1, 0xC0000BB8, failed + " Error = 7"),
      Message(60000, 2, 0x800007D0, "LEDドライバの初期化がタイムアウトしました。"),
      // Without the board the three readings fail every cycle: hardware warnings.
      Message(60000, 2, 0x800000C8,
              "システムステータスを「警告あり」へ移行しました(ハードウェア = "
              "警告あり、運用 = 正常、HDD = 正常)。")};
  EXPECT_EQ(Messages(), expected);
  EXPECT_EQ(MarkedCycles(), std::vector<std::uint64_t>{60000});  // the first cycle follows
  // The board would answer, but is not asked: the readings fail.
  EXPECT_EQ(ConfigValues("CpuTempStatus CpuFanStatus SystemTempStatus SystemStatus"),
            "CpuTempStatus=11600 CpuFanStatus=12600 SystemTempStatus=13600 SystemStatus=200");
  StopAndWait();
  EXPECT_TRUE(world.trace().of_kind("gpio").empty());  // not even the dark levels at the stop
}

TEST_F(MonitorCoreTest, AParameterChangeRunsACycleAtOnceAndRestartsTheInterval) {
  world.registry().set_dword(kConfigKey, "CheckInterval", 120);
  StartMonitor(30000);
  ArmCycleMarker();
  CycleNow(1);
  ArmCycleMarker();
  world.run_for(200000);
  // At 30 s the control's cycle; the periodic one a full 120 s later, not at 120 s.
  EXPECT_EQ(MarkedCycles(), (std::vector<std::uint64_t>{30000, 30000, 150000, 150000}));
}

class PowerEventTest : public MonitorCoreTest {
 protected:
  // A power event, and `ms` after it.
  void Power(DWORD type, std::uint64_t ms = 0) {
    EXPECT_EQ(world.services().send(kServiceName, SERVICE_CONTROL_POWEREVENT, type), 0u);
    if (ms > 0) world.run_for(ms);
  }
};

TEST_F(PowerEventTest, SuspendAndResumeShutTheBoardDownAndBringItUpOnce) {
  StartMonitor(10000);
  Power(PBT_APMSUSPEND, 90200);  // resume at 100.2 s
  EXPECT_EQ(Board().uninit_calls(), 1);
  ArmCycleMarker();
  Power(PBT_APMRESUMESUSPEND);
  Power(PBT_APMRESUMEAUTOMATIC, 70000);  // the resume that follows is not acted on again

  EXPECT_EQ(Messages(1), Records{Message(100200, 4, 0x400003E9, "LEDドライバを初期化しました。")});
  // The loop notices the resume at its next half-second poll (100.5 s) and waits a full
  // interval from there.
  EXPECT_EQ(MarkedCycles(), (std::vector<std::uint64_t>{160500, 160500}));
}

TEST_F(PowerEventTest, AnUnattendedWakeAloneEndsTheSuspension) {
  StartMonitor(10000);
  Power(PBT_APMSUSPEND, 20000);
  Board().set_init_results({0, -1001});
  Power(PBT_APMRESUMEAUTOMATIC, 1000);
  EXPECT_EQ(
      Messages(1),
      Records{Message(30000, 1, 0xC0000BB9,
                      "LEDドライバの初期化に失敗しました。ボードがサポートされておりません。")});
}

TEST_F(PowerEventTest, AStopDuringASuspendThatNeverEndsIsHonoured) {
  // A RAID error keeps the RAID alarm and RAID blink threads running; they sit out the suspend
  // and must end at the stop without another pass.
  world.registry().set_dword(kRaidKey, "SRaidInfoEx", 0x8);
  StartMonitor(10000);
  Power(PBT_APMSUSPEND, 10000);
  ASSERT_EQ(Control(SERVICE_CONTROL_STOP), 0u);
  ASSERT_TRUE(world.wait_exit(pid_, 10000));
  EXPECT_EQ(world.services().info(kServiceName)->state, static_cast<DWORD>(SERVICE_STOPPED));
  // The blink pass under way at the suspend finishes by 11 s; after it the board is left alone.
  for (const auto &r : world.trace().of_kind("gpio"))
    EXPECT_LE(r["t"], 11000) << "the board is down: no LED writes";
  for (const auto &r : world.trace().of_kind("sound"))
    EXPECT_LT(r["t"], 10000) << "no alarm while suspended";
}

TEST_F(PowerEventTest, AResumeDuringTheBoardStartUpEndsTheAttempts) {
  // The resume brings the board up; the start-up loop finds it ready after its pause and
  // neither tries again ("already initialized") nor gives up with the time-out warning.
  Board().set_init_results({-1001, 0, -1002});
  ArmCycleMarker();
  StartMonitor(3000);
  Power(PBT_APMSUSPEND, 2000);
  Power(PBT_APMRESUMESUSPEND, 70000);
  Records expected = {
      Message(0, 1, 0xC0000BB8,
              "LEDドライバの初期化に失敗しました。ボードがサポートされておりません。"),
      Message(5000, 4, 0x400003E9, "LEDドライバを初期化しました。")};
  EXPECT_EQ(Messages(), expected);
  EXPECT_EQ(MarkedCycles(), (std::vector<std::uint64_t>{10000, 10000}));
}

TEST_F(MonitorCoreTest, AStopDuringBoardStartUpCompletesAfterTheAttemptsAndTheFirstCycle) {
  Board().set_init_results({-1001});
  StartMonitor(15000);
  StopAndWait();
  // STOP_PENDING from 15 s with a new checkpoint every 5 s (ServiceLifecycleTest); without the
  // board the status LED blinks (hardware warnings): its thread ends with its pass.
  EXPECT_EQ(Statuses({"t", "state"}).back(), (Record{{"t", 61000}, {"state", 1}}));
}

TEST_F(MonitorCoreTest, AtTheStopEveryIndicatorThreadEndsBeforeTheLedsGoDarkInOrder) {
  // RAID error with blinking: the RAID alarm, the RAID blink thread and (the system status being
  // an error) the system alarm run.
  world.registry().set_dword(kRaidKey, "SRaidInfoEx", 0x8);
  StartMonitor(10250);
  world.trace().clear();
  StopAndWait();
  auto ended = [](std::uint64_t t) { return Record{{"t", t}, {"exit", 0}}; };
  auto status = [](std::uint64_t t, int state) { return Record{{"t", t}, {"state", state}}; };
  Records ending;
  for (const auto &r : world.trace().records()) {
    if (r["kind"] == "gpio") ending.push_back(Pin(r["t"], r["pin"], r["level"]));
    if (r["kind"] == "thread.exit") ending.push_back(ended(r["t"]));
    if (r["kind"] == "svc.status") ending.push_back(status(r["t"], r["state"]));
  }
  // The RAID override makes the status an error: the system alarm sounds beside the RAID alarm.
  // The threads are asked to end one after another: the RAID alarm ends at the end of its second
  // (10.7 s), then the system alarm (11 s); the blink thread, asked at the instant its pass ends,
  // begins one more pass and ends with it (12 s) when it looks before the request, as it does
  // without a seed, or ends at once. Then the LEDs go dark, the control thread ends once Run
  // has set RunExitEvent, STOPPED is reported and the service-main thread ends.
  const std::uint64_t end = ending.back()["t"];
  EXPECT_TRUE(end == 12000 || (world_seed::Seeded() && end == 11000)) << end;
  Records expected = {status(10250, 3), Pin(10500, 32, 0), Pin(10500, 12, 0), ended(10700),
                      ended(11000),     Pin(11000, 32, 1), Pin(11000, 12, 1)};
  if (end == 12000)
    expected.insert(expected.end(),
                    {Pin(11500, 32, 0), Pin(11500, 12, 0), Pin(12000, 32, 1), Pin(12000, 12, 1)});
  expected.insert(expected.end(), {ended(end), Pin(end, 32, 1), Pin(end, 12, 1), Pin(end, 10, 1),
                                   ended(end), status(end, 1), ended(end)});
  // With a seed, the threads' records at one instant come in any order.
  auto in_order = [](Records records) {
    if (world_seed::Seeded())
      std::stable_sort(records.begin(), records.end(), [](const Record &a, const Record &b) {
        return a["t"] != b["t"] ? a["t"] < b["t"] : a.dump() < b.dump();
      });
    return records;
  };
  EXPECT_EQ(in_order(ending), in_order(expected));
  EXPECT_EQ(Board().uninit_calls(), 1);  // by the clean-up
}

// A cycle that cannot tell the local hour leaves the snooze; the next one ends it.
TEST_F(MonitorCoreTest, ASnoozeOfTypeZeroEndsInTheCycleOfItsHourOnly) {
  // A drive short of space: a warning, so that a normal status does not end the snooze.
  world.registry().set_dword(kFreeSpaceKey, "WarnDrive", 0x1);
  world.registry().set_dword(kConfigKey, "LedSnoozeTime", kStartHour + 1);
  world.registry().set_dword(kConfigKey, "LedSnoozeType", 0);
  StartMonitor(3660000);  // to 10:01
  EXPECT_EQ(Writes("LedSnoozeType"), (Records{{{"t", 3600000}, {"data", 0xFFFFFFFF}}}));
  world.run_for(30000);
  world.registry().set_dword(kConfigKey, "LedSnoozeType", 0);
  world.faults().add({"localtime", "", 1, false, std::nullopt, "LocalHour"});
  world.run_for(120000);
  EXPECT_EQ(MarkedCycles(), (std::vector<std::uint64_t>{3600000, 3780000}));
}

}  // namespace
}  // namespace quillet_test
