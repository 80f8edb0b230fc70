// Every process of a program image has memory of its own: globals and statics made afresh when
// it starts, in it, and gone once it has ended. A program that lives in the host's image has
// one copy of its globals for all its processes, and the world stops a run that would share it.
// Handle accounting: what a process still holds when it ends is listed as leaked, and the host's
// handles while they are open.
#include <gtest/gtest.h>

#include "platform/win32.h"
#include "programs/Tally.h"
#include "winsim/World.h"

namespace {

constexpr const char *kCounter = "C:\\Tools\\counter.exe ";

class ProcessMemory : public ::testing::Test {
 protected:
  ProcessMemory() {
    world.add_program("counter.exe", winsim::ProgramImage{NORVANE_PROGRAMS_DIR "/counter.so"});
    world.place_program("C:\\Tools\\counter.exe", "counter.exe");
  }
  std::uint32_t Counter(const std::string &arguments) { return world.start(kCounter + arguments); }
  winsim::World world;
};

TEST_F(ProcessMemory, TwoProcessesOfOneProgramEachCountOnlyTheirOwnAndUnmakeTheirStaticsOnReturn) {
  std::uint32_t first = Counter("3");
  world.run_for(1500);
  std::uint32_t second = Counter("2");
  ASSERT_TRUE(world.wait_exit(first));
  ASSERT_TRUE(world.wait_exit(second));
  EXPECT_EQ(world.exit_code(first), 3u);
  EXPECT_EQ(world.exit_code(second), 2u);
  EXPECT_EQ(world.console(first),
            "pid 12 made its statics in 12 and counted 3 in 3 calls\nstatics of 12 destroyed\n");
  EXPECT_EQ(world.console(second),
            "pid 20 made its statics in 20 and counted 2 in 2 calls\nstatics of 20 destroyed\n");
  // A later process starts from nothing again, from the same file.
  std::uint32_t third = Counter("1");
  ASSERT_TRUE(world.wait_exit(third));
  EXPECT_EQ(world.console(third),
            "pid 28 made its statics in 28 and counted 1 in 1 calls\nstatics of 28 destroyed\n");

  // Static destructors run when main returns, not when the process is ended.
  std::uint32_t ended = Counter("2 exit");
  ASSERT_TRUE(world.wait_exit(ended));
  EXPECT_EQ(world.exit_code(ended), 2u);
  EXPECT_EQ(world.console(ended), "pid 36 made its statics in 36 and counted 2 in 2 calls\n");
}

TEST_F(ProcessMemory, ProcessesOneAfterAnotherLeaveNoImageNoThreadAndNoHandleBehind) {
  for (int i = 0; i < 20; ++i) {
    std::uint32_t pid = Counter(i % 2 == 0 ? "0" : "0 linger");
    ASSERT_TRUE(world.wait_exit(pid));
    EXPECT_EQ(world.open_handles(pid), std::vector<std::string>{});
  }
  EXPECT_EQ(world.loaded_images(), 0u);
  // The host's thread, the last process's finished main thread, and the ten blocked threads
  // that ended with their processes (parked: they never run again).
  EXPECT_EQ(world.thread_records(), 12u);
  // The parked threads' code is gone; nothing of theirs runs while the world goes on and ends.
  world.run_for(60000);
  EXPECT_EQ(world.trace().of_kind("thread.exit").size(), 0u);
}

// A part of the world made in a program image (a stand-in library linked into it) has its
// destructor there: the image stays loaded until the world's parts are gone.
TEST_F(ProcessMemory, APartMadeByAProgramImageOutlivesItsProcess) {
  std::uint32_t pid = Counter("0 part");
  ASSERT_TRUE(world.wait_exit(pid));
  EXPECT_EQ(world.loaded_images(), 1u);
  EXPECT_EQ(world.part<counter_test::Tally>().processes, 1);
}

// The loader holds its lock while static constructors run, so no other thread may run then: a
// constructor that waits ends the host process with a report instead of hanging it.
using ProcessMemoryDeathTest = ProcessMemory;
TEST_F(ProcessMemoryDeathTest, AStaticConstructorThatWaitsEndsTheHostWithAReport) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        Counter("1 wait");
        world.run_for(10);
      },
      ::testing::ExitedWithCode(3),
      "winsim: pid 12 \\(counter.exe\\) tid 16 waits in Sleep\\(1\\) while its program image "
      "was being loaded");
}

int SleeperMain() {
  Sleep(1000);
  return 0;
}

// A program in the host's image runs one process at a time unless it keeps no state of its own.
TEST(HostImagePrograms, ASecondProcessWhileOneRunsStopsTheRunUnlessTheProgramIsStateless) {
  winsim::World world;
  world.add_program("stateless.exe", SleeperMain, winsim::HostImage::Stateless);
  world.place_program("C:\\stateless.exe", "stateless.exe");
  std::uint32_t first = world.start("C:\\stateless.exe");
  std::uint32_t second = world.start("C:\\stateless.exe");
  EXPECT_TRUE(world.wait_exit(first));
  EXPECT_TRUE(world.wait_exit(second));

  world.add_program("sleeper.exe", SleeperMain, winsim::HostImage::OneProcessAtATime);
  world.place_program("C:\\sleeper.exe", "sleeper.exe");
  first = world.start("C:\\sleeper.exe");
  ASSERT_TRUE(world.wait_exit(first));
  world.start("C:\\sleeper.exe one");
  try {
    world.start("C:\\sleeper.exe two");
    FAIL() << "the second process started";
  } catch (const winsim::RunStopped &stop) {
    EXPECT_EQ(stop.reason(), winsim::RunStopped::Reason::Isolation);
    EXPECT_EQ(std::string(stop.what()),
              "winsim: isolation: \"C:\\sleeper.exe two\" would start a second process of "
              "sleeper.exe while pid 36 runs it. The program is registered by its entry "
              "function and lives in the host's image, so the two processes would share its "
              "globals; build it as a program image (norvane_sim_program), or register it as "
              "HostImage::Stateless if it keeps no state of its own.\n");
  }
  EXPECT_EQ(world.processes().size(), 4u);
}

int LeakyMain() {
  CreateEventA(nullptr, TRUE, FALSE, "LeakyEvent");
  HKEY key = nullptr;
  RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &key);
  return 0;
}

class HandleLeak : public ::testing::Test {
 protected:
  HandleLeak() {
    world.add_program("leaky.exe", &LeakyMain);
    world.place_program("C:\\Tools\\leaky.exe", "leaky.exe");
  }
  winsim::World world;
};

TEST_F(HandleLeak, HandlesHeldAtExitAreListedWithTheirObjectsAndTheHostsWhileOpen) {
  std::uint32_t pid = world.start("C:\\Tools\\leaky.exe");
  ASSERT_TRUE(world.wait_exit(pid));
  // The console's three standard handles come first and are the system's, not the program's.
  EXPECT_EQ(world.open_handles(pid),
            (std::vector<std::string>{"0x10: event \"LeakyEvent\"",
                                      "0x14: registry key \"HKLM\\SOFTWARE\""}));
  // Ending the process closed them: the name is gone.
  SetLastError(0xdeadbeef);
  EXPECT_EQ(OpenEventA(EVENT_ALL_ACCESS, FALSE, "LeakyEvent"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  // The host's own handles are listed while open.
  HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  EXPECT_EQ(world.open_handles(world.host_pid()).size(), 1u);
  CloseHandle(event);
  EXPECT_EQ(world.open_handles(world.host_pid()), std::vector<std::string>{});
}

}  // namespace
