// The health evaluation of each cycle, which ends in the status LED and the system alarm.
#include <ctime>

#include "monitor/Brackle.h"
#include "monitor/CQuilletCtrl.h"
#include "monitor/IndicatorState.h"
#include "monitor/component_status.h"
#include "monitor/config.h"
#include "monitor/health_inputs.h"
#include "monitor/snooze.h"
#include "monitor/status_code.h"
#include "monitor/system_status.h"
#include "service/RegHandle.h"

void CQuilletCtrl::EvaluateHealth(bool bSysSnoozeChanged, DWORD dwSnoozeType, DWORD dwSnoozeTime) {
  int bSysAlarmRun = IsIndicatorRunning(kSysAlarm);
  int bStatusBlinkRun = IsIndicatorRunning(kStatusBlink);
  RegHandle config(HKEY_LOCAL_MACHINE, quillet::kConfigKey);
  if (!config.KeyExists(HKEY_LOCAL_MACHINE, quillet::kConfigKey)) {
    // Without its configuration the service evaluates and publishes nothing, and shows
    // nothing: alarm off, status LED dark.
    ShowSystemStatus(quillet::kSystemNormal, bSysAlarmRun, bStatusBlinkRun);
    return;
  }
  quillet::EndHourlySnoozeIfDue(config, dwSnoozeTime, dwSnoozeType);
  if (bSysSnoozeChanged && bSysAlarmRun == 1)
    quillet::RequestSnoozeReload(g_csSysSnoozeReload, g_bSysSnoozeReload);

  quillet::HardwareReadings readings = quillet::ReadHardwareMonitor();
  quillet::PublishHardwareReadings(config, readings);
  HddReport disks = CollectDiskSmart(config);
  quillet::Thresholds thresholds = quillet::ReadThresholds(config);
  quillet::OperationInputs operation = quillet::ReadOperationInputs(config);

  quillet::ComponentCodes codes =
      quillet::EvaluateComponents(readings, disks, thresholds, operation);
  quillet::GroupFlags flags = quillet::GroupFlagsOf(codes);
  if (quillet::ReportComponentTransitions(codes, readings, disks, time(nullptr)))
    flags.bDiskWarning = true;  // a SMART read failure that lasted: for this cycle only

  quillet::UpdateErrorPresent(flags);
  // The RAID threads' flags are changed only on this thread, by this cycle's RAID step.
  int nStatus = quillet::SystemStatusOf(flags, g_bRaidAlarmRun == 1 || g_bRaidBlinkRun == 1);
  quillet::PublishStatusValues(config, nStatus, codes);
  quillet::ReportSystemTransition(nStatus, flags);
  ShowSystemStatus(nStatus, bSysAlarmRun, bStatusBlinkRun);
  // Back to normal, the alarms are no longer snoozed: a snooze read in this cycle is cleared,
  // also one that ended this hour above (the same value, written again).
  if (nStatus == quillet::kSystemNormal && dwSnoozeType != quillet::kMissing)
    config.SetDword("LedSnoozeType", quillet::kMissing);
}

void CQuilletCtrl::ShowSystemStatus(int nSystemStatus, int bSysAlarmRun, int bStatusBlinkRun) {
  if (nSystemStatus == quillet::kSystemWarning) {
    StopIndicatorIfRunning(kSysAlarm, bSysAlarmRun);
    StartIndicatorIfStopped(kStatusBlink, bStatusBlinkRun);
    return;
  }
  bool bError = nSystemStatus == quillet::kSystemError;
  if (bError)
    StartIndicatorIfStopped(kSysAlarm, bSysAlarmRun);
  else
    StopIndicatorIfRunning(kSysAlarm, bSysAlarmRun);
  // The blink thread ends before the LED is set, so that its last write cannot undo this one.
  StopIndicatorIfRunning(kStatusBlink, bStatusBlinkRun);
  if (g_bBoardReady == 1)
    BRKGpio_Write(BRK_PIN_STATUS_LED, bError ? BRK_LEVEL_LIT : BRK_LEVEL_DARK);
}
