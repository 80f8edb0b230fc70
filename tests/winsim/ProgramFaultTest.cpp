// Faults of a program that Windows punishes at once: a thread that runs off its stack, and a
// C++ exception no handler catches. Each ends the program's process as Windows ends it and
// stops the run with a report naming the thread; the host process goes on. A thread that
// loops without any winsim call cannot be stopped from inside: it ends the host process once it
// has used the processor for the limit, however loaded the machine is.
#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>
#include <string>

#include "Runs.h"
#include "platform/win32.h"
#include "winsim/World.h"

namespace {

std::string g_unwound;

struct Unwinding {
  ~Unwinding() { g_unwound = "unwound"; }
};

// Frames of 12 KB, each touched at its far end, for as deep as `limit` says (more than any
// stack holds).
int Deeper(int depth, int limit) {
  volatile char frame[12 * 1024];
  frame[0] = static_cast<char>(depth);
  return depth < limit ? Deeper(depth + 1, limit) + frame[0] : 0;
}

int OverflowMain() {
  GetTickCount();
  return Deeper(0, 1 << 20);
}

DWORD WINAPI Throw(LPVOID) {
  Unwinding unwinding;
  throw std::runtime_error("boom");
}

int ThrowingThreadMain() {
  HANDLE thread = CreateThread(nullptr, 0, Throw, nullptr, 0, nullptr);
  WaitForSingleObject(thread, INFINITE);
  return 0;
}

TEST(ProgramFault, EndsItsProcessAsWindowsDoesAndStopsTheRunNamingTheThread) {
  const struct {
    const char *program;
    winsim::ProgramEntry entry;
    const char *report;
    std::uint32_t exit_code;
  } faults[] = {
      {"deep.exe", OverflowMain,
       "winsim: fault of the program: pid 12 (deep.exe) tid 16 ran off the end of its stack; "
       "last call: GetTickCount\n",
       0xC00000FD},
      {"thrower.exe", ThrowingThreadMain,
       "winsim: fault of the program: pid 12 (thrower.exe) tid 20 let a C++ exception escape: "
       "std::runtime_error (\"boom\"); the process ends with code 3\n",
       3},
  };
  for (const auto &fault : faults) {
    winsim::World world;
    g_unwound.clear();
    std::uint32_t pid = StartProgram(world, fault.program, fault.entry);
    EXPECT_EQ(StopReport(winsim::RunStopped::Reason::ProgramFault, [&] { world.wait_exit(pid); }),
              fault.report);
    EXPECT_EQ(world.exit_code(pid), fault.exit_code) << fault.program;
    // As on Windows, the thrower's frames are not unwound: its destructors do not run.
    EXPECT_EQ(g_unwound, "");
  }
}

CRITICAL_SECTION g_lock;

DWORD WINAPI EnterAndEnd(LPVOID) {
  EnterCriticalSection(&g_lock);
  return 0;
}

int EndHolding() {
  InitializeCriticalSection(&g_lock);
  HANDLE thread = CreateThread(nullptr, 0, EnterAndEnd, nullptr, 0, nullptr);
  WaitForSingleObject(thread, INFINITE);
  return 0;
}

// A thread that ends holding a critical section leaves it held for good (on Windows a hang
// later): the run stops as a fault of the program, naming the thread.
TEST(ProgramFault, AThreadEndingHoldingACriticalSectionStopsTheRun) {
  EXPECT_EQ(ProgramFaultReport(EndHolding),
            "winsim: fault of the program: pid 12 (misuse.exe) tid 20 ended holding critical "
            "section #1\n");
}

DWORD WINAPI LoopWithoutCalls(LPVOID) {
  GetTickCount();
  volatile unsigned turns = 0;
  for (;;) turns = turns + 1;
}

using ProgramFaultDeathTest = ::testing::Test;
TEST_F(ProgramFaultDeathTest, ALoopWithoutCallsEndsTheHostAfterItsProcessorTime) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        setenv("WINSIM_BUSY_LIMIT_MS", "200", 1);
        winsim::World world;
        CreateThread(nullptr, 0, LoopWithoutCalls, nullptr, 0, nullptr);
        world.run_for(10);
      },
      ::testing::ExitedWithCode(3),
      "winsim: busy loop: pid 4 \\(host.exe\\) tid 12 has run for [0-9.]+ s of processor time "
      "without a winsim call \\(virtual time stands still\\); last call: GetTickCount\n  it "
      "makes no further winsim call; ending the test process");
}

}  // namespace
