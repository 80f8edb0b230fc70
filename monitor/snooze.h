// The alarm snooze: "LedSnoozeTime" and "LedSnoozeType" as the cycle reads them, the copies
// the alarm threads work from, and the hourly end of a snooze of type 0.
#pragma once

#include <atomic>

#include "platform/win32.h"

class RegHandle;

namespace quillet {

// Which alarm's snooze copies changed in this cycle.
struct SnoozeChange {
  bool bRaid;
  bool bSystem;
};

// Stores a changed time or type in the copies of both alarms.
SnoozeChange UpdateSnoozeCopies(DWORD dwSnoozeTime, DWORD dwSnoozeType);

// The local hour of now (0 to 23), or -1 when the time cannot be converted.
int LocalHour();

// A snooze of type 0 ends when the local hour reaches its time: the type is written back
// as -1 (the copies follow at the next cycle).
void EndHourlySnoozeIfDue(RegHandle &config, DWORD dwSnoozeTime, DWORD dwSnoozeType);

// Tells a running alarm thread to take its snooze type again.
void RequestSnoozeReload(CRITICAL_SECTION &cs, std::atomic<int> &bReload);

}  // namespace quillet
