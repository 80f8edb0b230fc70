// The inputs of a health evaluation besides the disks: the board's hardware-monitor readings
// with the first status code each gives its component, published back into the configuration
// key, and the backup and free-space values of the sibling services.
#pragma once

#include "platform/win32.h"

class RegHandle;

namespace quillet {

// One hardware-monitor reading and the first status code of its component: x100 when read,
// x400 when the board does not support it, x500 on a hardware error, x600 on any other failure
// or without a ready board.
struct HardwareReading {
  int nValue;  // rotations per minute or whole degrees Celsius; -1 when not read
  int nCode;
};

struct HardwareReadings {
  HardwareReading cpuFan;
  HardwareReading cpuTemp;
  HardwareReading systemTemp;
};

// Asks the board for the fan speed, the CPU temperature and the system temperature, in this
// order; temperatures are truncated toward zero. Without a ready board nothing is asked.
HardwareReadings ReadHardwareMonitor();

// Writes "CpuFan", "CpuTemp" and "SystemTemp" into the configuration key (-1 when not read).
void PublishHardwareReadings(RegHandle &config, const HardwareReadings &readings);

// What the backup and free-space services report; 0xFFFFFFFF when missing.
struct OperationInputs {
  DWORD dwBackupStatus;  // 2: the backup has failed
  DWORD dwWarnDrive;     // bits 0 to 23: drives short of free space
};

// Reads "BackupStatus", then "WarnDrive", from the sibling services' keys.
OperationInputs ReadOperationInputs(RegHandle &config);

}  // namespace quillet
