// GetVersionExA: the two record sizes it accepts, and the release a system without a
// compatibility manifest reports (winsim's default and a fresh Wine prefix agree on it).
#include "Conformance.h"

namespace {

using conformance::kMarker;

class SystemVersion : public conformance::Fixture {};

TEST_F(SystemVersion, TheShortRecordGetsVersionBuildPlatformAndServicePack) {
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
}

TEST_F(SystemVersion, TheExtendedRecordAlsoGetsServicePackNumbersAndProductType) {
  OSVERSIONINFOEXA info{};
  info.dwOSVersionInfoSize = sizeof info;
  info.wSuiteMask = 0xFFFF;
  ASSERT_TRUE(GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&info)));
  EXPECT_EQ(info.dwBuildNumber, 7601u);
  EXPECT_EQ(info.wServicePackMajor, 1u);
  EXPECT_EQ(info.wServicePackMinor, 0u);
  EXPECT_EQ(info.wSuiteMask, 0u);
  EXPECT_EQ(info.wProductType, VER_NT_WORKSTATION);
}

TEST_F(SystemVersion, AnyOtherSizeFailsWithInsufficientBufferAndLeavesTheRecord) {
  for (DWORD size : {0u, 147u, 149u, 155u, 157u, 300u}) {
    OSVERSIONINFOEXA info{};
    info.dwOSVersionInfoSize = size;
    info.dwMajorVersion = 77;
    SetLastError(kMarker);
    EXPECT_FALSE(GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&info))) << size;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER)) << size;
    EXPECT_EQ(info.dwMajorVersion, 77u) << size;
  }
}

}  // namespace
