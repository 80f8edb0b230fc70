// The timeline's lines: the run's time and the machine's local clock, and a name beside every
// code a reader would otherwise look up; and the settings that keep a long run readable.
#include <gtest/gtest.h>

#include <utility>

#include "ScenarioTesting.h"
#include "scenario/TimelineText.h"
#include "scenario/TimelineView.h"

namespace {

using Record = winsim::TraceSink::Record;

Record At(std::uint64_t t, std::uint32_t pid, const char *kind, Record fields) {
  return scenario_test::record(t, pid, pid + 4, kind, std::move(fields));
}

TEST(TimelineText, NamesEachCodeBesideItsNumber) {
  const std::pair<Record, const char *> cases[] = {
      {At(0, 8, "gpio", {{"pin", 32}, {"level", 0}}), "gpio  pin=32 (RAID LED A)  level=0 (lit)"},
      {At(0, 8, "svc.status", {{"state", 4}, {"controls", 0x24D}, {"win32ExitCode", 1066}}),
       "svc.status  state=4 (RUNNING)  controls=589 (STOP|SHUTDOWN|PARAMCHANGE|POWEREVENT|"
       "TIMECHANGE)  win32ExitCode=1066 (ERROR_SERVICE_SPECIFIC_ERROR)"},
      {At(0, 8, "svc.control", {{"control", 13}, {"eventType", 18}, {"result", 0}}),
       "svc.control  control=13 (POWEREVENT)  eventType=18 (PBT_APMRESUMEAUTOMATIC)  result=0"},
      {At(0, 8, "svc.control", {{"control", 6}, {"eventType", 4}, {"result", 1062}}),
       "svc.control  control=6 (PARAMCHANGE)  eventType=4  result=1062 "
       "(ERROR_SERVICE_NOT_ACTIVE)"},
      {At(0, 8, "event", {{"type", 2}, {"id", 0x80002FA8u}}),
       "event  type=2 (warning)  id=0x80002FA8"},
      {At(0, 8, "reg.set", {{"name", "CpuFanStatus"}, {"data", 12200}}),
       "reg.set  name=CpuFanStatus  data=12200 (CPU fan warning)"},
      {At(0, 8, "reg.set", {{"name", "BackupStatus"}, {"data", 2}}),
       "reg.set  name=BackupStatus  data=2"},
      {At(0, 8, "reg.set", {{"name", "LedSnoozeType"}, {"data", 0xFFFFFFFFu}}),
       "reg.set  name=LedSnoozeType  data=4294967295 (not snoozed)"},
      {At(0, 8, "file.delete", {{"path", "C:\\a"}, {"error", 32}}),
       "file.delete  path=C:\\a  error=32 (ERROR_SHARING_VIOLATION)"},
      {At(0, 8, "smart.read", {{"feature", 209}, {"error", 0}}),
       "smart.read  feature=209 (READ THRESHOLDS)  error=0"},
      {At(0, 8, "broadcast", {{"msg", 0x219}, {"wParam", 0x8000}, {"unitmask", 0x90}}),
       "broadcast  msg=537 (WM_DEVICECHANGE)  wParam=32768 (DBT_DEVICEARRIVAL)  unitmask=144 "
       "(E: H:)"},
      {At(0, 8, "stdout", {{"text", "\ncopy a to b...\r\n\t---OK."}}),
       "stdout  text=\\ncopy a to b...\\r\\n\\t---OK."},
  };
  for (const auto &[record, body] : cases) {
    scenario::TimelineText text;
    EXPECT_EQ(text.body(record), body);
  }
}

// The installer's exit codes are named for its processes alone: another program's 5 is its own.
TEST(TimelineText, NamesTheInstallersExitCodesAndTheScenarioLinesItDid) {
  scenario::TimelineText text;
  text.line(At(0, 8, "process.start", {{"image", "C:\\Media\\QORASetup.exe"}}));
  text.line(At(0, 12, "process.start", {{"image", "C:\\Tools\\probe.exe"}}));
  EXPECT_EQ(text.line(At(1000, 8, "process.exit", {{"code", 5}})),
            "  0:00:01.000  09:00:01  pid 8    tid 12   process.exit  code=5 (the running marker "
            "already existed)\n");
  EXPECT_EQ(text.body(At(1000, 12, "process.exit", {{"code", 5}})), "process.exit  code=5");
  EXPECT_EQ(text.line(At(240000, 0, "scenario",
                         {{"line", 44},
                          {"text", "sc control Orvexd 13 4"},
                          {"note", "POWEREVENT PBT_APMSUSPEND: the machine goes to sleep"}})),
            "  0:04:00.000  09:04:00  line 44           scenario  sc control Orvexd 13 4  "
            "(POWEREVENT PBT_APMSUSPEND: the machine goes to sleep)\n");
  EXPECT_EQ(text.body(At(0, 0, "scenario",
                         {{"line", 3}, {"text", "sc start X"}, {"warning", "it failed"}})),
            "scenario  sc start X  warning: it failed");
}

TEST(TimelineText, TheRunsTimeCountsHoursAndTheLocalClockWrapsAtMidnight) {
  scenario::TimelineText late(23 * 3600 + 59 * 60);
  EXPECT_EQ(late.head(120000, 4, 8), "  0:02:00.000  00:01:00  pid 4    tid 8    ");
  EXPECT_EQ(late.head(360000001, 4, 8), "100:00:00.001  03:59:00  pid 4    tid 8    ");
}

Record Gpio(int pin, int level) {
  return {{"pin", pin}, {"level", level}};
}

TEST(TimelineView, ChangesLeaveOutWritesThatLeaveThingsAsTheyWere) {
  winsim::Trace trace;
  for (std::uint64_t t : {0, 10}) trace.add(t, 1, 2, "gpio", Gpio(10, 1));
  trace.add(20, 1, 2, "gpio", Gpio(12, 1));
  for (std::uint64_t t : {30, 40})
    trace.add(t, 1, 2, "reg.set",
              {{"key", "K"}, {"name", "V"}, {"type", "REG_DWORD"}, {"data", 1}});
  for (std::uint64_t t : {50, 60}) trace.add(t, 1, 2, "reg.delete", {{"key", "K"}, {"name", "V"}});
  for (std::uint64_t t : {70, 80}) trace.add(t, 1, 2, "event", {{"id", 0xC000012Cu}});
  scenario::TimelineView view;
  view.changes = true;
  view.hidden = {"reg.delete"};
  EXPECT_EQ(scenario::timeline_text(trace, view),
            "  0:00:00.000  09:00:00  pid 1    tid 2    gpio  pin=10 (status LED)  level=1 (dark)\n"
            "  0:00:00.020  09:00:00  pid 1    tid 2    gpio  pin=12 (RAID LED B)  level=1 (dark)\n"
            "  0:00:00.030  09:00:00  pid 1    tid 2    reg.set  key=K  name=V  type=REG_DWORD  "
            "data=1\n"
            "  0:00:00.070  09:00:00  pid 1    tid 2    event  id=0xC000012C\n"
            "  0:00:00.080  09:00:00  pid 1    tid 2    event  id=0xC000012C\n");
}

// Fold leaves out a thread's steady repetition and says how long it lasted; blinks show a pin's
// blinking as one line where it starts and one where it stops (single changes as they are).
TEST(TimelineView, FoldAndBlinksShortenAThreadsSteadyRepetition) {
  winsim::Trace trace;
  trace.add(0, 1, 2, "gpio", Gpio(10, 1));
  trace.add(100, 1, 2, "gpio", Gpio(12, 0));
  for (std::uint64_t k = 0; k < 10; ++k) trace.add(500 * (k + 1), 1, 7, "gpio", Gpio(10, k % 2));
  trace.add(5200, 1, 3, "event", {{"id", 0x40000064u}});
  scenario::TimelineView view;
  view.fold = true;
  const std::string single =
      "  0:00:00.000  09:00:00  pid 1    tid 2    gpio  pin=10 (status LED)  level=1 (dark)\n"
      "  0:00:00.100  09:00:00  pid 1    tid 2    gpio  pin=12 (RAID LED B)  level=0 (lit)\n";
  const std::string event = "  0:00:05.200  09:00:05  pid 1    tid 3    event  id=0x40000064\n";
  EXPECT_EQ(
      scenario::timeline_text(trace, view),
      single +
          "  0:00:00.500  09:00:00  pid 1    tid 7    gpio  pin=10 (status LED)  level=0 (lit)\n"
          "  0:00:01.000  09:00:01  pid 1    tid 7    gpio  pin=10 (status LED)  level=1 (dark)\n"
          "  0:00:01.500  09:00:01  pid 1    tid 7    gpio  pin=10 (status LED)  level=0 (lit)\n"
          "  0:00:02.000  09:00:02  pid 1    tid 7    gpio  pin=10 (status LED)  level=1 (dark)\n"
          "  0:00:05.000  09:00:05  pid 1    tid 7    ...  repeated every 1.000 s from "
          "0:00:02.500: 6 records\n" +
          event);
  view.fold = false;
  view.blinks = true;
  EXPECT_EQ(
      scenario::timeline_text(trace, view),
      single +
          "  0:00:00.500  09:00:00  pid 1    tid 7    gpio  pin=10 (status LED)  blinking\n"
          "  0:00:05.000  09:00:05  pid 1    tid 7    gpio  pin=10 (status LED)  level=1 (dark)  "
          "after blinking (10 changes)\n" +
          event);
}

}  // namespace
