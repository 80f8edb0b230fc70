// The RAID LEDs and the RAID alarm, driven by the RAID-check service's values.
#include "monitor/Brackle.h"
#include "monitor/CQuilletCtrl.h"
#include "monitor/IndicatorState.h"
#include "monitor/config.h"
#include "monitor/snooze.h"
#include "service/RegHandle.h"

namespace {

// Bits of "SRaidInfoEx" (named apart from the indicator threads of the service class).
constexpr DWORD kInfoNormal = 0x1;
constexpr DWORD kInfoError = 0x2;
constexpr DWORD kInfoAltBlink = 0x4;
constexpr DWORD kInfoErrorBlink = 0x8;
constexpr DWORD kInfoLedALit = 0x20;
constexpr DWORD kInfoLedBLit = 0x200;
constexpr DWORD kInfoBlink = 0x100000;

// "RaidStatus" codes that light both RAID LEDs.
bool LightsBothLeds(DWORD dwRaidStatus) {
  return dwRaidStatus == 2 || dwRaidStatus == 4 || dwRaidStatus == 8 || dwRaidStatus == 16;
}

std::uint8_t LevelFor(bool bLit) {
  return bLit ? BRK_LEVEL_LIT : BRK_LEVEL_DARK;
}

void DarkenRaidLeds() {
  if (g_bBoardReady != 1) return;
  BRKGpio_Write(BRK_PIN_RAID_LED_A, BRK_LEVEL_DARK);
  BRKGpio_Write(BRK_PIN_RAID_LED_B, BRK_LEVEL_DARK);
}

}  // namespace

void CQuilletCtrl::UpdateRaidIndicators(bool bRaidSnoozeChanged) {
  int bAlarmRun = IsIndicatorRunning(kRaidAlarm);
  int bAltBlinkRun = IsIndicatorRunning(kRaidAltBlink);
  int bBlinkRun = IsIndicatorRunning(kRaidBlink);

  RegHandle raid(HKEY_LOCAL_MACHINE, quillet::kRaidCheckKey);
  auto showNothing = [&] {
    StopIndicatorIfRunning(kRaidAlarm, bAlarmRun);
    StopIndicatorIfRunning(kRaidAltBlink, bAltBlinkRun);
    StopIndicatorIfRunning(kRaidBlink, bBlinkRun);
    DarkenRaidLeds();
  };
  if (!raid.KeyExists(HKEY_LOCAL_MACHINE, quillet::kRaidCheckKey)) {
    // No RAID information: nothing RAID-related is shown.
    showNothing();
    return;
  }
  DWORD dwInfo = raid.GetDword("SRaidInfoEx");
  if (dwInfo == quillet::kMissing) dwInfo = 0;
  if (bRaidSnoozeChanged && bAlarmRun == 1)
    quillet::RequestSnoozeReload(g_csRaidSnoozeReload, g_bRaidSnoozeReload);

  // The first row whose bit is set applies.
  if (dwInfo & kInfoError) {
    StartIndicatorIfStopped(kRaidAlarm, bAlarmRun);
    StopIndicatorIfRunning(kRaidAltBlink, bAltBlinkRun);
    StopIndicatorIfRunning(kRaidBlink, bBlinkRun);
    if (g_bBoardReady == 1) {
      DWORD dwStatus = raid.GetDword("RaidStatus");
      bool bBoth = LightsBothLeds(dwStatus);
      BRKGpio_Write(BRK_PIN_RAID_LED_A, LevelFor(bBoth || (dwInfo & kInfoLedALit)));
      BRKGpio_Write(BRK_PIN_RAID_LED_B, LevelFor(bBoth || (dwInfo & kInfoLedBLit)));
    }
  } else if (dwInfo & kInfoErrorBlink) {
    StartIndicatorIfStopped(kRaidAlarm, bAlarmRun);
    StopIndicatorIfRunning(kRaidAltBlink, bAltBlinkRun);
    StartIndicatorIfStopped(kRaidBlink, bBlinkRun);
  } else if (dwInfo & kInfoAltBlink) {
    StopIndicatorIfRunning(kRaidAlarm, bAlarmRun);
    StartIndicatorIfStopped(kRaidAltBlink, bAltBlinkRun);
    StopIndicatorIfRunning(kRaidBlink, bBlinkRun);
  } else if (dwInfo & kInfoBlink) {
    StopIndicatorIfRunning(kRaidAlarm, bAlarmRun);
    StopIndicatorIfRunning(kRaidAltBlink, bAltBlinkRun);
    StartIndicatorIfStopped(kRaidBlink, bBlinkRun);
  } else if (dwInfo & kInfoNormal) {
    showNothing();
  }
}
