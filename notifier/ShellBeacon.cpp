#include "notifier/ShellBeacon.h"

#include "notifier/BroadcastDriveArrival.h"
#include "notifier/Kelpie.h"
#include "platform/win32.h"

namespace {

constexpr DWORD kStartDelayMs = 10000;
constexpr DWORD kSecondMs = 1000;
// The watch ends after this many one-second sleeps, however many volumes qualify per pass.
constexpr int kWatchSeconds = 120;
constexpr std::uint32_t kKelpInterfaceVersion = 6;
// The announced set has one bit per drive number 0 to 31.
constexpr std::int32_t kDriveNumbers = 32;
constexpr int kExitFailed = -1;

// What a run remembers from pass to pass.
struct Watch {
  DWORD dwAnnounced = 0;     // one bit per drive number announced: bit 0 is A:
  int nSeconds = 0;          // one-second sleeps so far
  DWORD dwMajorVersion = 0;  // of Windows, as last read; 0 until read
};

// A volume is announced when the suite mounted it by itself and keeps it mounted, and only
// under a drive number the announced set has a bit for.
bool Qualifies(const _UTL_VOLUME_STATUS &volume) {
  return volume.dwDismounting == 0 && volume.dwAutoMounted == 1 && volume.nDriveNo >= 0 &&
         volume.nDriveNo < kDriveNumbers;
}

// The major version of Windows, or `dwKnown` when it cannot be read.
DWORD ReadMajorVersion(DWORD dwKnown) {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  return GetVersionExA(&info) ? info.dwMajorVersion : dwKnown;
}

void SleepOneSecond(Watch &watch) {
  Sleep(kSecondMs);
  ++watch.nSeconds;
}

// One pass over the suite's volume list: every qualifying volume not announced yet is
// announced, and each qualifying volume costs one second (one when none qualifies). False when
// the list cannot be read.
bool RunPass(void *hKelp, Watch &watch) {
  _UTL_VOLUME_STATUS *pList = nullptr;
  if (kelp_GetVolumeList(hKelp, pList) != 0) return false;
  bool bFound = false;
  for (const _UTL_VOLUME_STATUS *pVolume = pList; pVolume != nullptr; pVolume = pVolume->pNext) {
    watch.dwMajorVersion = ReadMajorVersion(watch.dwMajorVersion);
    if (!Qualifies(*pVolume)) continue;
    const DWORD dwBit = 1u << pVolume->nDriveNo;
    if ((watch.dwAnnounced & dwBit) == 0) {
      BroadcastDriveArrival(pVolume->nDriveNo, watch.dwMajorVersion);
      watch.dwAnnounced |= dwBit;
    }
    SleepOneSecond(watch);
    bFound = true;
  }
  kelp_FreeVolumeList(hKelp, pList);
  if (!bFound) SleepOneSecond(watch);
  return true;
}

}  // namespace

int ShellBeaconMain() {
  _SDK_Kelp_Init_Param param{};
  param.dwSize = sizeof param;
  param.dwVersion = kKelpInterfaceVersion;
  param.pReserved = nullptr;
  void *hKelp = kelp_Init(&param);
  if (hKelp == nullptr) return kExitFailed;

  Sleep(kStartDelayMs);
  Watch watch;
  do {
    // A list that cannot be read ends the program at once; the session goes with the process.
    if (!RunPass(hKelp, watch)) return kExitFailed;
  } while (watch.nSeconds < kWatchSeconds);
  kelp_Release(hKelp);
  return 0;
}
