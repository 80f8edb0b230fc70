#include "monitor/snooze.h"

#include <ctime>

#include "monitor/IndicatorState.h"
#include "service/RegHandle.h"

namespace quillet {
namespace {

bool StoreIfChanged(std::atomic<int> &nCopy, DWORD dwValue) {
  int nValue = static_cast<int>(dwValue);
  if (nCopy == nValue) return false;
  nCopy = nValue;
  return true;
}

}  // namespace

SnoozeChange UpdateSnoozeCopies(DWORD dwSnoozeTime, DWORD dwSnoozeType) {
  SnoozeChange change{false, false};
  change.bRaid = StoreIfChanged(g_nRaidSnoozeTime, dwSnoozeTime);
  change.bRaid = StoreIfChanged(g_nRaidSnoozeType, dwSnoozeType) || change.bRaid;
  change.bSystem = StoreIfChanged(g_nSysSnoozeTime, dwSnoozeTime);
  change.bSystem = StoreIfChanged(g_nSysSnoozeType, dwSnoozeType) || change.bSystem;
  return change;
}

int LocalHour() {
  std::time_t now = time(nullptr);
  struct tm *local = localtime(&now);
  return local != nullptr ? local->tm_hour : -1;
}

void EndHourlySnoozeIfDue(RegHandle &config, DWORD dwSnoozeTime, DWORD dwSnoozeType) {
  if (dwSnoozeType != 0 || static_cast<int>(dwSnoozeTime) != LocalHour()) return;
  config.SetDword("LedSnoozeType", 0xFFFFFFFF);
}

void RequestSnoozeReload(CRITICAL_SECTION &cs, std::atomic<int> &bReload) {
  WriteFlag(cs, bReload, 1);
}

}  // namespace quillet
