// The first cycle of a running service for one input each: the board's three readings with
// their result codes and the thresholds at their bounds, the disks' temperatures and SMART
// attributes, the backup and free-space values. What the cycle publishes (the reading, the
// component's status value) and the component's message. When the components' messages are
// written: at every change of a code, never twice for the same code, and with the code
// remembered even when the message could not be written. (Only what is not normal at the
// service's start has a message: SystemStatusTest; without the board the readings fail:
// MonitorCoreTest.)
#include <functional>
#include <limits>
#include <utility>

#include "HealthWorld.h"

namespace quillet_test {
namespace {

using World = winsim::World;
using Input = std::function<void(World &)>;

Input CpuTemp(double celsius, std::int32_t result = 0) {
  return [=](World &w) { standins::Board::of(w).set_cpu_temperature(celsius, result); };
}
Input Fan(std::int32_t rpm, std::int32_t result = 0) {
  return [=](World &w) { standins::Board::of(w).set_fan_speed(rpm, result); };
}
Input SystemTemp(double celsius, std::int32_t result = 0) {
  return [=](World &w) { standins::Board::of(w).set_system_temperature(celsius, result); };
}
// An attribute of a bay's drive: current (and worst) and raw value.
Input Attribute(unsigned bay, std::uint8_t id, std::uint8_t current, std::uint64_t raw) {
  return [=](World &w) {
    EXPECT_TRUE(winsim::find_smart_disk(w, bay)->set_attribute(id, current, raw));
  };
}
Input Dword(const char *key, const char *name, std::uint32_t value) {
  return [=](World &w) { w.registry().set_dword(key, name, value); };
}
// Both inputs, in this order.
Input Both(Input first, Input second) {
  return [=](World &w) {
    first(w);
    second(w);
  };
}
// System temperature levels of 50 and 60, the CPU's at 90 and 95.
void SetApartSystemLevels(World &w) {
  for (auto [name, level] : {std::pair{"CpuTempWarn", 90},
                             {"CpuTempErr", 95},
                             {"SystemTempWarn", 50},
                             {"SystemTempErr", 60}})
    w.registry().set_dword(kConfigKey, name, level);
}

struct InputCase {
  const char *name;
  Input input;
  const char *values;   // "Name=value ...": the published values
  const char *message;  // the component's message, "type id text", or nothing
  // The input made normal again at 10 s, by a parameter change, and the component's message then.
  Input mend = nullptr;
  const char *recovered = "";
};

const InputCase kInputCases[] = {
    // At the warning level: ComponentTransitions; the default levels: MonitorConfigTest.
    // 47.9 °C is 47: a warning level of 47 is reached, and the message says 47.
    {"CpuTempTruncatedTowardZero", Both(CpuTemp(47.9), Dword(kConfigKey, "CpuTempWarn", 47)),
     "CpuTemp=47 CpuTempStatus=11200",
     "2 0x80002BC0 CPU 温度ステータスを「警告」へ移行しました (CPU温度 = 47℃)", CpuTemp(20.0),
     "4 0x40002B5C CPU 温度ステータスを「正常」へ移行しました (CPU温度 = 20℃)"},
    {"CpuTempBelowZeroIsPastEveryLevel", CpuTemp(-5.0), "CpuTemp=4294967291 CpuTempStatus=11300",
     "1 0xC0002C24 CPU 温度ステータスを「エラー」へ移行しました (CPU温度 = -5℃)"},
    {"CpuTempNotSupported", CpuTemp(50.0, -1001),
     "CpuTemp=4294967295 CpuTempStatus=11400 SystemStatus=100", ""},
    // No int holds it: a failed reading, not an undefined conversion.
    {"CpuTempNotANumber", CpuTemp(std::numeric_limits<double>::quiet_NaN()),
     "CpuTemp=4294967295 CpuTempStatus=11600", ""},
    {"CpuTempJustBelowTheIntRange", CpuTemp(-2147483649.0),
     "CpuTemp=4294967295 CpuTempStatus=11600", ""},
    {"CpuTempJustAboveTheIntRange", CpuTemp(2147483648.0), "CpuTemp=4294967295 CpuTempStatus=11600",
     ""},
    {"FanAtWarning", Fan(2000), "CpuFan=2000 CpuFanStatus=12100", ""},
    {"FanBelowWarning", Fan(1999), "CpuFan=1999 CpuFanStatus=12200",
     "2 0x80002FA8 CPU ファン回転ステータスを「警告」へ移行しました (CPUファン回転数 = 1999)"},
    {"FanBelowError", Fan(99), "CpuFan=99 CpuFanStatus=12300",
     "1 0xC000300C CPU ファン回転ステータスを「エラー」へ移行しました (CPUファン回転数 = 99)"},
    {"FanReadAsMinusOne", Fan(-1), "CpuFan=4294967295 CpuFanStatus=12300",
     "1 0xC000300C CPU ファン回転ステータスを「エラー」へ移行しました (CPUファン回転数 = -1)"},
    {"FanHardwareError", Fan(3000, -1006), "CpuFan=4294967295 CpuFanStatus=12500 SystemStatus=300",
     "1 0xC000300C CPU ファン回転ステータスを「エラー」へ移行しました (ハードエラー)"},
    {"SystemTempOtherFailure", SystemTemp(38.0, -7),
     "SystemTemp=4294967295 SystemTempStatus=13600 SystemStatus=200", ""},
    // Each level is read under its own name: below the other levels, only its own is reached.
    {"CpuTempAtItsOwnErrorLevel", Both(CpuTemp(72.0), Dword(kConfigKey, "CpuTempErr", 70)),
     "CpuTemp=72 CpuTempStatus=11300 SystemStatus=300",
     "1 0xC0002C24 CPU 温度ステータスを「エラー」へ移行しました (CPU温度 = 72℃)"},
    {"CpuTempHardwareError", CpuTemp(50.0, -1006),
     "CpuTemp=4294967295 CpuTempStatus=11500 SystemStatus=300",
     "1 0xC0002C24 CPU 温度ステータスを「エラー」へ移行しました (ハードエラー)"},
    {"FanBelowItsOwnErrorLevel", Both(Fan(400), Dword(kConfigKey, "CpuFanErr", 500)),
     "CpuFan=400 CpuFanStatus=12300 SystemStatus=300",
     "1 0xC000300C CPU ファン回転ステータスを「エラー」へ移行しました (CPUファン回転数 = 400)"},
    // The system temperature has levels of its own, apart from the CPU's.
    {"SystemTempAtItsOwnWarningLevel", Both(SetApartSystemLevels, SystemTemp(55.0)),
     "SystemTemp=55 SystemTempStatus=13200 SystemStatus=200",
     "2 0x80003390 システム 温度ステータスを「警告」へ移行しました (システム温度 = 55℃)"},
    {"SystemTempAtItsOwnErrorLevel", Both(SetApartSystemLevels, SystemTemp(60.0)),
     "SystemTemp=60 SystemTempStatus=13300 SystemStatus=300",
     "1 0xC00033F4 システム 温度ステータスを「エラー」へ移行しました (システム温度 = 60℃)"},
    {"SystemTempHardwareError", SystemTemp(38.0, -1006),
     "SystemTemp=4294967295 SystemTempStatus=13500 SystemStatus=300",
     "1 0xC00033F4 システム 温度ステータスを「エラー」へ移行しました (ハードエラー)"},
    {"SystemTempAtTheDefaultErrorLevel", SystemTemp(85.5),
     "SystemTemp=85 SystemTempStatus=13300 SystemStatus=300",
     "1 0xC00033F4 システム 温度ステータスを「エラー」へ移行しました (システム温度 = 85℃)",
     SystemTemp(30.0),
     "4 0x4000332C システム 温度ステータスを「正常」へ移行しました (システム温度 = 30℃)"},
    // The disks' attribute 5 at its threshold (36), one pending sector, no attribute 198; the
    // temperature's message comes before the SMART message of the same bay.
    {"Attribute5AtItsThresholdIsAnError", Attribute(0, 5, 36, 5), "SystemStatus=300",
     "1 0xC000571C HDD SMARTステータスを「エラー」へ移行しました "
     "(HDD0修復済み = 5、読み込み不安定 = 0、修復が必要 = 0)"},
    {"WithoutAttribute198TheSectorsAreNotJudged",
     [](World &w) {
       winsim::add_smart_disk(w, 0,
                              disk_test::DataSector({{5, 100, 5}, {194, 41, 41}, {197, 100, 3}}),
                              disk_test::HealthyThresholds());
     },
     "SystemStatus=100", ""},
    {"HddTempAtTheDefaultWarningLevelAndOnePendingSector",
     Both(Attribute(1, 194, 60, 60), Attribute(1, 197, 100, 1)), "HDDTemp_1=60 SystemStatus=200",
     "2 0x800052D0 HDD 温度ステータスを「警告」へ移行しました (HDD1温度 = 60℃)\n"
     "2 0x800056B8 HDD SMARTステータスを「警告」へ移行しました "
     "(HDD1修復済み = 5、読み込み不安定 = 1、修復が必要 = 0)",
     Attribute(1, 194, 41, 41),
     "4 0x4000526C HDD 温度ステータスを「正常」へ移行しました (HDD1温度 = 41℃)"},
    {"HddTempAtTheErrorLevelOfTheSibling",
     Both(Dword(kTempCheckKey, "TEMPParam2", 65), Attribute(0, 194, 65, 65)), "SystemStatus=300",
     "1 0xC0005334 HDD 温度ステータスを「エラー」へ移行しました (HDD0温度 = 65℃)"},
    // The drive is hot, but its reading failed: its temperature is not judged.
    {"ABayWhoseReadFailsKeepsANormalTemperature",
     Both(Attribute(0, 194, 75, 75),
          [](World &w) {
            winsim::find_smart_disk(w, 0)->set_failure(winsim::SmartDisk::Failure::Thresholds);
          }),
     "SystemStatus=100",
     "2 0x80005780 HDD SMARTステータスの確認に失敗しました (デバイスハンドルの取得に失敗)"},
    {"BackupFailed", Dword(kBackupKey, "BackupStatus", 2), "BackupStatus=31300",
     "1 0xC0007A44 バックアップステータスを「エラー」へ移行しました",
     Dword(kBackupKey, "BackupStatus", 1),
     "4 0x4000797C バックアップステータスを「正常」へ移行しました"},
    {"WarnDriveBit24Only", Dword(kFreeSpaceKey, "WarnDrive", 0x01000000), "VolSpaceStatus=32100",
     ""},
    {"WarnDriveBit2", Dword(kFreeSpaceKey, "WarnDrive", 0x4), "VolSpaceStatus=32200",
     "2 0x80007DC8 空き容量ステータスを「警告」へ移行しました",
     Dword(kFreeSpaceKey, "WarnDrive", 0),
     "4 0x40007D64 空き容量ステータスを「正常」へ移行しました"},
};

class HealthInputTest : public HealthWorld, public ::testing::WithParamInterface<InputCase> {};

TEST_P(HealthInputTest, TheFirstCyclePublishesTheCodeAndEachChangeWritesTheComponentsMessage) {
  GetParam().input(world);
  StartMonitor();
  EXPECT_EQ(ConfigValues(GetParam().values), GetParam().values);
  EXPECT_EQ(ComponentMessageLines(), GetParam().message);
  if (GetParam().mend == nullptr) return;
  world.run_for(10000);
  GetParam().mend(world);
  CycleNow();
  EXPECT_EQ(ComponentMessageLines(10000), GetParam().recovered);
}

INSTANTIATE_TEST_SUITE_P(Inputs, HealthInputTest, ::testing::ValuesIn(kInputCases), kNameOfRow);

using ComponentTransitions = HealthWorld;

TEST_F(ComponentTransitions, AReadingCrossingALevelBackAndForthWritesAMessageAtEveryCrossing) {
  StartMonitor();
  // One reading per cycle, every 10 s from 10 s on (a parameter change runs the cycle).
  for (double celsius : {80.0, 84.0, 79.0, 79.0, 86.0, 84.9, 20.0}) {
    world.run_for(10000);
    Board().set_cpu_temperature(celsius);
    CycleNow();
  }
  // (The texts with their readings are under HealthInputTest.)
  EXPECT_EQ(ComponentMessageLines(0, true),
            "10000 2 0x80002BC0\n30000 4 0x40002B5C\n50000 1 0xC0002C24\n60000 2 0x80002BC0\n"
            "70000 4 0x40002B5C");
}

// The event log refuses the source, or is full: the message is lost and not written again,
// and the next change has its message.
class LostMessage : public HealthWorld, public ::testing::WithParamInterface<const char *> {};

TEST_P(LostMessage, ACodeIsRememberedEvenWhenItsMessageCouldNotBeWritten) {
  // The board's message is the first; the fan's and the system status's fail.
  world.faults().add({GetParam(), "", 2, true, 1502 /* the log is full */, "WriteEventLog"});
  Board().set_fan_speed(1500);
  StartMonitor();
  world.faults().clear();
  world.run_for(60000);  // still 1500: nothing to write
  Board().set_fan_speed(3000);
  world.run_for(60001);
  Records expected = {
      Message(0, 4, 0x400003E8, "LEDドライバを初期化しました。"),
      Message(120000, 4, 0x40002F44,
              "CPU ファン回転ステータスを「正常」へ移行しました (CPUファン回転数 = 3000)"),
      Message(120000, 4, 0x40000064, "システムステータスを「正常」へ移行しました。"),
  };
  EXPECT_EQ(Messages(), expected);
  EXPECT_EQ(world.trace().of_kind("fault").size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Calls, LostMessage,
                         ::testing::Values("RegisterEventSourceA", "ReportEventA"));

}  // namespace
}  // namespace quillet_test
