// GetVersionExA: the world's version of Windows (winsim/SystemVersion.h).
#include <cstring>

#include "core/Call.h"
#include "winsim/SystemVersion.h"
#include "winsim/win32.h"

namespace winsim {

SystemVersion &SystemVersion::of(World &world) {
  return world.part<SystemVersion>();
}

std::optional<WindowsRelease> SystemVersion::release(std::uint32_t major, std::uint32_t minor) {
  static const WindowsRelease kReleases[] = {
      {5, 2, 3790, "Service Pack 2", 2},
      {6, 0, 6002, "Service Pack 2", 2},
      {6, 1, 7601, "Service Pack 1", 1},
      {6, 2, 9200, "", 0},
      {6, 3, 9600, "", 0},
      {10, 0, 19045, "", 0},
  };
  for (const WindowsRelease &r : kReleases)
    if (r.major == major && r.minor == minor) return r;
  return std::nullopt;
}

}  // namespace winsim

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA lpVersionInformation) {
  winsim::Call call("GetVersionExA");
  if (auto e = call.fault({}, ERROR_INSUFFICIENT_BUFFER)) return call.fail(*e);
  DWORD size = lpVersionInformation->dwOSVersionInfoSize;
  if (size != sizeof(OSVERSIONINFOA) && size != sizeof(OSVERSIONINFOEXA))
    return call.fail(ERROR_INSUFFICIENT_BUFFER);
  const winsim::WindowsRelease &r = winsim::SystemVersion::of(call.world).current();
  lpVersionInformation->dwMajorVersion = r.major;
  lpVersionInformation->dwMinorVersion = r.minor;
  lpVersionInformation->dwBuildNumber = r.build;
  lpVersionInformation->dwPlatformId = VER_PLATFORM_WIN32_NT;
  std::memset(lpVersionInformation->szCSDVersion, 0, sizeof lpVersionInformation->szCSDVersion);
  std::memcpy(lpVersionInformation->szCSDVersion, r.service_pack.data(), r.service_pack.size());
  if (size == sizeof(OSVERSIONINFOEXA)) {
    auto *ex = reinterpret_cast<LPOSVERSIONINFOEXA>(lpVersionInformation);
    ex->wServicePackMajor = r.service_pack_major;
    ex->wServicePackMinor = 0;
    ex->wSuiteMask = 0;
    ex->wProductType = VER_NT_WORKSTATION;
    ex->wReserved = 0;
  }
  return TRUE;
}
