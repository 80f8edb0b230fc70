// The system status in the running service: the groups folded into one status, the RAID
// override, the six status values, the status message with its group texts, and what the
// status LED and the system alarm show.
#include "HealthWorld.h"

namespace quillet_test {
namespace {

std::string ErrorText(const char *hardware, const char *operation, const char *disks) {
  return std::string("システムステータスを「エラーあり」へ移行しました(ハードウェア = ") +
         hardware + "、運用 = " + operation + "、HDD = " + disks + ")。";
}

class SystemStatus : public HealthWorld {
 protected:
  void SetBackup(DWORD status) { world.registry().set_dword(kBackupKey, "BackupStatus", status); }
  void SetWarnDrive(DWORD mask) { world.registry().set_dword(kFreeSpaceKey, "WarnDrive", mask); }
};

// Only what is not normal has a message, the components' before the status's; a group with an
// error reads as in error even with a warning.
TEST_F(SystemStatus, ACycleWritesTheReadingsTheSixStatusValuesAndTheMessagesInOrder) {
  Board().set_fan_speed(1500);      // hardware warning ...
  Board().set_cpu_temperature(90);  // ... and error
  SetBackup(2);                     // operation error
  // A disk warning (pending sectors).
  winsim::add_smart_disk(world, 0, disk_test::HealthyData(), disk_test::HealthyThresholds());
  StartMonitor();
  // The configuration values the cycle writes, in order, without the disks' bay values.
  std::vector<std::string> published;
  for (const auto &r : world.trace().of_kind("reg.set")) {
    std::string name = r["name"];
    if (r["t"] == 0 && name.rfind("HDD", 0) != 0)
      published.push_back(name + "=" + std::to_string(r["data"].get<std::uint32_t>()));
  }
  EXPECT_EQ(published, (std::vector<std::string>{"CpuFan=1500", "CpuTemp=90", "SystemTemp=38",
                                                 "SystemStatus=300", "CpuTempStatus=11300",
                                                 "CpuFanStatus=12200", "SystemTempStatus=13100",
                                                 "BackupStatus=31300", "VolSpaceStatus=32100"}));
  EXPECT_EQ(
      ComponentMessageLines(),
      "1 0xC0002C24 CPU 温度ステータスを「エラー」へ移行しました (CPU温度 = 90℃)\n"
      "2 0x80002FA8 CPU ファン回転ステータスを「警告」へ移行しました (CPUファン回転数 = 1500)\n"
      "2 0x800056B8 HDD SMARTステータスを「警告」へ移行しました "
      "(HDD0修復済み = 5、読み込み不安定 = 2、修復が必要 = 0)\n"
      "1 0xC0007A44 バックアップステータスを「エラー」へ移行しました");
  EXPECT_EQ(Messages().back(),
            Message(0, 1, 0xC000012C, ErrorText("エラーあり", "エラーあり", "警告あり")));
}

// The RAID LEDs blinking together make the status an error with every component normal: the
// status LED is lit every cycle, and the system alarm runs but sounds only at a repeat point
// that finds a component in error (301 s; not 605.75 s).
TEST_F(SystemStatus, ARaidBlinkMakesAnErrorAndTheAlarmSoundsOnlyForAComponentsError) {
  world.registry().set_dword(kRaidKey, "SRaidInfoEx", 0x100000);
  StartMonitor(100000);
  SetBackup(2);
  world.run_for(300000);
  SetBackup(1);
  world.run_for(300000);
  EXPECT_EQ(Messages(0, kSystem),
            Records{Message(0, 1, 0xC000012C, ErrorText("正常", "正常", "正常"))});
  EXPECT_EQ(SystemAlarms(), std::vector<std::uint64_t>{301000});
  Records lit;
  for (std::uint64_t t = 0; t <= 360000; t += 60000) lit.push_back(Led(t, 0));
  Records led = StatusLed();
  ASSERT_GE(led.size(), lit.size());
  EXPECT_EQ(Records(led.begin(), led.begin() + lit.size()), lit);
}

// Warning, error, normal: the status LED blinks, is lit, goes dark; the alarm sounds for the
// error only; a snooze stays until the status is normal, and is cleared once.
TEST_F(SystemStatus, EachStatusHasItsLedAndAlarm) {
  world.registry().set_dword(kConfigKey, "LedSnoozeType", 1);
  SetWarnDrive(0x1);
  StartMonitor(10000);
  SetBackup(2);
  CycleNow(10000);
  SetBackup(1);
  SetWarnDrive(0);
  CycleNow(130000);

  // Blinking from the blink thread; at the error its pass ends (11 s) before the LED is lit;
  // at normal the alarm's pass ends (20.75 s) before the LED goes dark, then every cycle.
  Records led = {Led(500, 0), Led(1000, 1), Led(1500, 0), Led(2000, 1)};
  Records from_ten_s = {Led(10500, 0), Led(11000, 1), Led(11000, 0),
                        Led(20750, 1), Led(80750, 1), Led(140750, 1)};
  Records all = StatusLed();
  ASSERT_GE(all.size(), 4u);
  EXPECT_EQ(Records(all.begin(), all.begin() + 4), led);
  EXPECT_EQ(StatusLed(10100), from_ten_s);
  EXPECT_EQ(SystemAlarms(), std::vector<std::uint64_t>{10000});  // snoozed: no repeat
  Records expected = {
      Message(0, 2, 0x800000C8,
              "システムステータスを「警告あり」へ移行しました(ハードウェア = 正常、運用 = "
              "警告あり、HDD = 正常)。"),
      Message(10000, 1, 0xC000012C, ErrorText("正常", "エラーあり", "正常")),
      Message(20000, 4, 0x40000064, "システムステータスを「正常」へ移行しました。"),
  };
  EXPECT_EQ(Messages(0, kSystem), expected);
  EXPECT_EQ(Writes("LedSnoozeType"), (Records{{{"t", 20750}, {"data", 0xFFFFFFFF}}}));
}

// From error to warning the system alarm stops: at the next error a new alarm sounds at once,
// rather than an old one going on at its own pace.
TEST_F(SystemStatus, FromErrorToWarningTheAlarmStopsAndANewErrorSoundsAtOnce) {
  SetBackup(2);
  StartMonitor(10000);
  SetBackup(1);
  SetWarnDrive(0x1);
  CycleNow();
  world.run_until(100000);
  SetBackup(2);
  CycleNow();
  world.run_until(150000);
  EXPECT_EQ(SystemAlarms(), (std::vector<std::uint64_t>{0, 100000}));
}

// The blink thread is waited for until it has ended, also when a wait fails: its last write
// (dark) comes before the LED is lit for the error, not after.
TEST_F(SystemStatus, AFailedWaitForTheBlinkThreadIsTriedAgainBeforeTheLedIsLit) {
  SetWarnDrive(0x1);
  StartMonitor(10250);
  world.faults().add({"WaitForSingleObject", "", 1, false, 6, "StopIndicatorThread"});
  SetBackup(2);
  CycleNow(2000);
  EXPECT_EQ(StatusLed(10250), (Records{Led(10500, 0), Led(11000, 1), Led(11250, 0)}));
}

TEST_F(SystemStatus, WithoutTheConfigurationKeyTheLedIsDarkAndTheAlarmStops) {
  SetBackup(2);
  StartMonitor(10000);
  world.registry().delete_tree(kConfigKey);
  std::size_t messages = Messages().size();
  CycleNow(70000);
  // The alarm ends its pass (10.75 s), then the LED goes dark; so at the next cycle.
  EXPECT_EQ(StatusLed(5000), (Records{Led(10750, 1), Led(70750, 1)}));
  EXPECT_EQ(world.trace().of_kind("thread.exit").size(), 1u);
  EXPECT_EQ(Messages().size(), messages);
  // Nothing is published, and the disks are not listed.
  for (const char *kind : {"reg.set", "process.start"})
    for (const auto &r : world.trace().of_kind(kind)) EXPECT_LT(r["t"], 5000) << kind;
}

}  // namespace
}  // namespace quillet_test
