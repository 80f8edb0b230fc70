// A call asking for what winsim does not emulate stops the run with a report instead of
// answering as no Windows would.
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

}  // namespace
