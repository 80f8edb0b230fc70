// A simulated logon with ShellBeacon.exe in place as the installer puts it, the encryption suite
// behind the proxy library's stand-in, and the trace reduced to what the program announced.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "../WorldSeed.h"
#include "platform/win32.h"
#include "standins/EncryptionSuite.h"
#include "winsim/LibraryHeap.h"
#include "winsim/World.h"

namespace shellbeacon_test {

using Record = winsim::Trace::Record;
using Records = std::vector<Record>;

constexpr const char *kShellBeaconPath = "C:\\Program Files\\Pellam\\QORA\\ShellBeacon.exe";
constexpr std::int64_t kExitFailed = 0xFFFFFFFF;

class BeaconWorld : public ::testing::Test {
 protected:
  BeaconWorld() {
    world_seed::SeedWorld(world);
    world.add_program("ShellBeacon.exe",
                      winsim::ProgramImage{NORVANE_PROGRAMS_DIR "/ShellBeacon.so"});
    world.place_program(kShellBeaconPath, "ShellBeacon.exe");
  }

  standins::EncryptionSuite &Suite() { return standins::EncryptionSuite::of(world); }
  void Mount(std::int32_t drive, std::uint32_t field84 = 1, std::uint32_t field88 = 0) {
    Suite().mount({drive, field84, field88});
  }

  // Starts the program as the logon does: no console, no arguments that matter.
  std::uint32_t Start() {
    winsim::StartOptions options;
    options.console = false;
    return world.start(std::string("\"") + kShellBeaconPath + "\"", options);
  }
  // Runs it to its end; the `process.exit` record {t, code}.
  Record RunToEnd() { return Finish(Start()); }
  Record Finish(std::uint32_t pid) {
    EXPECT_TRUE(world.wait_exit(pid));
    auto exits = world.trace().select("process.exit", {"t", "code"});
    return exits.empty() ? Record() : exits.back();
  }

  Records Notifications() {
    return world.trace().select("shell.notify", {"t", "event", "flags", "path"});
  }
  Records Broadcasts() {
    return world.trace().select(
        "broadcast", {"t", "msg", "wParam", "devicetype", "unitmask", "flags", "timeout"});
  }

  // What the program did with the library: lists taken and given back, releases, blocks it
  // still holds.
  void ExpectLibraryUse(int lists, int releases, std::size_t held) {
    EXPECT_EQ(Suite().init_calls(), 1);
    EXPECT_EQ(Suite().lists_handed_out(), lists);
    EXPECT_EQ(Suite().lists_given_back(), lists);
    EXPECT_EQ(Suite().release_calls(), releases);
    EXPECT_EQ(winsim::LibraryHeap::of(world).held(), held);
  }

  winsim::World world;
};

// The records of an announcement at `t` (ms): the shell hears of a drive letter's root, and a
// broadcast carries the drive number's bit with one time-out.
inline Record DriveAdded(std::uint64_t t, const char *root) {
  return {{"t", t}, {"event", SHCNE_DRIVEADD}, {"flags", SHCNF_PATHA}, {"path", root}};
}
inline Record Broadcast(std::uint64_t t, std::int32_t drive, std::uint32_t timeout) {
  return {{"t", t},
          {"msg", WM_DEVICECHANGE},
          {"wParam", DBT_DEVICEARRIVAL},
          {"devicetype", DBT_DEVTYP_VOLUME},
          {"unitmask", 1u << drive},
          {"flags", SMTO_ABORTIFHUNG},
          {"timeout", timeout}};
}
inline Record Exit(std::uint64_t t, std::int64_t code) {
  return {{"t", t}, {"code", code}};
}

}  // namespace shellbeacon_test
