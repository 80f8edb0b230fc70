#include "monitor/indicator_threads.h"

#include "monitor/Brackle.h"
#include "monitor/IndicatorState.h"
#include "monitor/NASBeep.h"

namespace {

constexpr DWORD kSuspendPollMs = 500;
constexpr DWORD kHalfBlinkMs = 500;
constexpr DWORD kAlarmPassMs = 1000;
constexpr int kAlarmRepeatPasses = 300;  // a repeat follows 301 one-second passes

// Sits out a suspension. Returns false when the thread was asked to stop meanwhile: a stop
// can come during a suspend that never ends, and the thread must then end without another
// pass instead of holding the stop up for good.
bool WaitWhileSuspended(CRITICAL_SECTION &csRun, const std::atomic<int> &bRun) {
  while (ReadFlag(g_csSuspended, g_bSuspended) == 1) {
    if (ReadFlag(csRun, bRun) == 0) return false;
    Sleep(kSuspendPollMs);
  }
  return true;
}

// The frame every indicator thread shares: an optional start-up step, then passes until the
// run flag is found cleared at the end of one.
template <typename StartUp, typename Body>
DWORD RunIndicator(CRITICAL_SECTION &csRun, const std::atomic<int> &bRun, StartUp startUp,
                   Body body) {
  startUp();
  do {
    if (!WaitWhileSuspended(csRun, bRun)) break;
    body();
  } while (ReadFlag(csRun, bRun) == 1);
  return 0;
}

// One blink pass: half a second in the first pattern, half a second in the second. Without
// the board the pass writes nothing but still lasts its second, so the thread does not spin.
void BlinkPass(void (*first)(), void (*second)()) {
  if (g_bBoardReady != 1) {
    Sleep(2 * kHalfBlinkMs);
    return;
  }
  Sleep(kHalfBlinkMs);
  first();
  Sleep(kHalfBlinkMs);
  second();
}

void WriteRaidLeds(std::uint8_t byLevelA, std::uint8_t byLevelB) {
  BRKGpio_Write(BRK_PIN_RAID_LED_A, byLevelA);
  BRKGpio_Write(BRK_PIN_RAID_LED_B, byLevelB);
}

void RaidLedsDark() {
  if (g_bBoardReady == 1) WriteRaidLeds(BRK_LEVEL_DARK, BRK_LEVEL_DARK);
}

// The repeat logic of an alarm thread: a snoozed alarm (type 0 or 1) only waits; otherwise the
// sound repeats after 301 one-second passes.
class AlarmRepeat {
 public:
  AlarmRepeat(CRITICAL_SECTION &csReload, std::atomic<int> &bReload,
              const std::atomic<int> &nSnoozeCopy)
      : m_csReload(csReload),
        m_bReload(bReload),
        m_nSnoozeCopy(nSnoozeCopy),
        m_nSnoozeType(nSnoozeCopy) {}

  // One pass; returns true when this pass is a repeat point (the caller may sound).
  bool Pass() {
    TakeReloadedSnooze();
    if (m_nSnoozeType == 0 || m_nSnoozeType == 1) {
      Sleep(kAlarmPassMs);
      m_nCounter = 0;
      return false;
    }
    if (m_nCounter <= kAlarmRepeatPasses) {
      Sleep(kAlarmPassMs);
      ++m_nCounter;
      return false;
    }
    m_nCounter = 0;
    return true;
  }

 private:
  void TakeReloadedSnooze() {
    EnterCriticalSection(&m_csReload);
    if (m_bReload == 1) {
      m_nSnoozeType = m_nSnoozeCopy;
      m_bReload = 0;
    }
    LeaveCriticalSection(&m_csReload);
  }

  CRITICAL_SECTION &m_csReload;
  std::atomic<int> &m_bReload;
  const std::atomic<int> &m_nSnoozeCopy;
  int m_nSnoozeType;
  int m_nCounter = 0;
};

// The system alarm stays silent while the RAID alarm runs, and while the RAID LEDs blink
// together unless a component is in error.
bool SystemAlarmMaySound() {
  return g_bRaidAlarmRun == 0 && (g_bRaidBlinkRun == 0 || ErrorPresent() != 0);
}

}  // namespace

DWORD WINAPI RaidAlarmThread(LPVOID pParam) {
  (void)pParam;
  NASBeep beep;
  AlarmRepeat repeat(g_csRaidSnoozeReload, g_bRaidSnoozeReload, g_nRaidSnoozeType);
  return RunIndicator(
      g_csRaidAlarmRun, g_bRaidAlarmRun, [&] { beep.PlayRaidAlarm(); },
      [&] {
        if (repeat.Pass()) beep.PlayRaidAlarm();
      });
}

DWORD WINAPI SystemAlarmThread(LPVOID pParam) {
  (void)pParam;
  NASBeep beep;
  AlarmRepeat repeat(g_csSysSnoozeReload, g_bSysSnoozeReload, g_nSysSnoozeType);
  return RunIndicator(
      g_csSysAlarmRun, g_bSysAlarmRun,
      [&] {
        if (SystemAlarmMaySound()) beep.PlaySystemAlarm();
      },
      [&] {
        if (repeat.Pass() && SystemAlarmMaySound()) beep.PlaySystemAlarm();
      });
}

DWORD WINAPI RaidAltBlinkThread(LPVOID pParam) {
  (void)pParam;
  return RunIndicator(g_csRaidAltBlinkRun, g_bRaidAltBlinkRun, RaidLedsDark, [] {
    BlinkPass([] { WriteRaidLeds(BRK_LEVEL_LIT, BRK_LEVEL_DARK); },
              [] { WriteRaidLeds(BRK_LEVEL_DARK, BRK_LEVEL_LIT); });
  });
}

DWORD WINAPI RaidBlinkThread(LPVOID pParam) {
  (void)pParam;
  return RunIndicator(g_csRaidBlinkRun, g_bRaidBlinkRun, RaidLedsDark, [] {
    BlinkPass([] { WriteRaidLeds(BRK_LEVEL_LIT, BRK_LEVEL_LIT); },
              [] { WriteRaidLeds(BRK_LEVEL_DARK, BRK_LEVEL_DARK); });
  });
}

DWORD WINAPI StatusBlinkThread(LPVOID pParam) {
  (void)pParam;
  return RunIndicator(
      g_csStatusBlinkRun, g_bStatusBlinkRun, [] {},
      [] {
        BlinkPass([] { BRKGpio_Write(BRK_PIN_STATUS_LED, BRK_LEVEL_LIT); },
                  [] { BRKGpio_Write(BRK_PIN_STATUS_LED, BRK_LEVEL_DARK); });
      });
}
