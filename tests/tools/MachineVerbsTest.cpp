// seed, acp, clock, event and run: settings of the machine, a named event set from outside, and
// programs started by the scenario.
#include <gtest/gtest.h>

#include <sstream>

#include "ScenarioTesting.h"
#include "platform/win32.h"
#include "winsim/FileSystem.h"

namespace {

int ProbeMain() {
  return 7;
}

// Waits up to a minute for "NasCallEvent": 1 when it was set, 2 on the time-out.
int WaiterMain() {
  HANDLE event = CreateEventA(nullptr, FALSE, FALSE, "NasCallEvent");
  DWORD r = WaitForSingleObject(event, 60000);
  CloseHandle(event);
  return r == WAIT_OBJECT_0 ? 1 : 2;
}

// Collects the warnings of the verbs while it lives.
class Warnings {
 public:
  Warnings() { scenario::set_warning_stream(&text_); }
  ~Warnings() { scenario::set_warning_stream(nullptr); }
  std::string str() const { return text_.str(); }

 private:
  std::ostringstream text_;
};

void expect_refused(const std::string &line, const std::string &message) {
  SCOPED_TRACE(line);
  auto refused = scenario_test::refusal("0 seed 1\n1s " + line + "\n2s end\n");
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->line, 2);
  EXPECT_EQ(refused->message, "t.scn:2: " + message);
}

TEST(AcpVerb, SetsTheAnsiCodePageOfTheWorld) {
  winsim::World world;
  scenario_test::play(world, "0 acp 1252\n1s end\n");
  EXPECT_EQ(world.acp(), 1252u);
}

TEST(AcpVerb, RefusesCodePagesTheWorldCannotConvert) {
  expect_refused("acp 850", "acp: code page 850 is not supported (932, 1252, 437 or 65001)");
  expect_refused("acp", "acp: missing code page");
  expect_refused("acp 932 1252", "acp: unexpected \"1252\" after the \"932\"");
}

// Reads the tick count at 1.5 s and at 2.5 s: the wrap falls between.
int TickReaderMain() {
  Sleep(1500);
  DWORD before = GetTickCount();
  Sleep(1000);
  return GetTickCount() == before + 1000 && GetTickCount() < before ? 1 : 0;
}

TEST(ClockVerb, TheTickCountReadsTheGivenValueAtTheLinesTime) {
  {
    winsim::World world;
    world.add_program("ticks.exe", TickReaderMain);
    scenario_test::play(world, "0 run ticks.exe\n1s clock ticks 0xFFFFFDA8\n3s end\n");
    EXPECT_EQ(world.tick_base(), 0xFFFFFDA8u - 1000u);
    EXPECT_EQ(world.exit_code(*world.find_process("ticks.exe")), 1u);
  }
  expect_refused("clock ticks", "clock: missing tick count");
  expect_refused("clock time 5", "clock: unknown setting \"time\" (expected ticks)");
}

TEST(SeedVerb, RefusesWhatIsNoNumber) {
  expect_refused("seed", "seed: missing seed number");
  expect_refused("seed -4",
                 "bad seed \"-4\": expected a number from 0 to 18446744073709551615 "
                 "(decimal or 0x hex)");
  expect_refused("seed 1 2", "seed: unexpected \"2\" after the \"1\"");
}

TEST(EventVerb, SetsTheNamedEventAProgramWaitsOnAtTheLinesTime) {
  winsim::World world;
  world.add_program("waiter.exe", WaiterMain);
  scenario_test::play(world, "0 run waiter.exe\n5s event set NasCallEvent\n10s end\n");
  auto pid = world.find_process("waiter.exe");
  ASSERT_TRUE(pid);
  EXPECT_EQ(world.exit_code(*pid), 1u);
  auto exits = world.trace().select("process.exit", {"t", "pid", "code"});
  ASSERT_EQ(exits.size(), 1u);
  EXPECT_EQ(exits[0]["t"], 5000);
  EXPECT_EQ(world.open_handles(*pid), std::vector<std::string>{});
}

TEST(EventVerb, AnEventNobodyCreatedIsAWarningNotAnError) {
  Warnings warnings;
  winsim::World world;
  scenario_test::play(world, "0 seed 1\n30s event set NasCallEvent\n1m end\n");
  EXPECT_EQ(warnings.str(),
            "t.scn:2: warning: no event named \"NasCallEvent\" exists at this time; nothing was "
            "set\n");
  EXPECT_EQ(world.now(), 60000u);
}

TEST(EventVerb, RefusesOtherActionsAndMissingNames) {
  expect_refused("event", "event: missing action (set)");
  expect_refused("event reset X", "event: unknown action \"reset\" (expected set)");
  expect_refused("event set", "event: missing event name");
  expect_refused("event set A B", "event: unexpected \"B\" after the \"A\"");
}

TEST(RunVerb, PlacesTheImageAtThePathGivenAndStartsTheCommandLineAsWritten) {
  winsim::World world;
  world.add_program("probe.exe", ProbeMain);
  scenario_test::play(world, "2s run C:\\Tools\\probe.exe /x \"a b\"   # the probe\n3s end\n");
  const winsim::FileNode *image = world.files().find("C:\\Tools\\probe.exe");
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->program, "probe.exe");
  auto starts = world.trace().select("process.start", {"t", "image", "cmdline"});
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_EQ(starts[0]["t"], 2000);
  EXPECT_EQ(starts[0]["image"], "C:\\Tools\\probe.exe");
  EXPECT_EQ(starts[0]["cmdline"], "C:\\Tools\\probe.exe /x \"a b\"");
  EXPECT_EQ(world.exit_code(*world.find_process("probe.exe")), 7u);
}

TEST(RunVerb, AQuotedPathWithBlanksAndABareNameWithoutExtension) {
  winsim::World world;
  world.add_program("probe.exe", ProbeMain);
  scenario_test::play(world,
                      "0 run \"C:\\Program Files\\Norvane\\probe.exe\" -install\n"
                      "1s run probe -q\n2s end\n");
  auto starts = world.trace().select("process.start", {"image", "cmdline"});
  ASSERT_EQ(starts.size(), 2u);
  EXPECT_EQ(starts[0]["image"], "C:\\Program Files\\Norvane\\probe.exe");
  EXPECT_EQ(starts[0]["cmdline"], "\"C:\\Program Files\\Norvane\\probe.exe\" -install");
  EXPECT_EQ(starts[1]["image"], "C:\\probe.exe");
  EXPECT_EQ(starts[1]["cmdline"], "probe -q");
}

TEST(RunVerb, AStartRefusedByAPlantedFaultIsAWarningAndTheRunGoesOn) {
  Warnings warnings;
  winsim::World world;
  world.add_program("probe.exe", ProbeMain);
  scenario_test::play(world, "0 fault CreateProcessW match probe\n1s run probe -q\n2s end\n");
  EXPECT_EQ(warnings.str(), "t.scn:2: warning: winsim: cannot start \"probe -q\": error 2\n");
  EXPECT_TRUE(world.trace().of_kind("process.start").empty());
  EXPECT_EQ(world.now(), 2000u);
}

TEST(RunVerb, RefusesUnknownProgramsAndMissingCommandLines) {
  expect_refused("run", "run: missing command line");
  expect_refused("run C:\\Tools\\nothing.exe -x",
                 "run: no program \"nothing.exe\" is known to the simulator");
  expect_refused("run \\\\server\\share\\probe.exe",
                 "run: \"\\\\server\\share\\probe.exe\" is not a path on the machine");
}

}  // namespace
