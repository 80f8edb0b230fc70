// A call asking for what winsim does not emulate stops the run with a report instead of
// answering as no Windows would: a wildcard search, an unknown CPUID leaf, a thread or process
// that starts suspended, overlapped I/O, a handle duplicated into another process, the
// processor-time clocks.
#include <gtest/gtest.h>

#include "platform/win32.h"
#include "winsim/World.h"

namespace {

int WildcardSearchMain() {
  WIN32_FIND_DATAW found;
  FindFirstFileW(u"C:\\Windows\\*", &found);
  return 0;
}

int UnknownLeafMain() {
  int registers[4];
  __cpuid(registers, 1);
  return 0;
}

DWORD WINAPI Nothing(LPVOID) {
  return 0;
}

unsigned __stdcall NothingEither(void *) {
  return 0;
}

int SuspendedThreadMain() {
  CreateThread(nullptr, 0, Nothing, nullptr, CREATE_SUSPENDED, nullptr);
  return 0;
}

int SuspendedRuntimeThreadMain() {
  _beginthreadex(nullptr, 0, NothingEither, nullptr, CREATE_SUSPENDED, nullptr);
  return 0;
}

int SuspendedProcessMain() {
  char line[] = "C:\\probe.exe";
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  CreateProcessA(nullptr, line, nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr, &si,
                 &pi);
  return 0;
}

int OverlappedReadMain() {
  HANDLE read_end = nullptr, write_end = nullptr;
  CreatePipe(&read_end, &write_end, nullptr, 0);
  char byte = 0;
  OVERLAPPED overlapped{};
  ReadFile(read_end, &byte, 1, nullptr, &overlapped);
  return 0;
}

int OverlappedWriteMain() {
  HANDLE read_end = nullptr, write_end = nullptr;
  CreatePipe(&read_end, &write_end, nullptr, 0);
  OVERLAPPED overlapped{};
  WriteFile(write_end, "x", 1, nullptr, &overlapped);
  return 0;
}

int OverlappedIoctlMain() {
  HANDLE beep = CreateFileA("\\\\.\\BeepDev", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  OVERLAPPED overlapped{};
  DeviceIoControl(beep, 0, nullptr, 0, nullptr, 0, nullptr, &overlapped);
  return 0;
}

int DuplicateIntoAnotherProcessMain() {
  char line[] = "C:\\other.exe";
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  CreateProcessA(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
  HANDLE copy = nullptr;
  DuplicateHandle(GetCurrentProcess(), pi.hThread, pi.hProcess, &copy, 0, FALSE,
                  DUPLICATE_SAME_ACCESS);
  return 0;
}

int ProcessorTimeMain() {
  timespec spent{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &spent);
  return 0;
}

int OtherMain() {
  Sleep(INFINITE);
  return 0;
}

TEST(UnsupportedCall, StopsTheRunWithItsReport) {
  struct Case {
    winsim::ProgramEntry entry;
    const char *report;
  } cases[] = {
      {WildcardSearchMain,
       "winsim: unsupported: FindFirstFileW: FindFirstFileW is emulated for exact names only, "
       "not \"C:\\Windows\\*\" (pid 12)\n"},
      {UnknownLeafMain, "winsim: unsupported: __cpuid: CPUID leaf 1 is not emulated (pid 12)\n"},
      {SuspendedThreadMain,
       "winsim: pid 12 (probe.exe) tid 16 called CreateThread with CREATE_SUSPENDED, which "
       "winsim does not simulate\n"},
      {SuspendedRuntimeThreadMain,
       "winsim: pid 12 (probe.exe) tid 16 called _beginthreadex with CREATE_SUSPENDED, which "
       "winsim does not simulate\n"},
      {SuspendedProcessMain,
       "winsim: pid 12 (probe.exe) tid 16 called CreateProcessA with CREATE_SUSPENDED, which "
       "winsim does not simulate\n"},
      {OverlappedReadMain,
       "winsim: pid 12 (probe.exe) tid 16 called ReadFile with an OVERLAPPED structure, which "
       "winsim does not simulate\n"},
      {OverlappedWriteMain,
       "winsim: pid 12 (probe.exe) tid 16 called WriteFile with an OVERLAPPED structure, which "
       "winsim does not simulate\n"},
      {OverlappedIoctlMain,
       "winsim: pid 12 (probe.exe) tid 16 called DeviceIoControl with an OVERLAPPED structure, "
       "which winsim does not simulate\n"},
      {DuplicateIntoAnotherProcessMain,
       "winsim: pid 12 (probe.exe) tid 16 called DuplicateHandle between two processes, which "
       "winsim does not simulate\n"},
      {ProcessorTimeMain,
       "winsim: pid 12 (probe.exe) tid 16 called clock_gettime for processor time, which winsim "
       "does not simulate\n"},
  };
  for (const Case &c : cases) {
    winsim::World world;
    world.add_program("probe.exe", c.entry);
    world.place_program("C:\\probe.exe", "probe.exe");
    world.add_program("other.exe", OtherMain);
    world.place_program("C:\\other.exe", "other.exe");
    std::uint32_t pid = world.start("C:\\probe.exe");
    try {
      world.wait_exit(pid);
      ADD_FAILURE() << "the run went on";
    } catch (const winsim::RunStopped &stop) {
      EXPECT_EQ(stop.reason(), winsim::RunStopped::Reason::NotSimulated);
      EXPECT_EQ(std::string(stop.what()), c.report);
    }
  }
}

}  // namespace
