// A call asking for what winsim does not emulate stops the run with a report instead of
// answering as no Windows would: a wildcard search, an unknown CPUID leaf, a thread or process
// that starts suspended or with unknown flags, a registry key opened with options, overlapped
// I/O, a handle duplicated into another process, the processor-time clocks.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "Runs.h"
#include "platform/win32.h"
#include "winsim/FileSystem.h"
#include "winsim/World.h"

namespace {

const LPTHREAD_START_ROUTINE kNothing = [](LPVOID) -> DWORD { return 0; };
unsigned(__stdcall *const kNothingEither)(void *) = [](void *) -> unsigned { return 0; };

// A program's call stops the run as the host's does, naming the program's process and thread.
TEST(UnsupportedCall, AProgramsCallStopsTheRunWithItsReport) {
  const struct {
    winsim::ProgramEntry entry;
    std::string report;
  } cases[] = {
      {[] {
         WIN32_FIND_DATAW found;
         FindFirstFileW(u"C:\\Windows\\*", &found);
         return 0;
       },
       "winsim: unsupported: FindFirstFileW: FindFirstFileW is emulated for exact names only, "
       "not \"C:\\Windows\\*\" (pid 12)\n"},
      {[] {
         CreateThread(nullptr, 0, kNothing, nullptr, CREATE_SUSPENDED, nullptr);
         return 0;
       },
       "winsim: pid 12 (probe.exe) tid 16 called CreateThread with CREATE_SUSPENDED, which winsim "
       "does not simulate\n"},
  };
  for (const auto &c : cases) {
    winsim::World world;
    std::uint32_t pid = StartProgram(world, "probe.exe", c.entry);
    EXPECT_EQ(StopReport(winsim::RunStopped::Reason::NotSimulated, [&] { world.wait_exit(pid); }),
              c.report);
  }
}

TEST(UnsupportedCall, AnAnswerWinsimCannotTellStopsTheRunAtTheCall) {
  const std::string called = "winsim: pid 4 (host) tid 8 called ";
  const std::string not_simulated = ", which winsim does not simulate\n";
  DEV_BROADCAST_DEVICEINTERFACE_A filter = {sizeof filter, DBT_DEVTYP_DEVICEINTERFACE, 0, {}, {}};
  HANDLE read_end = nullptr, write_end = nullptr;
  OVERLAPPED overlapped{};
  char byte = 0;
  const struct {
    std::function<void()> call;
    std::string report;
  } cases[] = {
      {[] {
         int registers[4];
         __cpuid(registers, 1);
       },
       "winsim: unsupported: __cpuid: CPUID leaf 1 is not emulated (pid 4)\n"},
      {[] { _beginthreadex(nullptr, 0, kNothingEither, nullptr, CREATE_SUSPENDED, nullptr); },
       "_beginthreadex with CREATE_SUSPENDED"},
      {[] { CreateChild("C:\\other.exe", FALSE, CREATE_SUSPENDED); },
       "CreateProcessA with CREATE_SUSPENDED"},
      {[&] { ReadFile(read_end, &byte, 1, nullptr, &overlapped); },
       "ReadFile with an OVERLAPPED structure"},
      {[&] { WriteFile(write_end, "x", 1, nullptr, &overlapped); },
       "WriteFile with an OVERLAPPED structure"},
      {[&] {
         HANDLE beep =
             CreateFileA("\\\\.\\BeepDev", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
         DeviceIoControl(beep, 0, nullptr, 0, nullptr, 0, nullptr, &overlapped);
       },
       "DeviceIoControl with an OVERLAPPED structure"},
      {[] {
         PROCESS_INFORMATION pi = CreateChild("C:\\other.exe");
         HANDLE copy = nullptr;
         DuplicateHandle(GetCurrentProcess(), pi.hThread, pi.hProcess, &copy, 0, FALSE,
                         DUPLICATE_SAME_ACCESS);
       },
       "DuplicateHandle between two processes"},
      {[] {
         timespec spent{};
         clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &spent);
       },
       "clock_gettime for processor time"},
      {[] {
         HANDLE file = CreateFileA("C:\\data.bin", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
         BYTE out[8];
         DWORD returned = 0;
         DeviceIoControl(file, SMART_RCV_DRIVE_DATA, out, 8, out, 8, &returned, nullptr);
       },
       "DeviceIoControl on a file of the file system"},
      {[] { PlaySoundA("C:\\none.wav", nullptr, SND_FILENAME); },
       "PlaySoundA without SND_NODEFAULT for no sound"},
      {[&] {
         RegisterDeviceNotificationA(
             nullptr, &filter, DEVICE_NOTIFY_SERVICE_HANDLE | DEVICE_NOTIFY_ALL_INTERFACE_CLASSES);
       },
       "RegisterDeviceNotificationA for a recipient that is not the caller's service status "
       "handle"},
      {[] { CreateThread(nullptr, 0, kNothing, nullptr, 1, nullptr); },
       "CreateThread with creation flags outside CREATE_SUSPENDED and "
       "STACK_SIZE_PARAM_IS_A_RESERVATION"},
      {[] {
         HKEY key = nullptr;
         RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", REG_OPTION_OPEN_LINK, KEY_READ, &key);
       },
       "RegOpenKeyExA with options other than 0"},
  };
  for (const auto &c : cases) {
    winsim::World world;
    world.files().add_file("C:\\data.bin");
    world.add_program("other.exe", [] {
      Sleep(INFINITE);
      return 0;
    });
    world.place_program("C:\\other.exe", "other.exe");
    CreatePipe(&read_end, &write_end, nullptr, 0);
    // The reports of calls winsim does not simulate share their form.
    EXPECT_EQ(StopReport(winsim::RunStopped::Reason::NotSimulated, c.call),
              c.report.starts_with("winsim:") ? c.report : called + c.report + not_simulated);
  }
}

}  // namespace
