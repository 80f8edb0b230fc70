// GetVersionExA: the two record sizes it accepts, and the release a system without a
// compatibility manifest reports (winsim's default and a fresh Wine prefix agree on it).
// GetSystemDirectoryA: the folder, or the size a buffer needs.
#include <cstring>

#include "Conformance.h"

namespace {

using conformance::kMarker;

class SystemVersion : public conformance::Fixture {};

TEST_F(SystemVersion, TheTwoRecordSizesGetTheReleaseAndAnyOtherFailsLeavingTheRecord) {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  SetLastError(kMarker);
  ASSERT_TRUE(GetVersionExA(&info));
  EXPECT_EQ(GetLastError(), kMarker);
  EXPECT_EQ(info.dwMajorVersion, 6u);
  EXPECT_EQ(info.dwMinorVersion, 1u);
  EXPECT_EQ(info.dwBuildNumber, 7601u);
  EXPECT_EQ(info.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_NT));
  EXPECT_STREQ(info.szCSDVersion, "Service Pack 1");

  // The extended record also gets the service pack's numbers and the product type.
  OSVERSIONINFOEXA ex{};
  ex.dwOSVersionInfoSize = sizeof ex;
  ex.wSuiteMask = 0xFFFF;
  ASSERT_TRUE(GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&ex)));
  EXPECT_EQ(ex.dwBuildNumber, 7601u);
  EXPECT_EQ(ex.wServicePackMajor, 1u);
  EXPECT_EQ(ex.wServicePackMinor, 0u);
  EXPECT_EQ(ex.wSuiteMask, 0u);
  EXPECT_EQ(ex.wProductType, VER_NT_WORKSTATION);
  // Any other size fails with an insufficient buffer and leaves the record.
  for (DWORD size : {0u, 147u, 149u, 155u, 157u, 300u}) {
    OSVERSIONINFOEXA other{};
    other.dwOSVersionInfoSize = size;
    other.dwMajorVersion = 77;
    SetLastError(kMarker);
    EXPECT_FALSE(GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&other))) << size;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER)) << size;
    EXPECT_EQ(other.dwMajorVersion, 77u) << size;
  }
}

// The folder's case differs (Wine writes it in lower case), so it is compared without.
TEST_F(SystemVersion, TheSystemFolderFitsWithItsTerminatorOrItsSizeIsToldAndTheBufferLeft) {
  char folder[MAX_PATH];
  SetLastError(kMarker);
  const UINT length = GetSystemDirectoryA(folder, MAX_PATH);
  EXPECT_EQ(GetLastError(), kMarker);
  ASSERT_EQ(length, std::strlen("C:\\Windows\\System32"));
  EXPECT_EQ(conformance::Lower(folder), "c:\\windows\\system32");
  for (UINT size : {0u, 8u, length}) {
    char small[MAX_PATH];
    std::memset(small, 'x', sizeof small);
    EXPECT_EQ(GetSystemDirectoryA(size == 0 ? nullptr : small, size), length + 1) << size;
    EXPECT_EQ(small[0], 'x') << size;
  }
  EXPECT_EQ(GetSystemDirectoryA(folder, length + 1), length);
  EXPECT_EQ(GetLastError(), kMarker);
}

}  // namespace
