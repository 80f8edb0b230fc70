// Announcing a volume: SHChangeNotify and a WM_DEVICECHANGE broadcast with SendMessageTimeoutA,
// as ShellBeacon sends them; a message sent or posted to a window that does not exist; and a
// search for a top-level window that finds nothing.
#include "Conformance.h"

namespace {

using conformance::kMarker;

class Broadcast : public conformance::Fixture {
 protected:
  Broadcast() {
    volume.dbcv_size = sizeof volume;
    volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
    volume.dbcv_unitmask = 1u << 4;
  }
  LRESULT Send(HWND window, PDWORD_PTR result) {
    return SendMessageTimeoutA(window, WM_DEVICECHANGE, DBT_DEVICEARRIVAL,
                               reinterpret_cast<LPARAM>(&volume), SMTO_ABORTIFHUNG, 100, result);
  }

  DEV_BROADCAST_VOLUME volume{};
};

// The last error after a broadcast is whatever delivering it to the windows left behind (under
// Wine 0 or the value before, from run to run), so it is not looked at.
TEST_F(Broadcast, AVolumeArrivalToEveryWindowSucceedsAndNoSuchWindowIsAnInvalidHandle) {
  EXPECT_EQ(Send(HWND_BROADCAST, nullptr), 1);
  DWORD_PTR result = 0x5A5A;
  EXPECT_EQ(Send(HWND_BROADCAST, &result), 1);
  EXPECT_EQ(result, 1u);
  result = 0x5A5A;
  SetLastError(kMarker);
  EXPECT_EQ(Send(reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0x12344)), &result), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
  EXPECT_EQ(result, 0u);
  SetLastError(kMarker);
  EXPECT_FALSE(
      PostMessageW(reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0x7FF0)), WM_CLOSE, 0, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));

  SetLastError(kMarker);
  SHChangeNotify(SHCNE_DRIVEADD, SHCNF_PATHA, "E:\\", nullptr);
  EXPECT_EQ(GetLastError(), kMarker);
  EXPECT_EQ(FindWindowW(TEXT("#32770"), TEXT("Norvane Conformance: no such dialog")), nullptr);
  EXPECT_EQ(GetLastError(), kMarker);
  EXPECT_EQ(FindWindowW(TEXT("NorvaneConformanceNoSuchClass"), nullptr), nullptr);
  EXPECT_EQ(GetLastError(), kMarker);
}

// A message sent or posted to a window that does not exist fails with an invalid window handle;
// the shell's drive notification and a search that finds nothing leave the last error alone.

}  // namespace
