// seed, acp, clock, event, run, fault, reg and disk: settings of the machine, a named event set
// from outside, programs started by the scenario, the rule a fault line adds to the world's fault
// plan, registry values of every type landing byte for byte, keys created, deleted and locked,
// and a drive's readings.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "ScenarioTesting.h"
#include "monitor/disk_smart.h"
#include "platform/win32.h"
#include "scenario/CodeNames.h"
#include "winsim/FaultPlan.h"
#include "winsim/FileSystem.h"
#include "winsim/Registry.h"
#include "winsim/SmartDisk.h"

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

// The tick count reads the line's number at the line's time: GetTickCount is the base plus the
// virtual time (the clock's tests).
TEST(MachineVerbs, AcpSetsTheCodePageAndClockTheTickCountAtTheLinesTime) {
  winsim::World world;
  scenario_test::play(world, "0 acp 1252\n1s clock ticks 0xFFFFFDA8\n3s end\n");
  EXPECT_EQ(world.acp(), 1252u);
  EXPECT_EQ(world.tick_base(), 0xFFFFFDA8u - 1000u);
}

// The second line finds the event gone with the program that made it: a warning, not an error.
TEST(EventVerb, SetsTheNamedEventAProgramWaitsOnAtTheLinesTime) {
  Warnings warnings;
  winsim::World world;
  world.add_program("waiter.exe", WaiterMain);
  scenario_test::play(world,
                      "0 run waiter.exe\n5s event set NasCallEvent\n30s event set NasCallEvent\n"
                      "1m end\n");
  auto pid = world.find_process("waiter.exe");
  ASSERT_TRUE(pid);
  EXPECT_EQ(world.trace().select("process.exit", {"t", "pid", "code"}),
            (std::vector<winsim::Trace::Record>{{{"t", 5000}, {"pid", *pid}, {"code", 1}}}));
  EXPECT_EQ(world.open_handles(*pid), std::vector<std::string>{});
  EXPECT_EQ(warnings.str(),
            "t.scn:3: warning: no event named \"NasCallEvent\" exists at this time; nothing was "
            "set\n");
}

// The image goes where the path says (the system drive's root for a bare name); the command
// line is started as written.
TEST(RunVerb, PlacesTheImageAtThePathGivenAndStartsTheCommandLineAsWritten) {
  winsim::World world;
  world.add_program("probe.exe", ProbeMain);
  scenario_test::play(world,
                      "0 run \"C:\\Program Files\\Norvane\\probe.exe\" -install\n"
                      "1s run probe -q\n3s end\n");
  const winsim::FileNode *image = world.files().find("C:\\Program Files\\Norvane\\probe.exe");
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->program, "probe.exe");
  EXPECT_EQ(world.trace().select("process.start", {"t", "image", "cmdline"}),
            (std::vector<winsim::Trace::Record>{
                {{"t", 0},
                 {"image", "C:\\Program Files\\Norvane\\probe.exe"},
                 {"cmdline", "\"C:\\Program Files\\Norvane\\probe.exe\" -install"}},
                {{"t", 1000}, {"image", "C:\\probe.exe"}, {"cmdline", "probe -q"}}}));
  EXPECT_EQ(world.exit_code(*world.find_process("probe.exe")), 7u);
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

// The options reach the plan as written, in any order: a count, a first call of many, an error,
// a match; without a count the first call fails, without an error the call's own default. What
// the plan makes of a rule is the plan's tests' to show.
TEST(FaultVerb, CountErrorAndMatchReachThePlan) {
  winsim::World world;
  scenario_test::play(world,
                      "0 fault RegOpenKeyExA nth 2 error 87 match tesmar\\CONFIG\n0 fault "
                      "RegOpenKeyExA from 3 match Other\n0 fault RegOpenKeyExA match Third error "
                      "0x2\n1s end\n");
  std::vector<std::string> rules;
  for (const winsim::Fault &f : world.faults().unmatched())
    rules.push_back(f.call + " " + f.match + (f.from ? " from " : " nth ") + std::to_string(f.nth) +
                    " error " + (f.error ? std::to_string(*f.error) : "default"));
  EXPECT_EQ(rules, (std::vector<std::string>{"RegOpenKeyExA tesmar\\CONFIG nth 2 error 87",
                                             "RegOpenKeyExA Other from 3 error default",
                                             "RegOpenKeyExA Third nth 1 error 2"}));
}

// A rule that matched no call made nothing fail: its line is in the run's summary and a warning
// at the end. Calls winsim names otherwise are rules like any other: a COM method, a stand-in
// library's function, the wait a one-handle WaitForMultipleObjects is.
TEST(FaultRules, ThoseThatMatchedNoCallAreReportedAtTheEndOfTheRun) {
  Warnings warnings;
  scenario::Runner runner(scenario_test::all_verbs(), [](winsim::World &world) {
    world.add_program("waiter.exe", WaiterMain);
  });
  scenario::RunResult result = runner.run(
      scenario::parse_scenario("0 fault CreateEventA match Elsewhere\n0 fault WaitForSingleObject\n"
                               "0 fault IMMDevice::OpenPropertyStore\n0 fault kelp_Init\n"
                               "0 run waiter.exe\n1s end\n",
                               "t.scn"),
      nullptr);
  EXPECT_EQ(result.unmatched_faults, (std::vector<int>{1, 3, 4}));
  EXPECT_EQ(warnings.str(),
            "t.scn:1: warning: this fault rule matched no call: nothing failed\n"
            "t.scn:3: warning: this fault rule matched no call: nothing failed\n"
            "t.scn:4: warning: this fault rule matched no call: nothing failed\n");
}

// The names fault lines may use are read from winsim's sources when the simulator is built:
// every call the programs make in the scenarios is among them.
TEST(FaultRules, EveryCallTheProgramsMakeMayBeNamed) {
  std::set<std::string> calls;
  for (const char *name : {"demo.scn", "installer.scn", "shellbeacon.scn"}) {
    winsim::World world;
    scenario::register_programs(world);
    world.faults().record_sites(true);
    scenario::Runner(scenario_test::all_verbs(), nullptr)
        .play(world, scenario::load_scenario(std::string(NORVANE_SOURCE_DIR "/scenarios/") + name));
    for (const auto &[site, count] : world.faults().sites()) calls.insert(site.call);
  }
  ASSERT_GT(calls.size(), 50u);
  for (const std::string &call : calls) EXPECT_TRUE(scenario::is_emulated_call(call)) << call;
}

TEST(ServiceVerbs, ControlsAndPowerEventsGoByNameOrNumber) {
  winsim::World world;
  scenario_test::play(world,
                      "0 sc control Orvexd paramchange\n0 sc control Orvexd 6\n"
                      "0 sc control Orvexd interrogate\n0 sc control Orvexd powerevent resume\n"
                      "0 sc control Orvexd 13 7\n0 sc control Orvexd powerevent 4\n1s end\n");
  std::vector<std::vector<std::uint32_t>> sent;
  for (const auto &r : world.trace().of_kind("svc.control"))
    sent.push_back({r["control"], r["eventType"], r["result"]});
  EXPECT_EQ(
      sent,
      (std::vector<std::vector<std::uint32_t>>{
          {6, 0, 1060}, {6, 0, 1060}, {4, 0, 1060}, {13, 7, 1060}, {13, 7, 1060}, {13, 4, 1060}}));
}

using Bytes = std::vector<std::uint8_t>;
using Stored = std::pair<std::uint32_t, Bytes>;  // type and data

Bytes utf16le(std::u16string_view text) {
  Bytes out;
  for (char16_t c : text) {
    out.push_back(static_cast<std::uint8_t>(c & 0xFF));
    out.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  return out;
}

TEST(RegSet, EveryTypeLandsAsWindowsStoresItAndALaterLineReplacesAValue) {
  winsim::World world;
  scenario_test::play(world,
                      "0 reg set HKCU\\Software\\T CheckInterval dword 300\n"
                      "0 reg set HKCU\\Software\\T Folder sz \"C:\\Program Files\\ノルベイン\"\n"
                      "0 reg set HKCU\\Software\\T Path expand_sz %SystemRoot%\\Media\n"
                      "0 reg set HKCU\\Software\\T Disks multi_sz \"Disk 1|Disk 2\"\n"
                      "0 reg set HKCU\\Software\\T Blob binary 00ff10Ab\n"
                      "0 reg set HKCU\\Software\\T \"\" sz default\n"
                      "0 reg set HKCU\\Software\\T S sz \"\"\n"
                      "0 reg set HKCU\\Software\\T M multi_sz \"\"\n"
                      "0 reg set HKCU\\Software\\T B binary \"\"\n"
                      "0 reg set HKCU\\Software\\T Raid dword 1\n"
                      "1m reg set HKCU\\Software\\T Raid sz two\n"
                      "2m end\n");
  const struct {
    const char *name;
    Stored stored;
  } values[] = {
      {"CheckInterval", {REG_DWORD, {0x2C, 0x01, 0x00, 0x00}}},
      {"Folder", {REG_SZ, utf16le(std::u16string_view(u"C:\\Program Files\\ノルベイン\0", 23))}},
      {"Path", {REG_EXPAND_SZ, utf16le(std::u16string_view(u"%SystemRoot%\\Media\0", 19))}},
      {"Disks", {REG_MULTI_SZ, utf16le(std::u16string_view(u"Disk 1\0Disk 2\0\0", 15))}},
      {"Blob", {REG_BINARY, {0x00, 0xFF, 0x10, 0xAB}}},
      {"", {REG_SZ, utf16le(std::u16string_view(u"default\0", 8))}},
      {"S", {REG_SZ, {0, 0}}},
      {"M", {REG_MULTI_SZ, {0, 0}}},
      {"B", {REG_BINARY, {}}},
      {"Raid", {REG_SZ, utf16le(std::u16string_view(u"two\0", 4))}},
  };
  for (const auto &v : values) {
    SCOPED_TRACE(v.name);
    auto value = world.registry().value("HKCU\\Software\\T", v.name);
    ASSERT_TRUE(value);
    EXPECT_EQ(Stored(value->type, value->data), v.stored);
  }
}

// Deleting what is not there is no error; a denied key opens for reading only.
TEST(RegKeys, KeyCreatesDeleteRemovesAValueOrTheWholeTreeAndDenyLocks) {
  winsim::World world;
  scenario_test::play(world,
                      "0 reg key HKLM\\SOFTWARE\\Empty\\Inner\n"
                      "0 reg set HKLM\\SOFTWARE\\Tree\\Sub A dword 1\n"
                      "0 reg set HKLM\\SOFTWARE\\Keep A dword 1\n"
                      "0 reg set HKLM\\SOFTWARE\\Keep B dword 2\n"
                      "0 reg deny HKLM\\SOFTWARE\\Locked\n"
                      "1s reg delete HKLM\\SOFTWARE\\Keep A\n"
                      "1s reg delete HKLM\\SOFTWARE\\Tree\n"
                      "1s reg delete HKLM\\SOFTWARE\\Nothing\n"
                      "1s reg delete HKLM\\SOFTWARE Nothing\n"
                      "2s end\n");
  EXPECT_TRUE(world.registry().key_exists("HKLM\\SOFTWARE\\Empty\\Inner"));
  EXPECT_FALSE(world.registry().key_exists("HKLM\\SOFTWARE\\Tree"));
  EXPECT_FALSE(world.registry().key_exists("HKLM\\SOFTWARE\\Tree\\Sub"));
  EXPECT_EQ(world.registry().value_names("HKLM\\SOFTWARE\\Keep"), (std::vector<std::string>{"B"}));
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Locked", 0, KEY_ALL_ACCESS, &key),
            ERROR_ACCESS_DENIED);
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Locked", 0, KEY_READ, &key),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

const std::string kDisks = std::string(NORVANE_SOURCE_DIR) + "/scenarios/disks/";

TEST(HealthScenario, ADiskVerbChangesOneAttributeAndKeepsTheChecksum) {
  winsim::World world;
  scenario_test::play(world, "0 disk 3 smart " + kDisks + "bay0.data.bin " + kDisks +
                                 "bay0.thresholds.bin\n"
                                 "0 disk 3 attribute 194 71 0x4700000047\n1s end\n");
  SmartReply reply{};
  ASSERT_TRUE(ReadSmartBlock("\\\\.\\PHYSICALDRIVE3", 0xD0, reply));
  const BYTE *slot = FindSmartAttribute(reply, 194);
  ASSERT_NE(slot, nullptr);
  EXPECT_EQ(slot[3], 71);
  EXPECT_EQ((std::vector<BYTE>(slot + 5, slot + 11)),
            (std::vector<BYTE>{0x47, 0x00, 0x00, 0x00, 0x47, 0x00}));
  BYTE sum = 0;
  for (std::size_t i = 16; i < 16 + 512; ++i) sum = static_cast<BYTE>(sum + reply[i]);
  EXPECT_EQ(sum, 0);
}

// What the scenario did is in the trace ahead of its effects: each line, what its codes mean to
// the appliance, the readings it feeds, the machine's sleep, and a warning about a line.
TEST(ScenarioRecords, SayWhatEachLineDidAndWhatItMeans) {
  Warnings warnings;
  winsim::World world;
  scenario_test::play(
      world,
      "0 reg set HKLM\\SOFTWARE\\Wow6432Node\\Norvane\\Applications\\NorvaneNas\\RDSCANSV "
      "SRaidInfoEx dword 0x10000C\n"
      "0 reg set HKLM\\SOFTWARE\\Wow6432Node\\Norvane\\Tesmar\\Config LedSnoozeType dword 1\n"
      "0 board fan 1850\n0 board cputemp 47.5 result -1006\n"
      "1s sc control Orvexd powerevent suspend\n31s sc control Orvexd 13 7\n"
      "32s event set NasCallEvent\n33s end\n");
  EXPECT_EQ(
      world.trace().select("scenario", {"t", "line", "note", "reading", "value", "unit", "result",
                                        "power", "warning"}),
      (std::vector<winsim::Trace::Record>{
          {{"t", 0},
           {"line", 1},
           {"note", "RAID 0x8: RAID alarm, RAID LEDs blinking together, system status error"}},
          {{"t", 0}, {"line", 2}, {"note", "alarms snoozed until the system status is normal"}},
          {{"t", 0}, {"line", 3}, {"reading", "CPU fan"}, {"value", 1850}, {"unit", "rpm"}},
          {{"t", 0},
           {"line", 4},
           {"reading", "CPU temperature"},
           {"value", 47.5},
           {"unit", "°C"},
           {"result", -1006}},
          {{"t", 1000}, {"line", 5}, {"note", "the machine goes to sleep"}, {"power", "suspend"}},
          {{"t", 31000},
           {"line", 6},
           {"note",
            "POWEREVENT PBT_APMRESUMESUSPEND: the machine wakes: asleep from 0:00:01.000 to "
            "0:00:31.000"},
           {"power", "resume"}},
          {{"t", 32000}, {"line", 7}, {"note", "the health monitor sounds the RAID alarm once"}},
          {{"t", 32000},
           {"line", 7},
           {"warning", "no event named \"NasCallEvent\" exists at this time; nothing was set"}}}));
}

}  // namespace
