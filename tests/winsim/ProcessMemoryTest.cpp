// Every process of a program image has memory of its own: globals and statics made afresh when
// it starts, in it, and gone once it has ended, with its threads' records and stacks and
// nothing left pointing into their frames. A program that lives in the host's image has
// one copy of its globals for all its processes, and the world stops a run that would share it.
// Handle accounting: what a process still holds when it ends is listed as leaked (not what it
// inherited), and the host's handles while they are open.
#include <gtest/gtest.h>

#include <cstring>

#include "Runs.h"
#include "platform/win32.h"
#include "programs/Tally.h"
#include "winsim/World.h"

namespace {

constexpr const char *kCounter = "C:\\Tools\\counter.exe ";
const LPTHREAD_START_ROUTINE kShortThread = [](LPVOID) -> DWORD { return 0; };

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

// A part of the world made in a program image (a stand-in library linked into it) has its
// destructor there: that image stays loaded until the world's parts are gone.
TEST_F(ProcessMemory, ProcessesLeaveNoImageNoThreadAndNoHandleBehindButAPartOneMadeKeepsItsImage) {
  for (int i = 0; i < 20; ++i) {
    std::uint32_t pid = Counter(i % 2 == 0 ? "0" : "0 linger");
    ASSERT_TRUE(world.wait_exit(pid));
    EXPECT_EQ(world.open_handles(pid), std::vector<std::string>{});
  }
  EXPECT_EQ(world.loaded_images(), 0u);
  // The host's thread and the last process's finished main thread (freed when the next thread
  // starts): the ten blocked threads that ended with their processes went with them.
  EXPECT_EQ(world.thread_records(), 2u);
  // The parked threads' code is gone; nothing of theirs runs while the world goes on and ends.
  world.run_for(60000);
  EXPECT_EQ(world.trace().of_kind("thread.exit").size(), 0u);
  // Threads of one process one after another: each goes when the next one starts.
  for (int i = 0; i < 10; ++i) {
    HANDLE thread = CreateThread(nullptr, 0, kShortThread, nullptr, 0, nullptr);
    ASSERT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    CloseHandle(thread);
  }
  EXPECT_EQ(world.thread_records(), 2u);
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

// (A program registered as stateless runs in two processes at once: the conformance tests'
// child program, registered so, starts itself as a child while it runs.)
TEST(HostImagePrograms, ASecondProcessWhileOneRunsStopsTheRun) {
  winsim::World world;
  std::uint32_t first = StartProgram(world, "sleeper.exe", SleeperMain);
  ASSERT_TRUE(world.wait_exit(first));
  world.start("C:\\sleeper.exe one");
  EXPECT_EQ(StopReport(winsim::RunStopped::Reason::Isolation,
                       [&] { world.start("C:\\sleeper.exe two"); }),
            "winsim: isolation: \"C:\\sleeper.exe two\" would start a second process of "
            "sleeper.exe while pid 20 runs it. The program is registered by its entry "
            "function and lives in the host's image, so the two processes would share its "
            "globals; build it as a program image (norvane_sim_program), or register it as "
            "HostImage::Stateless if it keeps no state of its own.\n");
  EXPECT_EQ(world.processes().size(), 2u);
}

DWORD WINAPI EnterHeldLock(LPVOID lock) {
  EnterCriticalSection(static_cast<CRITICAL_SECTION *>(lock));
  return 0;
}

DWORD WINAPI WaitForShared(LPVOID) {
  HANDLE shared = OpenEventA(SYNCHRONIZE, FALSE, "Shared");
  return WaitForSingleObject(shared, INFINITE);
}

// Ends while one thread waits for a critical section in the main thread's frame and another
// for an event that outlives the process.
int EndWhileWaitedForMain() {
  CRITICAL_SECTION lock;
  InitializeCriticalSection(&lock);
  EnterCriticalSection(&lock);
  CloseHandle(CreateThread(nullptr, 0, EnterHeldLock, &lock, 0, nullptr));
  CloseHandle(CreateThread(nullptr, 0, WaitForShared, nullptr, 0, nullptr));
  Sleep(1000);
  ExitProcess(9);
}

// An ended process gives back its threads' records and stacks, and what pointed into their
// frames is cut first; a handle to it still answers from what its object keeps.
TEST(ProcessRecords, AnEndedProcessLeavesNothingPointingIntoItsFramesAndItsHandleAnswers) {
  winsim::World world;
  world.add_program("holder.exe", EndWhileWaitedForMain);
  world.place_program("C:\\holder.exe", "holder.exe");
  HANDLE shared = CreateEventA(nullptr, FALSE, FALSE, "Shared");
  PROCESS_INFORMATION pi = CreateChild("C:\\holder.exe");
  CloseHandle(pi.hThread);
  ASSERT_EQ(WaitForSingleObject(pi.hProcess, INFINITE), WAIT_OBJECT_0);
  // The main thread ended the process and has just switched away: it goes next.
  EXPECT_EQ(world.thread_records(), 2u);
  world.run_for(0);
  EXPECT_EQ(world.thread_records(), 1u);
  // The waiter's wait went with it: the event stays set for the next one.
  EXPECT_TRUE(SetEvent(shared));
  EXPECT_EQ(WaitForSingleObject(shared, 0), WAIT_OBJECT_0);
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeProcess(pi.hProcess, &code));
  EXPECT_EQ(code, 9u);
  EXPECT_EQ(world.open_handles(world.host_pid()),
            (std::vector<std::string>{"0x10: event \"Shared\"", "0x14: process 12 (holder.exe)"}));
  CloseHandle(pi.hProcess);
  CloseHandle(shared);
}

int LeakyMain() {
  CreateEventA(nullptr, TRUE, FALSE, "LeakyEvent");
  HKEY key = nullptr;
  RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &key);
  char *text = nullptr;
  FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 5, 0,
                 reinterpret_cast<LPSTR>(&text), 0, nullptr);
  // Ending by ExitProcess, Windows cleans up after it: nothing counts as left behind.
  if (std::strstr(GetCommandLineA(), "-exit") != nullptr) ExitProcess(1);
  return 0;
}

TEST(HandleLeak, HandlesHeldAtExitAreListedWithTheirObjects) {
  winsim::World world;
  world.add_program("leaky.exe", &LeakyMain);
  world.place_program("C:\\Tools\\leaky.exe", "leaky.exe");
  // A pipe end it inherits is not one it opened.
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE read_end = nullptr, write_end = nullptr;
  ASSERT_TRUE(CreatePipe(&read_end, &write_end, &inheritable, 0));
  PROCESS_INFORMATION pi = CreateChild("C:\\Tools\\leaky.exe", TRUE);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  CloseHandle(read_end);
  CloseHandle(write_end);
  std::uint32_t pid = pi.dwProcessId;
  ASSERT_TRUE(world.wait_exit(pid));
  // The console's three standard handles come first and are the system's, not the program's;
  // the pipe's ends inherited in the next two are not the program's either.
  EXPECT_EQ(world.open_handles(pid),
            (std::vector<std::string>{"0x18: event \"LeakyEvent\"",
                                      "0x1c: registry key \"HKLM\\SOFTWARE\""}));
  // Ending the process closed them: the name is gone.
  SetLastError(0xdeadbeef);
  EXPECT_EQ(OpenEventA(EVENT_ALL_ACCESS, FALSE, "LeakyEvent"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

  // Only what a process left when its main returned, and what a running one (the host) still
  // holds, is left behind.
  std::uint32_t exited = world.start("C:\\Tools\\leaky.exe -exit");
  ASSERT_TRUE(world.wait_exit(exited));
  void *block = LocalAlloc(LMEM_FIXED, 16);
  world.run_for(2000);
  std::string leaky = "pid " + std::to_string(pid) + " (leaky.exe) returned from main ";
  EXPECT_EQ(world.left_behind(),
            (std::vector<std::string>{
                leaky + "holding handle 0x18: event \"LeakyEvent\"",
                leaky + "holding handle 0x1c: registry key \"HKLM\\SOFTWARE\"",
                leaky + "without giving back the message text FormatMessageA handed out at 0.000 s",
                "pid " + std::to_string(world.host_pid()) +
                    " (host) has not given back a block of 16 bytes LocalAlloc gave at 0.000 s"}));
  LocalFree(block);
  world.expect_left_behind();
}

}  // namespace
