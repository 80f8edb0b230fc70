// The health components' states: every cycle derives a status code for each of the nine
// components from that cycle's inputs (no hysteresis), writes a message when a code differs
// from the one of the previous cycle, and tells the system status which groups have a warning
// or an error.
#pragma once

#include <cstdint>

#include "monitor/config.h"
#include "monitor/disk_smart.h"
#include "monitor/health_inputs.h"

namespace quillet {

// The codes of one cycle; index of the disk codes = bay.
struct ComponentCodes {
  int nCpuTemp;
  int nCpuFan;
  int nSystemTemp;
  int anHddTemp[HDD_BAY_COUNT];
  int anHddSmart[HDD_BAY_COUNT];
  int nBackup;
  int nFreeSpace;
};

// Warnings and errors per group: hardware (CPU temperature, fan, system temperature), disks
// (temperature and SMART of both bays), operation (backup, free space).
struct GroupFlags {
  bool bHardwareWarning;
  bool bHardwareError;
  bool bDiskWarning;
  bool bDiskError;
  bool bOperationWarning;
  bool bOperationError;
};

// The codes that the inputs give. Readings are compared with the thresholds as unsigned 32-bit
// numbers, so a negative temperature (other than -1, not read) is past every level.
ComponentCodes EvaluateComponents(const HardwareReadings &readings, const HddReport &disks,
                                  const Thresholds &thresholds, const OperationInputs &operation);

// The groups' warnings and errors as the codes give them.
GroupFlags GroupFlagsOf(const ComponentCodes &codes);

// Writes the message of every component whose code changed since the last cycle, in the fixed
// order, and remembers the codes. A SMART read failure is reported once, then again as an error
// when it has lasted g_nCheckLogInterval seconds (`tNow`: seconds since 1970). Returns true when
// that error was written in this cycle; the disk group then counts a warning for this cycle.
bool ReportComponentTransitions(const ComponentCodes &codes, const HardwareReadings &readings,
                                const HddReport &disks, std::int64_t tNow);

}  // namespace quillet
