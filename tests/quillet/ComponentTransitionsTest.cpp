// When the components' messages are written: at every change of a code, never twice for the
// same code, only for what is not normal at the service's start, and with the code remembered
// even when the message could not be written.
#include "HealthWorld.h"

namespace quillet_test {
namespace {

class ComponentTransitions : public HealthWorld {};

std::string CpuTempText(const char *state, int degrees) {
  return std::string("CPU 温度ステータスを「") + state +
         "」へ移行しました (CPU温度 = " + std::to_string(degrees) + "℃)";
}

TEST_F(ComponentTransitions, AReadingCrossingALevelBackAndForthWritesAMessageAtEveryCrossing) {
  StartMonitor();
  // One reading per cycle, every 10 s from 10 s on (a parameter change runs the cycle).
  for (double celsius : {80.0, 84.0, 79.0, 79.0, 86.0, 84.9, 20.0}) {
    world.run_for(10000);
    Board().set_cpu_temperature(celsius);
    CycleNow();
  }
  Records expected = {
      Message(10000, 2, 0x80002BC0, CpuTempText("警告", 80)),
      Message(30000, 4, 0x40002B5C, CpuTempText("正常", 79)),
      Message(50000, 1, 0xC0002C24, CpuTempText("エラー", 86)),
      Message(60000, 2, 0x80002BC0, CpuTempText("警告", 84)),
      Message(70000, 4, 0x40002B5C, CpuTempText("正常", 20)),
  };
  EXPECT_EQ(Messages(0, kComponents), expected);
  Records statuses = Writes("CpuTempStatus");
  ASSERT_EQ(statuses.size(), 8u);
  EXPECT_EQ(statuses[2], (Record{{"t", 20000}, {"data", 11200}}));  // 84: still a warning
}

TEST_F(ComponentTransitions, AStartWithEveryComponentNormalWritesNoStatusMessage) {
  StartMonitor();
  world.run_for(120000);
  EXPECT_EQ(Messages(), Records{Message(0, 4, 0x400003E8, "LEDドライバを初期化しました。")});
  EXPECT_EQ(Config("SystemStatus"), 100u);
}

TEST_F(ComponentTransitions, TheFirstCycleWritesMessagesOnlyForWhatIsNotNormal) {
  Board().set_fan_speed(1500);
  world.registry().set_dword(kBackupKey, "BackupStatus", 2);
  StartMonitor();
  Records expected = {
      Message(0, 2, 0x80002FA8,
              "CPU ファン回転ステータスを「警告」へ移行しました (CPUファン回転数 = 1500)"),
      Message(0, 1, 0xC0007A44, "バックアップステータスを「エラー」へ移行しました"),
      Message(0, 1, 0xC000012C,
              "システムステータスを「エラーあり」へ移行しました(ハードウェア = 警告あり、運用 = "
              "エラーあり、HDD = 正常)。"),
  };
  Records all = Messages();
  ASSERT_EQ(all.size(), 4u);  // the board's message first
  EXPECT_EQ(Records(all.begin() + 1, all.end()), expected);
}

TEST_F(ComponentTransitions, ACodeIsRememberedEvenWhenItsMessageCouldNotBeWritten) {
  world.eventlog().set_available(false);
  Board().set_fan_speed(1500);
  StartMonitor();
  world.eventlog().set_available(true);
  world.run_for(60000);  // still 1500: nothing to write
  Board().set_fan_speed(3000);
  world.run_for(60001);
  Records expected = {
      Message(120000, 4, 0x40002F44,
              "CPU ファン回転ステータスを「正常」へ移行しました (CPUファン回転数 = 3000)"),
      Message(120000, 4, 0x40000064, "システムステータスを「正常」へ移行しました。"),
  };
  EXPECT_EQ(Messages(), expected);
}

}  // namespace
}  // namespace quillet_test
