#include "monitor/system_status.h"

#include <cstdio>

#include "monitor/IndicatorState.h"
#include "monitor/status_code.h"
#include "service/EventLogWriter.h"
#include "service/RegHandle.h"
#include "service/ServiceIdentity.h"

namespace quillet {
namespace {

constexpr DWORD kSystemNormalId = 0x40000064;
constexpr DWORD kSystemWarningId = 0x800000C8;
constexpr DWORD kSystemErrorId = 0xC000012C;
constexpr const char *kSystemWarningFormat =
    "システムステータスを「警告あり」へ移行しました"
    "(ハードウェア = %s、運用 = %s、HDD = %s)。";
constexpr const char *kSystemErrorFormat =
    "システムステータスを「エラーあり」へ移行しました"
    "(ハードウェア = %s、運用 = %s、HDD = %s)。";

bool HasError(const GroupFlags &flags) {
  return flags.bHardwareError || flags.bDiskError || flags.bOperationError;
}

bool HasWarning(const GroupFlags &flags) {
  return flags.bHardwareWarning || flags.bDiskWarning || flags.bOperationWarning;
}

// The text of a warning or error status, with the groups' texts filled in.
void WriteGroupsMessage(WORD wType, DWORD dwEventId, const char *pszFormat,
                        const GroupFlags &flags) {
  char szText[256];
  std::snprintf(szText, sizeof szText, pszFormat,
                GroupText(flags.bHardwareWarning, flags.bHardwareError),
                GroupText(flags.bOperationWarning, flags.bOperationError),
                GroupText(flags.bDiskWarning, flags.bDiskError));
  WriteEventLog(kEventSource, wType, dwEventId, szText);
}

}  // namespace

int SystemStatusOf(const GroupFlags &flags, bool bRaidShown) {
  if (bRaidShown || HasError(flags)) return kSystemError;
  return HasWarning(flags) ? kSystemWarning : kSystemNormal;
}

void UpdateErrorPresent(const GroupFlags &flags) {
  bool bError = HasError(flags);
  if (bError && ErrorPresent() == 0) InterlockedExchange(&g_lErrorPresent, 1);
  if (!bError && ErrorPresent() == 1) InterlockedExchange(&g_lErrorPresent, 0);
}

void PublishStatusValues(RegHandle &config, int nSystemStatus, const ComponentCodes &codes) {
  config.SetDword("SystemStatus", static_cast<DWORD>(nSystemStatus));
  config.SetDword("CpuTempStatus", static_cast<DWORD>(codes.nCpuTemp));
  config.SetDword("CpuFanStatus", static_cast<DWORD>(codes.nCpuFan));
  config.SetDword("SystemTempStatus", static_cast<DWORD>(codes.nSystemTemp));
  config.SetDword("BackupStatus", static_cast<DWORD>(codes.nBackup));
  config.SetDword("VolSpaceStatus", static_cast<DWORD>(codes.nFreeSpace));
}

const char *GroupText(bool bWarning, bool bError) {
  if (bError) return "エラーあり";
  return bWarning ? "警告あり" : "正常";
}

void ReportSystemTransition(int nSystemStatus, const GroupFlags &flags) {
  if (nSystemStatus != LastStatus.nSystem) {
    if (nSystemStatus == kSystemNormal)
      WriteEventLog(kEventSource, EVENTLOG_INFORMATION_TYPE, kSystemNormalId,
                    "システムステータスを「正常」へ移行しました。");
    else if (nSystemStatus == kSystemWarning)
      WriteGroupsMessage(EVENTLOG_WARNING_TYPE, kSystemWarningId, kSystemWarningFormat, flags);
    else
      WriteGroupsMessage(EVENTLOG_ERROR_TYPE, kSystemErrorId, kSystemErrorFormat, flags);
  }
  LastStatus.nSystem = nSystemStatus;
}

}  // namespace quillet
