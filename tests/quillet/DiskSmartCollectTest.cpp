// The disk step as a whole: starting the listing tool, waiting for it, the failures and what
// they leave in the records, and the bay values written to or deleted from the registry.
#include <gtest/gtest.h>

#include "DiskSmartSupport.h"
#include "winsim/Text.h"

namespace disk_test {
namespace {

using Records = std::vector<winsim::Trace::Record>;

constexpr const char *kCommandLine =
    "\"C:\\Windows\\System32\\wbem\\wmic.exe\" Path Win32_DiskDrive get Caption, InterfaceType, "
    "Name, SCSIBus /format:csv";

class ListingTool : public DiskSmartWorld {
 protected:
  ListingTool() { wmic().output = TwoBayListing(); }
};

// The service's folder and the current folder come before the system folder in the search
// for a bare program name: a wmic.exe there is not started. What the texts of the failures
// leave in the bays is under DiskStepFailures; the tool's absence is under ListingWithoutTool.
TEST_F(ListingTool, IsStartedByItsFullPathAndGivesItsBytesUpToTheFirstNulOrWhatFailed) {
  world.add_program("impostor.exe", winsim::ProgramEntry{[] { return 0; }});
  world.place_program("C:\\wmic.exe", "impostor.exe");
  EXPECT_EQ(QueryDiskList(), TwoBayListing());
  EXPECT_EQ(world.trace().select("process.start", {"image", "cmdline", "parent"}),
            (Records{{{"image", standin::kWmicImagePath},
                      {"cmdline", kCommandLine},
                      {"parent", world.host_pid()}}}));
  wmic().output = std::string("\r\r\nNode\r\n\xE9\x96\r\r\n\0tail", 19);
  EXPECT_EQ(QueryDiskList(), std::string("\r\r\nNode\r\n\xE9\x96\r\r\n"));

  wmic().output = TwoBayListing();
  world.trace().clear();
  world.faults().add({"GetSystemDirectoryA", "", 1, false, ERROR_NOT_ENOUGH_MEMORY});
  world.faults().add({"CreatePipe", "", 1, false, ERROR_NOT_ENOUGH_MEMORY});
  EXPECT_EQ(QueryDiskList(), "");  // no system folder, so no command line
  EXPECT_EQ(QueryDiskList(), "");
  EXPECT_TRUE(world.trace().of_kind("process.start").empty());
  world.faults().add({"CreateProcessA", "", 1, false, ERROR_ACCESS_DENIED});
  EXPECT_EQ(QueryDiskList(), std::string("NG: ") + kCommandLine + " 5");
  world.faults().add({"CreateProcessA", "", 1, false, 0x4C7});
  EXPECT_EQ(QueryDiskList(), std::string("NG: ") + kCommandLine + " 4c7");
  EXPECT_EQ(world.open_handles(world.host_pid()), std::vector<std::string>{});
}

// The pipe holds 4096 bytes: the tool's write waits for the drain after the first step.
TEST_F(ListingTool, AToolThatFillsThePipeGoesOnAfterTheNextDrain) {
  std::string output(6000, 'x');
  wmic().output = output;
  wmic().delay_ms = 1000;
  EXPECT_EQ(QueryDiskList(), output);
  EXPECT_EQ(world.trace().select("process.exit", {"t"}), (Records{{{"t", 11000}}}));
  EXPECT_EQ(world.now(), 11000u);
}

TEST_F(ListingTool, AToolThatNeverEndsIsTerminatedAfter60sAndItsOutputKept) {
  world.faults().add({"PeekNamedPipe", "", 2, true, ERROR_BROKEN_PIPE});
  wmic().hang = true;
  EXPECT_EQ(QueryDiskList(), TwoBayListing());
  EXPECT_EQ(world.now(), 60000u);
  EXPECT_EQ(world.trace().select("process.exit", {"t", "code"}),
            (Records{{{"t", 60000}, {"code", ERROR_TIMEOUT}}}));
  // The first drain read the listing; the later ones, every 10 s and the last one tried once
  // more, are in the trace.
  std::vector<std::uint64_t> drains;
  for (const auto &r : world.trace().of_kind("fault")) drains.push_back(r["t"]);
  EXPECT_EQ(drains, (std::vector<std::uint64_t>{20000, 30000, 40000, 50000, 60000, 60000, 60000}));
  EXPECT_EQ(world.open_handles(world.host_pid()), std::vector<std::string>{});
}

// The tool ends at 2 s. A wait that fails lets the step pass in a pause, and the exit code
// tells that the tool has ended: its whole listing, and it is not terminated. A final drain
// that fails is tried once more.
TEST_F(ListingTool, FailedWaitsAndDrainsLoseNothingOfTheListing) {
  wmic().delay_ms = 2000;
  for (const char *call : {"WaitForSingleObject", "PeekNamedPipe", "ReadFile"}) {
    SCOPED_TRACE(call);
    world.faults().clear();
    world.trace().clear();
    world.faults().add({call, "", 1, std::string(call) == "WaitForSingleObject", 6});
    std::uint64_t start = world.now();
    EXPECT_EQ(QueryDiskList(), TwoBayListing());
    EXPECT_EQ(world.trace().select("process.exit", {"code"}), (Records{{{"code", 0}}}));
    EXPECT_EQ(world.now() - start, std::string(call) == "WaitForSingleObject" ? 10000u : 2000u);
  }
}

// A tool that never ends and cannot be terminated is kept; the next listing ends it before it
// starts another, and while it cannot be ended no other is started: one stray at most.
TEST_F(ListingTool, AToolThatCannotBeTerminatedNeverHasASecondBesideIt) {
  wmic().hang = true;
  world.faults().add({"TerminateProcess", "", 1, true, ERROR_ACCESS_DENIED});
  EXPECT_EQ(QueryDiskList(), TwoBayListing());
  EXPECT_EQ(QueryDiskList(), "");
  world.faults().clear();
  wmic().hang = false;
  EXPECT_EQ(QueryDiskList(), TwoBayListing());
  EXPECT_EQ(world.trace().select("process.start", {"t"}), (Records{{{"t", 0}}, {{"t", 60000}}}));
  EXPECT_EQ(world.trace().select("process.exit", {"t", "code"}),
            (Records{{{"t", 60000}, {"code", ERROR_TIMEOUT}}, {{"t", 60000}, {"code", 0}}}));
  EXPECT_EQ(world.open_handles(world.host_pid()), std::vector<std::string>{});
}

// Neither the waits nor the exit code can tell that the tool (ending at 2 s) has ended: it is
// taken for running until the limit, and its listing is whole. Its termination then fails, as
// it has ended, and the next listing releases it, also when it cannot see it end either.
TEST_F(ListingTool, AToolWhoseEndCannotBeSeenIsWaitedForToTheLimitAndThenReleased) {
  wmic().delay_ms = 2000;
  world.faults().add({"WaitForSingleObject", "", 1, true, 6});
  world.faults().add({"GetExitCodeProcess", "", 1, true, 6});
  EXPECT_EQ(QueryDiskList(), TwoBayListing());
  EXPECT_EQ(QueryDiskList(), TwoBayListing());
  world.faults().clear();
  EXPECT_EQ(QueryDiskList(), TwoBayListing());
  EXPECT_EQ(world.trace().select("process.start", {"t"}),
            (Records{{{"t", 0}}, {{"t", 60000}}, {{"t", 120000}}}));
  EXPECT_EQ(world.now(), 122000u);
  EXPECT_EQ(world.open_handles(world.host_pid()), std::vector<std::string>{});
}

class DiskStepFailures : public DiskSmartWorld {
 protected:
  void SetUp() override {
    wmic().output = TwoBayListing();
    SeedBayValues();
  }
};

// An empty text (no pipe) and the start failure's text, which has no line feed, both parse as
// one row at bus 0 with an empty device path: bay 0 is present but unreadable, bay 1 empty, and
// both bays' values are deleted.
TEST_F(DiskStepFailures, WithoutAListingBayZeroHasNoHandleAndBayOneNoDisk) {
  AddHealthyDisk(0);
  AddHealthyDisk(1);
  world.faults().add({"CreatePipe", "", 1, false, ERROR_NOT_ENOUGH_MEMORY});
  for (int attempt = 0; attempt < 2; ++attempt) {
    SCOPED_TRACE(attempt == 0 ? "no pipe" : "the tool does not start");
    HddReport report = CollectAfresh();
    EXPECT_EQ(report.Hdd[0].Name, "");
    EXPECT_THAT(report.Status, ElementsAre(HDD_STATUS_NO_HANDLE, HDD_STATUS_NORMAL));
    EXPECT_EQ(RegistryEffects(), BayEffects({}, {}));
    world.faults().add({"CreateProcessA", "", 1, false, ERROR_ACCESS_DENIED});
  }
}

TEST_F(DiskStepFailures, TheToolsNoInstanceMessageGivesNoPathForBothBaysAndReadsNoDrive) {
  wmic().output = "\r\r\n" + winsim::cp932("利用できるインスタンスがありません。") + "\r\r\n";
  auto disk = AddHealthyDisk(0);
  HddReport report = Collect();
  EXPECT_THAT(report.Status, ElementsAre(HDD_STATUS_NO_PATH, HDD_STATUS_NO_PATH));
  EXPECT_TRUE(disk->requests().empty());
  EXPECT_EQ(RegistryEffects(), BayEffects({}, {}));
}

// A drive read whose thresholds fail has five figures, yet all six values of its bay are deleted.
TEST_F(DiskStepFailures, ADriveThatWillNotOpenOrRefusesARequestLeavesItsBayWithoutHandle) {
  world.add_program("Quillet.exe", winsim::ProgramImage{NORVANE_PROGRAMS_DIR "/Quillet.so"});
  AddHealthyDisk(0);
  AddHealthyDisk(1);
  // The faults name the function in the program's image. Bay 0's drive does not open; then bay 1's
  // request for its data (the third) fails.
  world.faults().add({"CreateFileA", "", 1, false, ERROR_ACCESS_DENIED, "ReadSmartBlock"});
  HddReport report = Collect();
  EXPECT_THAT(report.Status, ElementsAre(HDD_STATUS_NO_HANDLE, HDD_STATUS_NORMAL));
  EXPECT_EQ(RegistryEffects(), BayEffects({}, kHealthyValues));
  world.faults().clear();
  world.faults().add({"DeviceIoControl", "", 3, false, ERROR_NOT_READY, "ReadSmartBlock"});
  world.trace().clear();
  report = Collect();
  EXPECT_THAT(report.Status, ElementsAre(HDD_STATUS_NORMAL, HDD_STATUS_NO_HANDLE));
  EXPECT_EQ(RegistryEffects(), BayEffects(kHealthyValues, {}));
  EXPECT_TRUE(world.open_handles(world.host_pid()).empty());  // the failed drives' too
  world.faults().clear();
  winsim::find_smart_disk(world, 0)->set_failure(winsim::SmartDisk::Failure::Thresholds);
  report = CollectAfresh();
  EXPECT_EQ(report.Status[0], HDD_STATUS_NO_HANDLE);
  EXPECT_EQ(Figures(report.Hdd[0]), (std::vector<LONG>{41, 5, 100, -1, 2, 0}));
  EXPECT_EQ(RegistryEffects(), BayEffects({}, kHealthyValues));
}

TEST_F(DiskStepFailures, TheDrivesArePathsFromTheListingNotBayNumbers) {
  wmic().output = Listing({Row("Disk", "IDE", Drive(2), "0"), Row("Disk", "IDE", Drive(7), "1")});
  auto bay0 = AddHealthyDisk(2);
  auto bay1 = AddHealthyDisk(7);
  auto other = AddHealthyDisk(0);
  HddReport report = Collect();
  EXPECT_THAT(report.Status, ElementsAre(HDD_STATUS_NORMAL, HDD_STATUS_NORMAL));
  EXPECT_EQ(bay0->requests().size(), 2u);
  EXPECT_EQ(bay1->requests().size(), 2u);
  EXPECT_TRUE(other->requests().empty());
}

TEST_F(DiskStepFailures, RegistryWritesThatFailAndAKeyThatWillNotOpenForWritingAreIgnored) {
  world.faults().add({"RegSetValueExA", "", 1, true, ERROR_ACCESS_DENIED});
  world.faults().add({"RegDeleteValueA", "", 1, true, ERROR_ACCESS_DENIED});
  wmic().output = Listing({Row("Disk", "IDE", Drive(0), "0")});
  AddHealthyDisk(0);
  HddReport report = Collect();
  EXPECT_EQ(report.Hdd[0].Temp, 41);
  EXPECT_THAT(report.Status, ElementsAre(HDD_STATUS_NORMAL, HDD_STATUS_NORMAL));
  std::vector<std::string> calls;
  for (const auto &r : world.trace().of_kind("fault")) calls.push_back(r["call"]);
  std::vector<std::string> expected(6, "RegSetValueExA");
  expected.resize(12, "RegDeleteValueA");
  EXPECT_EQ(calls, expected);
  EXPECT_EQ(RegistryEffects(), std::vector<std::string>{});
  world.faults().clear();
  world.registry().deny_full_access(kConfigPath);
  wmic().output = TwoBayListing();
  AddHealthyDisk(1);
  world.trace().clear();
  EXPECT_EQ(Collect().Hdd[1].Th05, 36);
  EXPECT_EQ(RegistryEffects(), std::vector<std::string>{});
}

}  // namespace
}  // namespace disk_test
