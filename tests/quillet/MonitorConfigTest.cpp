// The settings. RegHandle: one DWORD per call, a missing value reads 0xFFFFFFFF, nothing is
// ever created. Interval bounds (the service's use of the interval is in MonitorCoreTest), the
// SMART grace time, thresholds with their defaults, the snooze copies' change flags and the
// snooze handed to a running alarm.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "monitor/IndicatorState.h"
#include "monitor/NASBeep.h"
#include "monitor/config.h"
#include "monitor/indicator_threads.h"
#include "monitor/snooze.h"
#include "platform/win32.h"
#include "service/RegHandle.h"
#include "winsim/Registry.h"
#include "winsim/World.h"

namespace {

constexpr const char *kKey = "SOFTWARE\\Wow6432Node\\Norvane\\Tesmar\\Config";
constexpr const char *kFullKey = "HKLM\\SOFTWARE\\Wow6432Node\\Norvane\\Tesmar\\Config";

class RegHandleTest : public ::testing::Test {
 protected:
  RegHandleTest() { world.registry().create_key(kFullKey); }
  winsim::World world;
};

TEST_F(RegHandleTest, ReadsWritesAndDeletesADwordAndShortDataReplacesOnlyTheLowBytes) {
  RegHandle reg(HKEY_LOCAL_MACHINE, kKey);
  EXPECT_EQ(reg.SetDword("CheckInterval", 120), 1);
  EXPECT_EQ(world.registry().dword(kFullKey, "CheckInterval"), 120u);
  EXPECT_EQ(reg.GetDword("checkinterval"), 120u);  // names are compared without case
  EXPECT_EQ(reg.DeleteValue("CheckInterval"), 1);
  EXPECT_FALSE(world.registry().value(kFullKey, "CheckInterval"));
  // A missing or stored all-ones value reads as a failure.
  EXPECT_EQ(reg.GetDword("Missing"), 0xFFFFFFFFu);
  EXPECT_EQ(reg.DeleteValue("Missing"), 0);
  world.registry().set_dword(kFullKey, "AllOnes", 0xFFFFFFFF);
  EXPECT_EQ(reg.GetDword("AllOnes"), 0xFFFFFFFFu);
  // Short data replaces only the low bytes of the failure value.
  world.registry().set_value(kFullKey, "OneByte", REG_BINARY, {0x05});
  EXPECT_EQ(reg.GetDword("OneByte"), 0xFFFFFF05u);
  world.registry().set_value(kFullKey, "TwoBytes", REG_BINARY, {0x34, 0x12});
  EXPECT_EQ(reg.GetDword("TwoBytes"), 0xFFFF1234u);  // in order: the low byte first
  // Any type with four bytes of data reads as a little-endian DWORD ...
  world.registry().set_value(kFullKey, "Four", REG_BINARY, {1, 2, 3, 4});
  EXPECT_EQ(reg.GetDword("Four"), 0x04030201u);
  // ... and longer data never reaches past the four-byte result.
  world.registry().set_string(kFullKey, "Text", "a longer text value");
  EXPECT_EQ(reg.GetDword("Text"), 0xFFFFFFFFu);
  world.registry().set_value(kFullKey, "Eight", REG_BINARY, {1, 2, 3, 4, 5, 6, 7, 8});
  EXPECT_EQ(reg.GetDword("Eight"), 0xFFFFFFFFu);
}

TEST_F(RegHandleTest, ANullRootOrEmptyPathFailsWithoutTouchingTheRegistry) {
  // Any registry call would be seen by this rule.
  world.faults().add({"RegOpenKeyExA", "", 1, true, 5});
  for (auto [root, path] : {std::pair{HKEY{nullptr}, kKey}, std::pair{HKEY_LOCAL_MACHINE, ""}}) {
    RegHandle reg(root, path);
    EXPECT_EQ(reg.GetDword("X"), 0xFFFFFFFFu);
    EXPECT_EQ(reg.SetDword("X", 1), 0);
    EXPECT_EQ(reg.DeleteValue("X"), 0);
  }
  EXPECT_TRUE(world.trace().of_kind("fault").empty());
}

// Each registry call of an operation failing once: the operation's failure result, the value as
// it was, and no key left open (so a key that will not open is not created either). A failed size
// query leaves the size 0, so the read that follows fails too. (The calls are the test's own, so
// they are counted, not named by their function.)
TEST_F(RegHandleTest, EachFailedCallGivesItsOperationsFailureResultAndChangesNothing) {
  struct Case {
    const char *operation, *call;
    std::uint32_t nth;
    int result;  // 0xFFFFFFFF read as -1
  };
  const Case cases[] = {
      {"GetDword", "RegOpenKeyExA", 1, -1},     {"GetDword", "RegQueryValueExA", 1, -1},
      {"GetDword", "RegQueryValueExA", 2, -1},  {"SetDword", "RegOpenKeyExA", 1, 0},
      {"SetDword", "RegSetValueExA", 1, 0},     {"DeleteValue", "RegOpenKeyExA", 1, 0},
      {"DeleteValue", "RegDeleteValueA", 1, 0}, {"KeyExists", "RegOpenKeyExA", 1, 0},
  };
  world.registry().set_dword(kFullKey, "CheckInterval", 90);
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.operation) + ": " + c.call + " #" + std::to_string(c.nth));
    world.faults().clear();
    world.faults().add({c.call, "", c.nth, false, ERROR_ACCESS_DENIED});
    RegHandle reg(HKEY_LOCAL_MACHINE, kKey);
    std::string operation = c.operation;
    int result = operation == "GetDword"      ? static_cast<int>(reg.GetDword("CheckInterval"))
                 : operation == "SetDword"    ? reg.SetDword("CheckInterval", 60)
                 : operation == "DeleteValue" ? reg.DeleteValue("CheckInterval")
                                              : reg.KeyExists(HKEY_LOCAL_MACHINE, kKey);
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(world.registry().dword(kFullKey, "CheckInterval"), 90u);
    EXPECT_EQ(world.open_handles(world.host_pid()), std::vector<std::string>{});
  }
}

TEST_F(RegHandleTest, KeyExistsWantsFullAccessAndTheExplicitReadTakesItsOwnPath) {
  RegHandle probe(nullptr, "");
  EXPECT_EQ(probe.KeyExists(HKEY_LOCAL_MACHINE, kKey), 1);
  EXPECT_EQ(probe.KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tavrel\\NAS"), 0);
  world.registry().set_dword("HKLM\\SOFTWARE\\Other", "Value", 7);
  RegHandle reg(HKEY_LOCAL_MACHINE, kKey);
  EXPECT_EQ(reg.GetDword(HKEY_LOCAL_MACHINE, "SOFTWARE\\Other", "Value"), 7u);
  // A key without full access counts as missing, but its values still read.
  world.registry().set_dword(kFullKey, "CheckInterval", 90);
  world.registry().deny_full_access(kFullKey);
  EXPECT_EQ(probe.KeyExists(HKEY_LOCAL_MACHINE, kKey), 0);
  EXPECT_EQ(reg.GetDword("CheckInterval"), 90u);
  EXPECT_EQ(reg.SetDword("CheckInterval", 60), 0);
  EXPECT_EQ(reg.DeleteValue("CheckInterval"), 0);
}

using quillet::CheckIntervalMs;
using quillet::CheckLogInterval;

// The check interval is at least a minute and at most a day (missing: a minute); the SMART
// grace time takes only values above an hour, up to a day.
TEST(MonitorConfig, IntervalsAreKeptWithinTheirBounds) {
  const std::pair<DWORD, DWORD> interval_ms[] = {{0, 60000},         {60, 60000},
                                                 {61, 61000},        {86400, 86400000},
                                                 {86401, 86400000},  {0xFFFFFFFE, 86400000},
                                                 {0xFFFFFFFF, 60000}};
  for (auto [seconds, ms] : interval_ms) EXPECT_EQ(CheckIntervalMs(seconds), ms) << seconds;
  const std::pair<DWORD, int> grace[] = {{1800, 3600},      {3600, 3600},   {7200, 7200},
                                         {86400, 86400},    {86401, 86400}, {0, 3600},
                                         {0xFFFFFFFF, 3600}};
  for (auto [seconds, kept] : grace) EXPECT_EQ(CheckLogInterval(seconds, 3600), kept) << seconds;
}

TEST(MonitorConfig, ThresholdsTakeTheirDefaultsOnlyWhenMissing) {
  winsim::World world;
  const char *temp_check =
      "HKLM\\SOFTWARE\\Wow6432Node\\Norvane\\Applications\\NorvaneNas\\THERMSCN";
  world.registry().create_key(kFullKey);
  world.registry().set_dword(kFullKey, "CpuFanWarn", 0);           // 0 is used as it is
  world.registry().set_dword(kFullKey, "CpuTempErr", 0xFFFFFFFF);  // a stored -1 is missing
  world.registry().set_dword(kFullKey, "SystemTempWarn", 70);
  world.registry().set_dword(temp_check, "TEMPParam2", 65);
  RegHandle reg(HKEY_LOCAL_MACHINE, quillet::kConfigKey);
  // CPU temperature, CPU fan, system temperature and disk temperature: warning, error.
  auto levels = [&reg] {
    quillet::Thresholds t = quillet::ReadThresholds(reg);
    return std::vector<DWORD>{t.dwCpuTempWarn,  t.dwCpuTempErr,     t.dwCpuFanWarn,
                              t.dwCpuFanErr,    t.dwSystemTempWarn, t.dwSystemTempErr,
                              t.dwDiskTempWarn, t.dwDiskTempErr};
  };
  EXPECT_EQ(levels(), (std::vector<DWORD>{80, 85, 0, 100, 70, 85, 60, 65}));
  world.registry().set_dword(temp_check, "TEMPParam", 45);
  EXPECT_EQ(levels(), (std::vector<DWORD>{80, 85, 0, 100, 70, 85, 45, 65}));
}

TEST(MonitorConfig, SnoozeCopiesReportAChangeOncePerAlarm) {
  winsim::World world;
  InitializeIndicatorState();
  // Whether the RAID alarm and the system alarm are told of a change.
  auto update = [](DWORD time, DWORD type) {
    quillet::SnoozeChange change = quillet::UpdateSnoozeCopies(time, type);
    return std::pair{change.bRaid, change.bSystem};
  };
  EXPECT_EQ(update(10, 0xFFFFFFFF), std::pair(false, false));  // the initial copies
  EXPECT_EQ(update(10, 1), std::pair(true, true));
  EXPECT_EQ(update(10, 1), std::pair(false, false));
  // Time and type changed in one call: both are stored, so the same values again are no change.
  EXPECT_EQ(update(7, 2), std::pair(true, true));
  EXPECT_EQ(update(7, 2), std::pair(false, false));
  EXPECT_EQ(g_nRaidSnoozeTime, 7);
  DeleteIndicatorLocks();
}

TEST(MonitorConfig, ASnoozeHandedToARunningSystemAlarmIsTakenAtItsNextPass) {
  winsim::World world;
  InitializeIndicatorState();
  NASBeep::InitializeAlarmLock();
  g_nSysSnoozeType = 1;  // snoozed: the alarm sounds once at its start, then waits
  WriteFlag(g_csSysAlarmRun, g_bSysAlarmRun, 1);
  HANDLE thread = CreateThread(nullptr, 0, SystemAlarmThread, nullptr, 0, nullptr);
  world.run_for(400000);
  g_nSysSnoozeType = -1;
  quillet::RequestSnoozeReload(g_csSysSnoozeReload, g_bSysSnoozeReload);
  world.run_for(400000);
  // The pattern (3.75 s) and one-second passes; the pass from 400.75 s takes the lifted snooze
  // and the alarm repeats 301 passes later.
  std::vector<std::uint64_t> starts;
  auto sounds = world.trace().of_kind("sound");
  for (std::size_t i = 0; i < sounds.size(); i += 9) starts.push_back(sounds[i]["t"]);
  EXPECT_EQ(starts, (std::vector<std::uint64_t>{0, 701750}));
  WriteFlag(g_csSysAlarmRun, g_bSysAlarmRun, 0);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  DeleteIndicatorLocks();
}

}  // namespace
