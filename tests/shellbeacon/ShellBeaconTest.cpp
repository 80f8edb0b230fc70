// ShellBeacon.exe in a simulated logon, in place as the installer puts it, with the encryption
// suite behind the proxy library's stand-in. Its watch: ten seconds after the library starts, one
// pass over the volume list per second of the two-minute watch; each qualifying volume is
// announced once, in the pass in which it first qualifies, to the shell and by a broadcast to
// every top-level window. The stand-in keeps its lists and handles in pages of its own: a program
// that misuses them is stopped at the misuse, with a report naming it.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "../WorldSeed.h"
#include "platform/win32.h"
#include "standins/EncryptionSuite.h"
#include "winsim/Desktop.h"
#include "winsim/LibraryHeap.h"
#include "winsim/SystemVersion.h"
#include "winsim/World.h"

namespace shellbeacon_test {
namespace {

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
Record DriveAdded(std::uint64_t t, const char *root) {
  return {{"t", t}, {"event", SHCNE_DRIVEADD}, {"flags", SHCNF_PATHA}, {"path", root}};
}
Record Broadcast(std::uint64_t t, std::int32_t drive, std::uint32_t timeout) {
  return {{"t", t},
          {"msg", WM_DEVICECHANGE},
          {"wParam", DBT_DEVICEARRIVAL},
          {"devicetype", DBT_DEVTYP_VOLUME},
          {"unitmask", 1u << drive},
          {"flags", SMTO_ABORTIFHUNG},
          {"timeout", timeout}};
}
Record Exit(std::uint64_t t, std::int64_t code) {
  return {{"t", t}, {"code", code}};
}

enum class Misuse { ReadAfterFree, WriteAfterFree, FreeTwice, FreeARecordInside, ListAfterRelease };
Misuse g_misuse;

// Starts a session at 0 s, takes a list of two records at 1 s, frees it at 2 s (but for
// FreeARecordInside), then does the misuse.
int MisuseMain() {
  _SDK_Kelp_Init_Param param{16, 6, nullptr};
  void *hKelp = kelp_Init(&param);
  Sleep(1000);
  _UTL_VOLUME_STATUS *pList = nullptr;
  kelp_GetVolumeList(hKelp, pList);
  Sleep(1000);
  if (g_misuse == Misuse::FreeARecordInside) return kelp_FreeVolumeList(hKelp, pList->pNext);
  kelp_FreeVolumeList(hKelp, pList);
  switch (g_misuse) {
    case Misuse::ReadAfterFree:
      return pList->nDriveNo;
    case Misuse::WriteAfterFree:
      pList->pNext = nullptr;
      return 0;
    case Misuse::FreeTwice:
      Sleep(1000);
      return kelp_FreeVolumeList(hKelp, pList);
    default:
      kelp_Release(hKelp);
      return kelp_GetVolumeList(hKelp, pList);
  }
}

struct MisuseCase {
  const char *name;
  Misuse misuse;
  const char *report;  // after "winsim: fault of the program: pid 12 (misuse.exe) tid 16 "
};

class MisuseTest : public BeaconWorld, public ::testing::WithParamInterface<MisuseCase> {};

TEST_P(MisuseTest, StopsTheRunAtTheMisuseWithAReportNamingTheProgram) {
  Mount(4);
  Mount(5);
  g_misuse = GetParam().misuse;
  world.add_program("misuse.exe", MisuseMain);
  world.place_program("C:\\misuse.exe", "misuse.exe");
  std::uint32_t pid = world.start("C:\\misuse.exe");
  try {
    world.wait_exit(pid);
    FAIL() << "the program ran to its end";
  } catch (const winsim::RunStopped &stop) {
    EXPECT_EQ(stop.reason(), winsim::RunStopped::Reason::ProgramFault);
    EXPECT_EQ(stop.what(), "winsim: fault of the program: pid 12 (misuse.exe) tid 16 " +
                               std::string(GetParam().report) + "\n");
  }
  EXPECT_TRUE(world.running(pid));  // stopped where it stood, never ended
}

INSTANTIATE_TEST_SUITE_P(
    Programs, MisuseTest,
    ::testing::Values(
        MisuseCase{"ReadAfterFree", Misuse::ReadAfterFree,
                   "read byte 0x80 of the volume list kelp_GetVolumeList handed out at 1.000 s "
                   "after kelp_FreeVolumeList took it back at 2.000 s"},
        MisuseCase{"WriteAfterFree", Misuse::WriteAfterFree,
                   "wrote byte 0xB0 of the volume list kelp_GetVolumeList handed out at 1.000 s "
                   "after kelp_FreeVolumeList took it back at 2.000 s"},
        MisuseCase{"FreeTwice", Misuse::FreeTwice,
                   "passed the volume list kelp_GetVolumeList handed out at 1.000 s to "
                   "kelp_FreeVolumeList after kelp_FreeVolumeList took it back at 2.000 s"},
        MisuseCase{"FreeARecordInside", Misuse::FreeARecordInside,
                   "passed kelp_FreeVolumeList a pointer that is not the start of a block the "
                   "library handed out"},
        MisuseCase{"ListAfterRelease", Misuse::ListAfterRelease,
                   "passed the handle kelp_Init returned at 0.000 s to kelp_GetVolumeList after "
                   "kelp_Release took it back at 2.000 s"}),
    [](const auto &param_info) { return param_info.param.name; });

using ShellBeaconTest = BeaconWorld;

using Volumes = std::vector<standins::EncryptionSuite::Volume>;

struct WatchCase {
  const char *name;
  Volumes volumes;                      // mounted before the start
  std::uint32_t major, minor;           // the release; 0.0: the default one
  std::vector<std::uint32_t> timeouts;  // of the broadcasts made for E: at 10 s
  bool announced;                       // E: qualifies and the shell hears of it at 10 s
  std::optional<winsim::Fault> fault = std::nullopt;
};

winsim::Fault FailingIn(const char *call, const char *function, std::uint32_t nth, bool every) {
  return {call, "", nth, every, std::nullopt, function};
}

class WatchTest : public BeaconWorld, public ::testing::WithParamInterface<WatchCase> {};

// A version that cannot be read counts as 0; a broadcast that fails is not retried. Neither
// changes the watch or its exit code, and the shell hears of the drive in any case.
TEST_P(WatchTest, RunsOnePassPerSecondTo130SecondsAndBroadcastsTwiceWithLongerTimeoutsBefore6) {
  const WatchCase &c = GetParam();
  if (c.major != 0)
    winsim::SystemVersion::of(world).set(*winsim::SystemVersion::release(c.major, c.minor));
  if (c.fault) world.faults().add(*c.fault);
  for (const auto &v : c.volumes) Suite().mount(v);
  EXPECT_EQ(RunToEnd(), Exit(130000, 0));
  Records expected;
  for (std::uint32_t timeout : c.timeouts) expected.push_back(Broadcast(10000, 4, timeout));
  EXPECT_EQ(Broadcasts(), expected);
  EXPECT_EQ(Notifications(), c.announced ? Records{DriveAdded(10000, "E:\\")} : Records{});
  ExpectLibraryUse(120, 1, 0);
  EXPECT_EQ(Suite().init_param().dwSize, 16u);
  EXPECT_EQ(Suite().init_param().dwVersion, 6u);
  EXPECT_EQ(Suite().init_param().pReserved, nullptr);
}

const Volumes kE = {{4, 1, 0}};

INSTANTIATE_TEST_SUITE_P(
    ListsAndReleases, WatchTest,
    ::testing::Values(WatchCase("NotMountedBySuite", {{4, 0, 0}}, 0, 0, {}, false),
                      WatchCase("Field84NotOne", {{4, 2, 0}}, 0, 0, {}, false),
                      WatchCase("Dismounting", {{4, 1, 1}, {5, 1, 7}}, 0, 0, {}, false),
                      WatchCase("V6_0", kE, 6, 0, {100}, true),
                      WatchCase("NeverRead", kE, 6, 1, {1000, 200}, true,
                                FailingIn("GetVersionExA", "ReadMajorVersion", 1, true)),
                      WatchCase("FirstOfTwoBroadcastsFails", kE, 5, 2, {200}, true,
                                FailingIn("SendMessageTimeoutA", "BroadcastVolume", 1, false)),
                      WatchCase("EveryBroadcastFails", kE, 6, 1, {}, true,
                                FailingIn("SendMessageTimeoutA", "BroadcastVolume", 1, true))),
    [](const auto &param_info) { return param_info.param.name; });

// The version is read for every record walked: the first read (E: at 30 s) succeeds, every later
// one fails, so E: and H: are both announced as on version 6.
TEST_F(ShellBeaconTest, AVolumeIsAnnouncedOnceInThePassItFirstQualifiesOnTheVersionLastRead) {
  world.faults().add({"GetVersionExA", "", 2, true, std::nullopt});
  std::uint32_t pid = Start();
  world.run_until(29500);
  Mount(4);
  world.run_until(50500);
  Mount(4, 1, 1);  // stops qualifying: the passes go on at one per second
  world.run_until(79500);
  Mount(4);  // qualifies again: already announced
  Mount(7);
  EXPECT_EQ(Finish(pid), Exit(130000, 0));
  EXPECT_EQ(Notifications(), (Records{DriveAdded(30000, "E:\\"), DriveAdded(81000, "H:\\")}));
  EXPECT_EQ(Broadcasts(), (Records{Broadcast(30000, 4, 100), Broadcast(81000, 7, 100)}));
  ExpectLibraryUse(95, 1, 0);  // two seconds a pass from 80 s
}

struct DriveCase {
  std::int32_t drive;
  const char *root;  // null: no drive letter, no shell notification
  bool announced;    // false: outside the announced set, skipped as not qualifying
};

class DriveNumberTest : public BeaconWorld, public ::testing::WithParamInterface<DriveCase> {};

// Beside E:, an announced drive makes every pass take two seconds (60 passes, the watch still
// ends at 130 s); a drive number the announced set has no bit for is skipped like a volume that
// does not qualify, and the pass still takes one second.
TEST_P(DriveNumberTest, LettersGoToTheShellNumbersUpTo31ToTheBroadcastAndOthersNowhere) {
  const DriveCase &c = GetParam();
  Mount(c.drive);
  Mount(4);
  EXPECT_EQ(RunToEnd(), Exit(130000, 0));
  Records notified, broadcast;
  if (c.root) notified.push_back(DriveAdded(10000, c.root));
  if (c.announced) broadcast.push_back(Broadcast(10000, c.drive, 100));
  std::uint64_t e_at = c.announced ? 11000 : 10000;
  notified.push_back(DriveAdded(e_at, "E:\\"));
  broadcast.push_back(Broadcast(e_at, 4, 100));
  EXPECT_EQ(Notifications(), notified);
  EXPECT_EQ(Broadcasts(), broadcast);
  ExpectLibraryUse(c.announced ? 60 : 120, 1, 0);
}

INSTANTIATE_TEST_SUITE_P(Drives, DriveNumberTest,
                         ::testing::Values(DriveCase(0, "A:\\", true), DriveCase(25, "Z:\\", true),
                                           DriveCase(26, nullptr, true),
                                           DriveCase(31, nullptr, true),
                                           DriveCase(32, nullptr, false),
                                           DriveCase(-1, nullptr, false)));

TEST_F(ShellBeaconTest, AListThatCannotBeReadEndsTheProgramAtOnceKeepingTheSession) {
  world.faults().add({"kelp_GetVolumeList", "", 3, false, std::nullopt});
  Mount(4);
  EXPECT_EQ(RunToEnd(), Exit(12000, kExitFailed));
  // The first pass's announcement stands; the handle was not released.
  EXPECT_EQ(Broadcasts(), Records{Broadcast(10000, 4, 100)});
  ExpectLibraryUse(2, 0, 1);
}

struct HungCase {
  const char *name;
  std::uint64_t hung_from;  // when the hung window appeared (ms)
  std::uint64_t others_at;  // when the answering windows get the broadcast
};

class HungWindowTest : public BeaconWorld, public ::testing::WithParamInterface<HungCase> {};

// A window hung for less than five seconds costs the broadcast its time-out; one the system
// already takes for not responding is skipped at once. It gets no message either way.
TEST_P(HungWindowTest, DelaysThePassByTheTimeoutOnlyWhileNotYetTakenForHung) {
  const HungCase &c = GetParam();
  winsim::Desktop &desktop = winsim::Desktop::of(world);
  desktop.open("Shell_TrayWnd", "");
  desktop.open("Notepad", "memo.txt - Notepad");
  Mount(4);
  std::uint32_t pid = Start();
  world.run_until(c.hung_from);
  desktop.open("Frozen", "Frozen", true);
  std::uint64_t delay = c.others_at - 10000;
  EXPECT_EQ(Finish(pid), Exit(130000 + delay, 0));

  Record volume = {{"size", 20}, {"devicetype", 2}, {"unitmask", 16}, {"flags", 0}};
  Records received;
  for (const char *window_class : {"Notepad", "Shell_TrayWnd"})
    received.push_back({{"t", c.others_at},
                        {"class", window_class},
                        {"msg", WM_DEVICECHANGE},
                        {"wParam", DBT_DEVICEARRIVAL},
                        {"lParam", volume}});
  EXPECT_EQ(world.trace().select("window.message", {"t", "class", "msg", "wParam", "lParam"}),
            received);
  EXPECT_EQ(Broadcasts(), Records{Broadcast(10000, 4, 100)});
  ExpectLibraryUse(120, 1, 0);
}

INSTANTIATE_TEST_SUITE_P(Windows, HungWindowTest,
                         ::testing::Values(HungCase("JustHung", 7000, 10100),
                                           HungCase("HungFiveSeconds", 5000, 10000)),
                         [](const auto &param_info) { return param_info.param.name; });

}  // namespace
}  // namespace shellbeacon_test
