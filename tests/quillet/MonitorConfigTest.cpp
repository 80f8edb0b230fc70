// The settings: interval bounds (the service's use of the interval is in MonitorCoreTest), the
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
#include "service/RegHandle.h"
#include "winsim/Registry.h"
#include "winsim/World.h"

namespace {

using quillet::CheckIntervalMs;
using quillet::CheckLogInterval;

// The check interval is at least a minute and at most a day (missing: a minute); the SMART
// grace time takes only values above an hour, up to a day.
TEST(MonitorConfig, IntervalsAreKeptWithinTheirBounds) {
  const std::pair<DWORD, DWORD> interval_ms[] = {{0, 60000},
                                                 {1, 60000},
                                                 {60, 60000},
                                                 {61, 61000},
                                                 {86400, 86400000},
                                                 {86401, 86400000},
                                                 {0xFFFFFFFE, 86400000},
                                                 {0xFFFFFFFF, 60000}};
  for (auto [seconds, ms] : interval_ms) EXPECT_EQ(CheckIntervalMs(seconds), ms) << seconds;
  const std::pair<DWORD, int> grace[] = {{1800, 3600},      {3600, 3600},   {7200, 7200},
                                         {86400, 86400},    {86401, 86400}, {0, 3600},
                                         {0xFFFFFFFF, 3600}};
  for (auto [seconds, kept] : grace) EXPECT_EQ(CheckLogInterval(seconds, 3600), kept) << seconds;
}

TEST(MonitorConfig, ThresholdsTakeTheirDefaultsOnlyWhenMissing) {
  winsim::World world;
  const char *config = "HKLM\\SOFTWARE\\Wow6432Node\\Norvane\\Tesmar\\Config";
  const char *temp_check =
      "HKLM\\SOFTWARE\\Wow6432Node\\Norvane\\Applications\\NorvaneNas\\THERMSCN";
  world.registry().create_key(config);
  world.registry().set_dword(config, "CpuFanWarn", 0);           // 0 is used as it is
  world.registry().set_dword(config, "CpuTempErr", 0xFFFFFFFF);  // a stored -1 is missing
  world.registry().set_dword(config, "SystemTempWarn", 70);
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
  EXPECT_EQ(g_nRaidSnoozeType, 1);
  EXPECT_EQ(g_nSysSnoozeType, 1);
  EXPECT_EQ(update(10, 1), std::pair(false, false));
  EXPECT_EQ(update(7, 1), std::pair(true, true));
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
