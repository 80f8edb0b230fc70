// The system status: the groups' warnings and errors folded into one status (100 normal, 200
// warning, 300 error), the values published for the management tools, and the message written
// when the status changes.
#pragma once

#include "monitor/component_status.h"

class RegHandle;

namespace quillet {

// Error if any group has an error, else warning if any has a warning, else normal. A running
// RAID alarm or RAID blink (`bRaidShown`) makes the status an error whatever the groups say.
int SystemStatusOf(const GroupFlags &flags, bool bRaidShown);

// Keeps g_lErrorPresent at 1 while a component is in error, changing it by atomic exchange
// (the system alarm thread reads it while it runs).
void UpdateErrorPresent(const GroupFlags &flags);

// Writes "SystemStatus", "CpuTempStatus", "CpuFanStatus", "SystemTempStatus", "BackupStatus"
// and "VolSpaceStatus" into the configuration key, in this order.
void PublishStatusValues(RegHandle &config, int nSystemStatus, const ComponentCodes &codes);

// A group's text in the message: an error outweighs a warning.
const char *GroupText(bool bWarning, bool bError);

// Writes the message of a status that differs from the last cycle's, and remembers it.
void ReportSystemTransition(int nSystemStatus, const GroupFlags &flags);

}  // namespace quillet
