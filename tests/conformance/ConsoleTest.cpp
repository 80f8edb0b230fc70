// The console functions on handles that are no console: a pipe answers neither the mode query
// nor a wide console write, and the count written is zeroed.
#include "Conformance.h"

namespace {

using conformance::kMarker;

class Console : public conformance::Fixture {};

TEST_F(Console, APipeIsNoConsole) {
  HANDLE read_end = nullptr, write_end = nullptr;
  ASSERT_TRUE(CreatePipe(&read_end, &write_end, nullptr, 0));
  DWORD mode = kMarker;
  SetLastError(kMarker);
  EXPECT_FALSE(GetConsoleMode(write_end, &mode));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

  DWORD written = kMarker;
  SetLastError(kMarker);
  EXPECT_FALSE(WriteConsoleW(write_end, TEXT("text"), 4, &written, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(written, 0u);
  DWORD available = kMarker;
  EXPECT_TRUE(PeekNamedPipe(read_end, nullptr, 0, nullptr, &available, nullptr));
  EXPECT_EQ(available, 0u);
  CloseHandle(write_end);
  CloseHandle(read_end);
}

}  // namespace
