#include "notifier/BroadcastDriveArrival.h"

namespace {

constexpr int kDriveLetters = 26;  // A: to Z:
constexpr DWORD kFirstVersionWithShortTimeout = 6;
constexpr UINT kShortTimeoutMs = 100;
constexpr UINT kLongTimeoutMs = 1000;
constexpr UINT kRepeatTimeoutMs = 200;

// Windows that do not answer within the time-out are skipped; the outcome is not looked at.
void BroadcastVolume(DEV_BROADCAST_VOLUME &volume, UINT uTimeoutMs) {
  SendMessageTimeoutA(HWND_BROADCAST, WM_DEVICECHANGE, DBT_DEVICEARRIVAL,
                      reinterpret_cast<LPARAM>(&volume), SMTO_ABORTIFHUNG, uTimeoutMs, nullptr);
}

}  // namespace

void BroadcastDriveArrival(int nDrive, DWORD dwMajorVersion) {
  if (nDrive < kDriveLetters) {
    char szRoot[] = "A:\\";
    szRoot[0] = static_cast<char>('A' + nDrive);
    SHChangeNotify(SHCNE_DRIVEADD, SHCNF_PATHA, szRoot, nullptr);
  }

  DEV_BROADCAST_VOLUME volume{};
  volume.dbcv_size = sizeof volume;
  volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
  volume.dbcv_reserved = 0;
  volume.dbcv_unitmask = 1u << nDrive;
  volume.dbcv_flags = 0;
  if (dwMajorVersion < kFirstVersionWithShortTimeout) {
    BroadcastVolume(volume, kLongTimeoutMs);
    BroadcastVolume(volume, kRepeatTimeoutMs);
  } else {
    BroadcastVolume(volume, kShortTimeoutMs);
  }
}
