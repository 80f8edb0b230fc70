// ShellBeacon's watch: ten seconds after the library starts, one pass over the volume list per
// second of the two-minute watch; each qualifying volume is announced once, in the pass in which
// it first qualifies, to the shell and by a broadcast to every top-level window.
#include <optional>
#include <string>

#include "BeaconWorld.h"
#include "winsim/Desktop.h"
#include "winsim/SystemVersion.h"

namespace shellbeacon_test {
namespace {

using ShellBeaconTest = BeaconWorld;

struct QuietCase {
  const char *name;
  std::vector<standins::EncryptionSuite::Volume> volumes;
};

class QuietWatchTest : public BeaconWorld, public ::testing::WithParamInterface<QuietCase> {};

TEST_P(QuietWatchTest, RunsOnePassPerSecondAnnouncesNothingAndEndsAt130Seconds) {
  for (const auto &v : GetParam().volumes) Suite().mount(v);
  EXPECT_EQ(RunToEnd(), Exit(130000, 0));
  EXPECT_EQ(Notifications(), Records{});
  EXPECT_EQ(Broadcasts(), Records{});
  ExpectLibraryUse(120, 1, 0);
  EXPECT_EQ(Suite().init_param().dwSize, 16u);
  EXPECT_EQ(Suite().init_param().dwVersion, 6u);
  EXPECT_EQ(Suite().init_param().pReserved, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Lists, QuietWatchTest,
                         ::testing::Values(QuietCase("Empty", {}),
                                           QuietCase("NotMountedBySuite", {{4, 0, 0}}),
                                           QuietCase("Field84NotOne", {{4, 2, 0}}),
                                           QuietCase("Dismounting", {{4, 1, 1}, {5, 1, 7}})),
                         [](const auto &param_info) { return param_info.param.name; });

TEST_F(ShellBeaconTest, AVolumeIsAnnouncedInThePassItFirstQualifiesAndNeverAgain) {
  std::uint32_t pid = Start();
  world.run_until(29500);
  Mount(4);
  world.run_until(50500);
  Mount(4, 1, 1);  // stops qualifying: the passes go on at one per second
  world.run_until(80500);
  Mount(4);  // qualifies again: already announced
  EXPECT_EQ(Finish(pid), Exit(130000, 0));
  EXPECT_EQ(Notifications(), Records{DriveAdded(30000, "E:\\")});
  EXPECT_EQ(Broadcasts(), Records{Broadcast(30000, 4, 100)});
  ExpectLibraryUse(120, 1, 0);
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

struct VersionCase {
  const char *name;
  std::uint32_t major, minor;
  std::vector<std::uint32_t> timeouts;  // of the broadcasts made
  std::optional<winsim::Fault> fault = std::nullopt;
};

class WindowsVersionTest : public BeaconWorld, public ::testing::WithParamInterface<VersionCase> {};

// A version that cannot be read counts as 0; a broadcast that fails is not retried. Neither
// changes the watch or its exit code, and the shell hears of the drive in any case.
TEST_P(WindowsVersionTest, BeforeVersion6TheArrivalIsBroadcastTwiceWithLongerTimeouts) {
  const VersionCase &c = GetParam();
  winsim::SystemVersion::of(world).set(*winsim::SystemVersion::release(c.major, c.minor));
  if (c.fault) world.faults().add(*c.fault);
  Mount(4);
  EXPECT_EQ(RunToEnd(), Exit(130000, 0));
  Records expected;
  for (std::uint32_t timeout : c.timeouts) expected.push_back(Broadcast(10000, 4, timeout));
  EXPECT_EQ(Broadcasts(), expected);
  EXPECT_EQ(Notifications(), Records{DriveAdded(10000, "E:\\")});
  ExpectLibraryUse(120, 1, 0);
}

winsim::Fault FailingIn(const char *call, const char *function, std::uint32_t nth, bool every) {
  return {call, "", nth, every, std::nullopt, function};
}

INSTANTIATE_TEST_SUITE_P(
    Releases, WindowsVersionTest,
    ::testing::Values(VersionCase("V5_2", 5, 2, {1000, 200}), VersionCase("V6_0", 6, 0, {100}),
                      VersionCase("V6_1", 6, 1, {100}), VersionCase("V10_0", 10, 0, {100}),
                      VersionCase("NeverRead", 6, 1, {1000, 200},
                                  FailingIn("GetVersionExA", "ReadMajorVersion", 1, true)),
                      VersionCase("FirstOfTwoBroadcastsFails", 5, 2, {200},
                                  FailingIn("SendMessageTimeoutA", "BroadcastVolume", 1, false)),
                      VersionCase("EveryBroadcastFails", 6, 1, {},
                                  FailingIn("SendMessageTimeoutA", "BroadcastVolume", 1, true))),
    [](const auto &param_info) { return param_info.param.name; });

TEST_F(ShellBeaconTest, AVersionThatCannotBeReadKeepsThePreviousOneAndZeroAtFirst) {
  // The version is read for every record walked: the first read succeeds, every later one
  // fails, so E: (first pass) and H: (from 20 s) are both announced as on version 6.
  world.faults().add({"GetVersionExA", "", 2, true, std::nullopt});
  std::uint32_t pid = Start();
  Mount(4);
  world.run_until(19500);
  Mount(7);
  EXPECT_EQ(Finish(pid), Exit(130000, 0));
  EXPECT_EQ(Broadcasts(), (Records{Broadcast(10000, 4, 100), Broadcast(21000, 7, 100)}));
}

TEST_F(ShellBeaconTest, ALibraryThatDoesNotStartEndsTheProgramAtOnceWithMinusOne) {
  Suite().set_init_fails(true);
  Mount(4);
  EXPECT_EQ(RunToEnd(), Exit(0, kExitFailed));
  EXPECT_EQ(Broadcasts(), Records{});
  ExpectLibraryUse(0, 0, 0);
}

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
                                           HungCase("HungFiveSeconds", 5000, 10000),
                                           HungCase("HungSinceLogon", 0, 10000)),
                         [](const auto &param_info) { return param_info.param.name; });

}  // namespace
}  // namespace shellbeacon_test
