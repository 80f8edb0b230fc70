#include "monitor/component_status.h"

#include <cstdio>
#include <initializer_list>

#include "monitor/IndicatorState.h"
#include "monitor/status_code.h"
#include "service/EventLogWriter.h"
#include "service/ServiceIdentity.h"

namespace quillet {
namespace {

// ---- Codes -----------------------------------------------------------------------------------

// CPU and system temperature: a reading at or above a level reaches it; the error level is
// tested last and wins.
int TemperatureCode(const HardwareReading &reading, int nComponent, DWORD dwWarn, DWORD dwErr) {
  if (reading.nCode != StatusCode(nComponent, kNormal) || reading.nValue == -1)
    return reading.nCode;
  DWORD dwDegrees = static_cast<DWORD>(reading.nValue);
  int nCode = reading.nCode;
  if (dwDegrees >= dwWarn) nCode = StatusCode(nComponent, kWarning);
  if (dwDegrees >= dwErr) nCode = StatusCode(nComponent, kError);
  return nCode;
}

// CPU fan: a speed below a level reaches it; a speed the board gave as -1 is an error.
int FanCode(const HardwareReading &reading, DWORD dwWarn, DWORD dwErr) {
  if (reading.nCode != StatusCode(kCpuFan, kNormal)) return reading.nCode;
  if (reading.nValue == -1) return StatusCode(kCpuFan, kError);
  DWORD dwSpeed = static_cast<DWORD>(reading.nValue);
  int nCode = reading.nCode;
  if (dwSpeed < dwWarn) nCode = StatusCode(kCpuFan, kWarning);
  if (dwSpeed < dwErr) nCode = StatusCode(kCpuFan, kError);
  return nCode;
}

bool SmartRead(const HddInfo &hdd, LONG lStatus) {
  return hdd.Bus != -1 && lStatus != HDD_STATUS_NO_PATH && lStatus != HDD_STATUS_NO_HANDLE;
}

// Pending or uncorrectable sectors are a warning; attribute 5 at or below its threshold an
// error. Judged only when all five figures were read.
int SmartCode(const HddInfo &hdd, LONG lStatus) {
  for (LONG lField : {hdd.Raw05, hdd.Cur05, hdd.Th05, hdd.RawC5, hdd.RawC6})
    if (lField == -1) return lStatus;
  int nCode = lStatus;
  if (hdd.RawC5 != 0 || hdd.RawC6 != 0) nCode = StatusCode(kHddSmart, kWarning);
  if (static_cast<DWORD>(hdd.Cur05) <= static_cast<DWORD>(hdd.Th05))
    nCode = StatusCode(kHddSmart, kError);
  return nCode;
}

int HddTempCode(const HddInfo &hdd, const Thresholds &thresholds) {
  int nCode = StatusCode(kHddTemp, kNormal);
  if (hdd.Temp == -1) return nCode;
  DWORD dwDegrees = static_cast<DWORD>(hdd.Temp);
  if (dwDegrees >= thresholds.dwDiskTempWarn) nCode = StatusCode(kHddTemp, kWarning);
  if (dwDegrees >= thresholds.dwDiskTempErr) nCode = StatusCode(kHddTemp, kError);
  return nCode;
}

// ---- Messages --------------------------------------------------------------------------------

struct TransitionMessage {
  int nCode;
  WORD wType;
  DWORD dwEventId;
  const char *pszFormat;
};

// The message written on entering each code. A hardware error (x500) carries the id of the
// component's error state; both SMART read failures carry the id of 22400. Codes without an
// entry (x400, x600) write nothing.
constexpr TransitionMessage kMessages[] = {
    {11100, EVENTLOG_INFORMATION_TYPE, 0x40002B5C,
     "CPU 温度ステータスを「正常」へ移行しました (CPU温度 = %d℃)"},
    {11200, EVENTLOG_WARNING_TYPE, 0x80002BC0,
     "CPU 温度ステータスを「警告」へ移行しました (CPU温度 = %d℃)"},
    {11300, EVENTLOG_ERROR_TYPE, 0xC0002C24,
     "CPU 温度ステータスを「エラー」へ移行しました (CPU温度 = %d℃)"},
    {11500, EVENTLOG_ERROR_TYPE, 0xC0002C24,
     "CPU 温度ステータスを「エラー」へ移行しました (ハードエラー)"},
    {12100, EVENTLOG_INFORMATION_TYPE, 0x40002F44,
     "CPU ファン回転ステータスを「正常」へ移行しました (CPUファン回転数 = %d)"},
    {12200, EVENTLOG_WARNING_TYPE, 0x80002FA8,
     "CPU ファン回転ステータスを「警告」へ移行しました (CPUファン回転数 = %d)"},
    {12300, EVENTLOG_ERROR_TYPE, 0xC000300C,
     "CPU ファン回転ステータスを「エラー」へ移行しました (CPUファン回転数 = %d)"},
    {12500, EVENTLOG_ERROR_TYPE, 0xC000300C,
     "CPU ファン回転ステータスを「エラー」へ移行しました (ハードエラー)"},
    {13100, EVENTLOG_INFORMATION_TYPE, 0x4000332C,
     "システム 温度ステータスを「正常」へ移行しました (システム温度 = %d℃)"},
    {13200, EVENTLOG_WARNING_TYPE, 0x80003390,
     "システム 温度ステータスを「警告」へ移行しました (システム温度 = %d℃)"},
    {13300, EVENTLOG_ERROR_TYPE, 0xC00033F4,
     "システム 温度ステータスを「エラー」へ移行しました (システム温度 = %d℃)"},
    {13500, EVENTLOG_ERROR_TYPE, 0xC00033F4,
     "システム 温度ステータスを「エラー」へ移行しました (ハードエラー)"},
    {21100, EVENTLOG_INFORMATION_TYPE, 0x4000526C,
     "HDD 温度ステータスを「正常」へ移行しました (HDD%d温度 = %d℃)"},
    {21200, EVENTLOG_WARNING_TYPE, 0x800052D0,
     "HDD 温度ステータスを「警告」へ移行しました (HDD%d温度 = %d℃)"},
    {21300, EVENTLOG_ERROR_TYPE, 0xC0005334,
     "HDD 温度ステータスを「エラー」へ移行しました (HDD%d温度 = %d℃)"},
    {22100, EVENTLOG_INFORMATION_TYPE, 0x40005654,
     "HDD SMARTステータスを「正常」へ移行しました "
     "(HDD%d修復済み = %d、読み込み不安定 = %d、修復が必要 = %d)"},
    {22200, EVENTLOG_WARNING_TYPE, 0x800056B8,
     "HDD SMARTステータスを「警告」へ移行しました "
     "(HDD%d修復済み = %d、読み込み不安定 = %d、修復が必要 = %d)"},
    {22300, EVENTLOG_ERROR_TYPE, 0xC000571C,
     "HDD SMARTステータスを「エラー」へ移行しました "
     "(HDD%d修復済み = %d、読み込み不安定 = %d、修復が必要 = %d)"},
    {22400, EVENTLOG_WARNING_TYPE, 0x80005780,
     "HDD SMARTステータスの確認に失敗しました (デバイスパスの取得に失敗)"},
    {22500, EVENTLOG_WARNING_TYPE, 0x80005780,
     "HDD SMARTステータスの確認に失敗しました (デバイスハンドルの取得に失敗)"},
    {31100, EVENTLOG_INFORMATION_TYPE, 0x4000797C,
     "バックアップステータスを「正常」へ移行しました"},
    {31300, EVENTLOG_ERROR_TYPE, 0xC0007A44, "バックアップステータスを「エラー」へ移行しました"},
    {32100, EVENTLOG_INFORMATION_TYPE, 0x40007D64, "空き容量ステータスを「正常」へ移行しました"},
    {32200, EVENTLOG_WARNING_TYPE, 0x80007DC8, "空き容量ステータスを「警告」へ移行しました"},
};

constexpr DWORD kSmartDeadlineId = 0xC00057E4;
constexpr const char *kSmartDeadlineText =
    "HDD SMARTステータスの確認に失敗したまま、規定時間が経過しました。";

// Writes the message of `nCode` with the arguments its text takes (the others are ignored).
void WriteTransitionMessage(int nCode, int nArg1 = 0, int nArg2 = 0, int nArg3 = 0, int nArg4 = 0) {
  for (const TransitionMessage &message : kMessages) {
    if (message.nCode != nCode) continue;
    char szText[256];
    std::snprintf(szText, sizeof szText, message.pszFormat, nArg1, nArg2, nArg3, nArg4);
    WriteEventLog(kEventSource, message.wType, message.dwEventId, szText);
    return;
  }
}

bool IsSmartReadFailure(int nCode) {
  return nCode == HDD_STATUS_NO_PATH || nCode == HDD_STATUS_NO_HANDLE;
}

// A component with one reading in its messages.
void ReportReading(int nCode, int &nLast, const HardwareReading &reading) {
  if (nCode != nLast) WriteTransitionMessage(nCode, reading.nValue);
  nLast = nCode;
}

void ReportPlain(int nCode, int &nLast) {
  if (nCode != nLast) WriteTransitionMessage(nCode);
  nLast = nCode;
}

void ReportHddTemp(int nBay, int nCode, const HddInfo &hdd) {
  if (nCode != LastStatus.anHddTemp[nBay])
    WriteTransitionMessage(nCode, nBay, static_cast<int>(hdd.Temp));
  LastStatus.anHddTemp[nBay] = nCode;
}

// The deadline stands for the read failures that were armed and are not yet reported. It keeps
// its time only while one of them goes on: a bay whose read works again is no longer armed,
// and once no armed failure is left the deadline is dropped, before the bays are reported, so
// that a failure that starts in this cycle gets its own message and its own time.
void DisarmEndedReadFailures(const ComponentCodes &codes) {
  bool bArmedFailureGoesOn = false;
  for (int nBay = 0; nBay < HDD_BAY_COUNT; ++nBay) {
    if (!IsSmartReadFailure(codes.anHddSmart[nBay])) g_abSmartFailArmed[nBay] = false;
    bArmedFailureGoesOn = bArmedFailureGoesOn || g_abSmartFailArmed[nBay];
  }
  if (!bArmedFailureGoesOn) g_tSmartFailDeadline = 0;
}

// A read failure is reported once and arms the deadline, unless it is armed already; either
// way the bay's failure is armed until the deadline reports it.
void ReportHddSmart(int nBay, int nCode, const HddInfo &hdd, std::int64_t tNow) {
  if (nCode != LastStatus.anHddSmart[nBay]) {
    if (IsSmartReadFailure(nCode)) {
      if (g_tSmartFailDeadline == 0) {
        WriteTransitionMessage(nCode);
        g_tSmartFailDeadline = tNow + g_nCheckLogInterval;
      }
      g_abSmartFailArmed[nBay] = true;
    } else {
      WriteTransitionMessage(nCode, nBay, static_cast<int>(hdd.Raw05), static_cast<int>(hdd.RawC5),
                             static_cast<int>(hdd.RawC6));
    }
  }
  LastStatus.anHddSmart[nBay] = nCode;
}

// The deadline reports every failure armed under it; one that goes on stays silent after.
bool ReportSmartDeadline(std::int64_t tNow) {
  if (g_tSmartFailDeadline == 0 || tNow < g_tSmartFailDeadline) return false;
  WriteEventLog(kEventSource, EVENTLOG_ERROR_TYPE, kSmartDeadlineId, kSmartDeadlineText);
  g_tSmartFailDeadline = 0;
  for (bool &bArmed : g_abSmartFailArmed) bArmed = false;
  return true;
}

// ---- Groups ----------------------------------------------------------------------------------

// A hardware reading that failed counts too: otherwise (x600) as a warning, a hardware
// error (x500) as an error; one the board does not support (x400) as nothing.
bool IsHardwareWarning(int nCode) {
  return StateOf(nCode) == kWarning || StateOf(nCode) == kReadFailed;
}
bool IsHardwareError(int nCode) {
  return StateOf(nCode) == kError || StateOf(nCode) == kHardwareError;
}

}  // namespace

ComponentCodes EvaluateComponents(const HardwareReadings &readings, const HddReport &disks,
                                  const Thresholds &thresholds, const OperationInputs &operation) {
  ComponentCodes codes;
  codes.nCpuTemp = TemperatureCode(readings.cpuTemp, kCpuTemp, thresholds.dwCpuTempWarn,
                                   thresholds.dwCpuTempErr);
  codes.nCpuFan = FanCode(readings.cpuFan, thresholds.dwCpuFanWarn, thresholds.dwCpuFanErr);
  codes.nSystemTemp = TemperatureCode(readings.systemTemp, kSystemTemp, thresholds.dwSystemTempWarn,
                                      thresholds.dwSystemTempErr);
  for (int nBay = 0; nBay < HDD_BAY_COUNT; ++nBay) {
    const HddInfo &hdd = disks.Hdd[nBay];
    bool bRead = SmartRead(hdd, disks.Status[nBay]);
    codes.anHddTemp[nBay] = bRead ? HddTempCode(hdd, thresholds) : StatusCode(kHddTemp, kNormal);
    codes.anHddSmart[nBay] = bRead ? SmartCode(hdd, disks.Status[nBay]) : disks.Status[nBay];
  }
  codes.nBackup = StatusCode(kBackup, operation.dwBackupStatus == 2 ? kError : kNormal);
  bool bShortOfSpace =
      operation.dwWarnDrive != kMissing && (operation.dwWarnDrive & 0x00FFFFFF) != 0;
  codes.nFreeSpace = StatusCode(kFreeSpace, bShortOfSpace ? kWarning : kNormal);
  return codes;
}

GroupFlags GroupFlagsOf(const ComponentCodes &codes) {
  GroupFlags flags{};
  for (int nCode : {codes.nCpuTemp, codes.nCpuFan, codes.nSystemTemp}) {
    flags.bHardwareWarning = flags.bHardwareWarning || IsHardwareWarning(nCode);
    flags.bHardwareError = flags.bHardwareError || IsHardwareError(nCode);
  }
  for (int nBay = 0; nBay < HDD_BAY_COUNT; ++nBay) {
    for (int nCode : {codes.anHddTemp[nBay], codes.anHddSmart[nBay]}) {
      flags.bDiskWarning = flags.bDiskWarning || StateOf(nCode) == kWarning;
      flags.bDiskError = flags.bDiskError || StateOf(nCode) == kError;
    }
  }
  flags.bOperationError = StateOf(codes.nBackup) == kError;
  flags.bOperationWarning = StateOf(codes.nFreeSpace) == kWarning;
  return flags;
}

bool ReportComponentTransitions(const ComponentCodes &codes, const HardwareReadings &readings,
                                const HddReport &disks, std::int64_t tNow) {
  ReportReading(codes.nCpuTemp, LastStatus.nCpuTemp, readings.cpuTemp);
  ReportReading(codes.nCpuFan, LastStatus.nCpuFan, readings.cpuFan);
  ReportReading(codes.nSystemTemp, LastStatus.nSystemTemp, readings.systemTemp);
  DisarmEndedReadFailures(codes);
  for (int nBay = 0; nBay < HDD_BAY_COUNT; ++nBay) {
    ReportHddTemp(nBay, codes.anHddTemp[nBay], disks.Hdd[nBay]);
    ReportHddSmart(nBay, codes.anHddSmart[nBay], disks.Hdd[nBay], tNow);
  }
  bool bDeadlinePassed = ReportSmartDeadline(tNow);
  ReportPlain(codes.nBackup, LastStatus.nBackup);
  ReportPlain(codes.nFreeSpace, LastStatus.nFreeSpace);
  return bDeadlinePassed;
}

}  // namespace quillet
