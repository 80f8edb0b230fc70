#include "monitor/health_inputs.h"

#include "monitor/Brackle.h"
#include "monitor/IndicatorState.h"
#include "monitor/config.h"
#include "monitor/status_code.h"
#include "service/RegHandle.h"

namespace quillet {
namespace {

constexpr HardwareReading NotRead(int nComponent, int nState) {
  return {-1, StatusCode(nComponent, nState)};
}

HardwareReading FailedReading(int nComponent, std::int32_t nResult) {
  if (nResult == BRK_ERR_NOT_SUPPORTED) return NotRead(nComponent, kNotSupported);
  if (nResult == BRK_ERR_HARDWARE) return NotRead(nComponent, kHardwareError);
  return NotRead(nComponent, kReadFailed);
}

HardwareReading FanReading() {
  std::int32_t nSpeed = -1;
  std::int32_t nResult = BRKHwmCpu_GetFanSpeed(&nSpeed);
  if (nResult != BRK_SUCCESS) return FailedReading(kCpuFan, nResult);
  return {nSpeed, StatusCode(kCpuFan, kNormal)};
}

// A temperature in whole degrees, truncated toward zero. A value no int can hold (not a
// number, or beyond the int range) is no temperature: it counts as a failed reading rather
// than being converted, which would be undefined.
HardwareReading TemperatureReading(int nComponent, std::int32_t (*pfnRead)(double *)) {
  double dDegrees = 0.0;
  std::int32_t nResult = pfnRead(&dDegrees);
  if (nResult != BRK_SUCCESS) return FailedReading(nComponent, nResult);
  if (!(dDegrees > -2147483649.0 && dDegrees < 2147483648.0))
    return NotRead(nComponent, kReadFailed);
  return {static_cast<int>(dDegrees), StatusCode(nComponent, kNormal)};
}

}  // namespace

HardwareReadings ReadHardwareMonitor() {
  if (g_bBoardReady != 1)
    return {NotRead(kCpuFan, kReadFailed), NotRead(kCpuTemp, kReadFailed),
            NotRead(kSystemTemp, kReadFailed)};
  HardwareReadings readings;
  readings.cpuFan = FanReading();
  readings.cpuTemp = TemperatureReading(kCpuTemp, BRKHwmCpu_GetTemperature);
  readings.systemTemp = TemperatureReading(kSystemTemp, BRKHwmSystem_GetTemperature);
  return readings;
}

void PublishHardwareReadings(RegHandle &config, const HardwareReadings &readings) {
  config.SetDword("CpuFan", static_cast<DWORD>(readings.cpuFan.nValue));
  config.SetDword("CpuTemp", static_cast<DWORD>(readings.cpuTemp.nValue));
  config.SetDword("SystemTemp", static_cast<DWORD>(readings.systemTemp.nValue));
}

OperationInputs ReadOperationInputs(RegHandle &config) {
  OperationInputs inputs;
  inputs.dwBackupStatus = config.GetDword(HKEY_LOCAL_MACHINE, kBackupCheckKey, "BackupStatus");
  inputs.dwWarnDrive = config.GetDword(HKEY_LOCAL_MACHINE, kFreeSpaceCheckKey, "WarnDrive");
  return inputs;
}

}  // namespace quillet
