// How the installer's messages reach standard output: nothing without "Debug"; wide text to a
// console; the ANSI code page's bytes to a pipe; the last error as it was.
#include <gtest/gtest.h>

#include "installer/DebugOutput.h"
#include "winsim/Text.h"
#include "winsim/World.h"

namespace {

using Record = winsim::Trace::Record;

class DebugOutputTest : public ::testing::Test {
 protected:
  ~DebugOutputTest() override { DebugOutput = false; }
  winsim::World world;
};

TEST_F(DebugOutputTest, AConsoleShowsTheWideTextAndNothingIsPrintedWithoutDebug) {
  DebugOutput = false;
  DebugPrint(TEXT("hidden\n"));
  DebugOutput = true;
  SetLastError(1060);
  DebugPrint(TEXT("copy %s to %s...\t---Error=0x%08X\n"), TEXT("D:\\AP\\X64\\暗号.dll"),
             TEXT("C:\\QORA\\暗号.dll"), 0x20u);
  EXPECT_EQ(GetLastError(), 1060u);
  EXPECT_EQ(world.trace().select("stdout", {"text"}),
            (std::vector<Record>{
                {{"text",
                  "copy D:\\AP\\X64\\暗号.dll to C:\\QORA\\暗号.dll...\t---Error=0x00000020\n"}}}));
  EXPECT_EQ(
      world.console(world.host_pid()),
      winsim::cp932("copy D:\\AP\\X64\\暗号.dll to C:\\QORA\\暗号.dll...\t---Error=0x00000020\n"));
}

TEST_F(DebugOutputTest, APipeReceivesTheAnsiCodePagesBytesDownToASingleOne) {
  HANDLE read_end = nullptr, write_end = nullptr;
  ASSERT_TRUE(CreatePipe(&read_end, &write_end, nullptr, 0));
  HANDLE console = GetStdHandle(STD_OUTPUT_HANDLE);
  SetStdHandle(STD_OUTPUT_HANDLE, write_end);
  DebugOutput = true;
  SetLastError(5);
  DebugPrint(TEXT("deleted %s.\n"), TEXT("C:\\QORA\\暗号.dll"));
  DebugPrint(TEXT("."));  // a progress dot: one byte
  EXPECT_EQ(GetLastError(), 5u);
  SetStdHandle(STD_OUTPUT_HANDLE, console);

  char bytes[64] = {};
  DWORD read = 0;
  ASSERT_TRUE(ReadFile(read_end, bytes, sizeof bytes, &read, nullptr));
  EXPECT_EQ(std::string(bytes, read), winsim::cp932("deleted C:\\QORA\\暗号.dll.\n."));
  EXPECT_TRUE(world.trace().of_kind("stdout").empty());
  CloseHandle(read_end);
  CloseHandle(write_end);
}

}  // namespace
