// Finding a top-level window and posting to one that is not there: a search that finds nothing
// leaves the last error alone; a post to a handle that is no window fails with 1400.
#include "Conformance.h"

namespace {

using conformance::kMarker;

class FindAndPost : public conformance::Fixture {};

TEST_F(FindAndPost, ASearchThatFindsNothingLeavesTheLastErrorAlone) {
  SetLastError(kMarker);
  EXPECT_EQ(FindWindowW(TEXT("#32770"), TEXT("Norvane Conformance: no such dialog")), nullptr);
  EXPECT_EQ(GetLastError(), kMarker);
  EXPECT_EQ(FindWindowW(TEXT("NorvaneConformanceNoSuchClass"), nullptr), nullptr);
  EXPECT_EQ(GetLastError(), kMarker);
}

TEST_F(FindAndPost, PostingToAHandleThatIsNoWindowFails) {
  SetLastError(kMarker);
  EXPECT_FALSE(
      PostMessageW(reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0x7FF0)), WM_CLOSE, 0, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

}  // namespace
