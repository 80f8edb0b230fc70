// A call asking for what winsim does not emulate stops the run with a report instead of
// answering as no Windows would.
#include <gtest/gtest.h>

#include <functional>

#include "platform/win32.h"
#include "winsim/FileSystem.h"
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

TEST(UnsupportedCall, StopsTheRunWithItsReport) {
  struct Case {
    winsim::ProgramEntry entry;
    const char *report;
  } cases[] = {
      {WildcardSearchMain,
       "winsim: unsupported: FindFirstFileW: FindFirstFileW is emulated for exact names only, "
       "not \"C:\\Windows\\*\" (pid 12)\n"},
      {UnknownLeafMain, "winsim: unsupported: __cpuid: CPUID leaf 1 is not emulated (pid 12)\n"},
  };
  for (const Case &c : cases) {
    winsim::World world;
    world.add_program("probe.exe", c.entry);
    world.place_program("C:\\probe.exe", "probe.exe");
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

unsigned __stdcall NoWork(void *) {
  return 0;
}

// Calls whose answer on Windows winsim cannot tell stop the run with the call's own report.
TEST(UnsupportedCall, AnAnswerWinsimCannotTellStopsTheRunAtTheCall) {
  DEV_BROADCAST_DEVICEINTERFACE_A filter = {sizeof filter, DBT_DEVTYP_DEVICEINTERFACE, 0, {}, {}};
  const struct {
    std::function<void()> call;
    const char *report;
  } cases[] = {
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
      {[] { _beginthreadex(nullptr, 0, NoWork, nullptr, CREATE_SUSPENDED, nullptr); },
       "_beginthreadex for a suspended thread"},
  };
  for (const auto &c : cases) {
    winsim::World world;
    world.files().add_file("C:\\data.bin");
    try {
      c.call();
      ADD_FAILURE() << "the run went on: " << c.report;
    } catch (const winsim::RunStopped &stop) {
      EXPECT_EQ(stop.reason(), winsim::RunStopped::Reason::NotSimulated);
      EXPECT_EQ(std::string(stop.what()), std::string("winsim: pid 4 (host) tid 8 called ") +
                                              c.report + ", which winsim does not simulate\n");
    }
  }
}

}  // namespace
