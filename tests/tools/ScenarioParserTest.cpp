// Reading scenario files: times in every form, quoting, comments, the end line, the numbers
// and durations verbs take, and the line numbers in the messages for what is malformed, in the
// file and in every verb's arguments.
#include <gtest/gtest.h>

#include <sstream>
#include <tuple>
#include <utility>
#include <vector>

#include "ScenarioTesting.h"
#include "scenario/Scenario.h"
#include "scenario/ScenarioError.h"
#include "scenario/Verbs.h"

namespace {

using scenario::LineError;
using scenario::parse_scenario;
using scenario::ScenarioError;

std::vector<std::uint64_t> times_of(const scenario::Scenario &s) {
  std::vector<std::uint64_t> out;
  for (const auto &line : s.lines) out.push_back(line.time);
  return out;
}

// Absolute times in every unit; a plus time counts from the previous line.
TEST(ScenarioTimes, EveryFormGivesItsVirtualMilliseconds) {
  auto forward = parse_scenario(
      "+0 seed 1\n0 seed 1\n250ms seed 1\n1500 seed 1\n1.5s seed 1\n2m seed 1\n1h seed 1\n"
      "+10s seed 1\n+250ms seed 1\n+1.5m seed 1\n1.5h seed 1\n+0 end\n",
      "t.scn");
  EXPECT_EQ(times_of(forward),
            (std::vector<std::uint64_t>{0, 0, 250, 1500, 1500, 120000, 3600000, 3610000, 3610250,
                                        3700250, 5400000, 5400000}));
  EXPECT_EQ(forward.end_time(), 5400000u);
}

// Quotes keep blanks, backslashes stay as written; a line's text keeps its quotes and its rest
// starts at a word; "#" starts a comment only at the start of a word outside quotes. Blank lines,
// CRLF endings and a byte order mark are skipped, and lines keep their numbers.
TEST(ScenarioWords, QuotesBackslashesAndCommentsAsWritten) {
  auto s = parse_scenario(
      "\xEF\xBB\xBF# a whole-line comment\r\n"
      "   # an indented one\n"
      "\t\r\n"
      "0 reg set \"HKLM\\SOFTWARE\\My Key\" \"Value Name\" sz \"two  words\"\r\n"
      "0 reg set HKLM\\SOFTWARE\\X \"\" sz a\"b c\"d\n"
      "0 reg set HKLM\\SOFTWARE\\X a#b sz \"# kept\" # dropped \"unclosed\n"
      "  1s   run \"C:\\Program Files\\Tool\\tool.exe\" -a \"b c\"   # starts the tool\n"
      "1s end # the end\n# fine\n\n",
      "t.scn");
  ASSERT_EQ(s.lines.size(), 5u);
  EXPECT_EQ(s.lines[0].words, (std::vector<std::string>{"reg", "set", "HKLM\\SOFTWARE\\My Key",
                                                        "Value Name", "sz", "two  words"}));
  EXPECT_EQ(s.lines[1].words,
            (std::vector<std::string>{"reg", "set", "HKLM\\SOFTWARE\\X", "", "sz", "ab cd"}));
  EXPECT_EQ(s.lines[2].words,
            (std::vector<std::string>{"reg", "set", "HKLM\\SOFTWARE\\X", "a#b", "sz", "# kept"}));
  const auto &line = s.lines[3];
  EXPECT_EQ(line.text, "run \"C:\\Program Files\\Tool\\tool.exe\" -a \"b c\"");
  EXPECT_EQ(line.rest(1), "\"C:\\Program Files\\Tool\\tool.exe\" -a \"b c\"");
  EXPECT_EQ(line.rest(2), "-a \"b c\"");
  EXPECT_EQ(line.rest(4), "");
  EXPECT_EQ(line.starts, (std::vector<std::size_t>{0, 4, 37, 40}));
  EXPECT_EQ(s.lines[0].number, 4);
  EXPECT_EQ(s.lines[4].number, 8);
}

TEST(ScenarioErrors, EachMalformedTextIsRefusedAtItsLine) {
  const std::string no_time =
      "expected a time such as 0, 250ms, 1.5s, 2m, 1h or +10s at the start of the line, found \"";
  const std::string no_end =
      "the scenario has no end line; finish it with the time the run stops, for example "
      "\"4m end\"";
  std::vector<std::tuple<std::string, int, std::string>> cases = {
      {"2m seed 1\n90s end\n", 2,
       "time \"90s\" (90000 ms) is before the previous line's time (120000 ms)"},
      {"0 seed 1\n5s   # nothing to do\n1h end\n", 2, "missing verb after the time"},
      {"0 seed 1\n0 reg key \"HKLM\\SOFTWARE\n1s end\n", 2,
       "the quote opened at column 11 is not closed"},
      {"0 seed 1\n\n# done\n", 3, no_end},
      {"", 1, no_end},
      {"1m end\n# fine\n\n2m seed 1\n", 4, "nothing may follow the end line"},
      {"1m end now\n", 1, "end: unexpected \"now\" after the verb"},
      {"0 seed 1\n1s reg key HKLM\\SOFTWARE\\X\n2s jump 3\n3s end\n", 3,
       "unknown verb \"jump\" (known: acp, audio, beepdev, board, clock, cpu, disk, event, fault, "
       "file, kelpie, media, mutex, os, reg, run, sc, scm, seed, suite, timeline, window, wmic, "
       "end)"},
  };
  for (std::string bad : {"soon", "1.5", "+", "-1s", "99999999999999999999"})
    cases.push_back({"0 seed 1\n" + bad + " seed 1\n1h end\n", 2, no_time + bad + "\""});
  for (const auto &[text, line, message] : cases)
    scenario_test::expect_refused(text, line, message);
}

TEST(ScenarioFiles, HostPathsAreTakenFromTheScenarioFolder) {
  auto s =
      parse_scenario("0 play sounds/raiderr.wav /abs/syserr.wav\n1s end\n", "/data/scn/alarm.scn");
  EXPECT_EQ(s.lines[0].host_path(1), std::filesystem::path("/data/scn/sounds/raiderr.wav"));
  EXPECT_EQ(s.lines[0].host_path(2), std::filesystem::path("/abs/syserr.wav"));
  EXPECT_EQ(s.lines[0].where(), "/data/scn/alarm.scn:1: ");
  EXPECT_THROW(s.lines[0].host_path(3), LineError);
}

// What the parser gives for the text, or the message it refuses it with.
template <typename Result>
std::string parsed(Result (*parse)(const std::string &, const char *), const char *what,
                   const std::string &text) {
  try {
    return std::to_string(parse(text, what));
  } catch (const LineError &e) {
    return e.what();
  }
}

const auto u32 = [](const std::string &t) { return parsed(scenario::parse_u32, "dword data", t); };
const auto i32 = [](const std::string &t) { return parsed(scenario::parse_i32, "offset", t); };
const auto real = [](const std::string &t) {
  return parsed(scenario::parse_double, "temperature", t);
};
const auto duration = [](const std::string &t) {
  return parsed(scenario::parse_duration, "delay", t);
};

TEST(NumberParsers, TakeDecimalAndHexUpToTheFullRange) {
  // "text=value" pairs; the signed parser reads hex as a bit pattern.
  const std::pair<std::string (*)(const std::string &), const char *> accepted[] = {
      {u32, "0=0 300=300 4294967295=4294967295 0x1F=31 0XFFFFFFFF=4294967295"},
      {i32, "-2147483648=-2147483648 2147483647=2147483647 0xFFFFFFFF=-1 -0x10=-16"},
      {real, "41.5=41.500000 -3=-3.000000 1e2=100.000000"},
      {duration, "250=250 250ms=250 1.5s=1500 .5s=500 0.001s=1 0.25m=15000 1h=3600000"}};
  for (const auto &[parse, pairs] : accepted) {
    std::istringstream words(pairs);
    for (std::string w; words >> w;)
      EXPECT_EQ(parse(w.substr(0, w.find('='))), w.substr(w.find('=') + 1)) << w;
  }
  EXPECT_EQ(scenario::parse_u64("18446744073709551615", "seed"), 18446744073709551615u);
  EXPECT_EQ(scenario::parse_u64("0xDEADBEEFCAFE", "seed"), 0xDEADBEEFCAFEu);
  EXPECT_THROW(scenario::parse_u64("18446744073709551616", "seed"), LineError);
}

// Signs, overflow, leftovers and parts of a millisecond (not rounded) are refused, naming the
// argument.
TEST(NumberParsers, RefuseWhatIsNotANumberOfTheirKindNamingTheArgument) {
  const std::string u32_range = "\": expected a number from 0 to 4294967295 (decimal or 0x hex)";
  for (std::string bad :
       {"", "-1", "+1", " 1", "1 ", "12a", "0x", "0x1G", "4294967296", "0x100000000", "1.0"})
    EXPECT_EQ(u32(bad), "bad dword data \"" + bad + u32_range);
  for (std::string bad : {"2147483648", "-2147483649", "--1", "-", "0x100000000"})
    EXPECT_EQ(i32(bad), "bad offset \"" + bad +
                            "\": expected a number from -2147483648 to 2147483647 (decimal or 0x "
                            "hex)");
  for (std::string bad : {"", "abc", "nan", "inf", "4,5", "41.5C"})
    EXPECT_EQ(real(bad), "bad temperature \"" + bad + "\": expected a decimal number such as 41.5");
  for (std::string bad : {"1.0005s", "0.5ms"})
    EXPECT_EQ(duration(bad),
              "bad delay \"" + bad + "\": not a whole number of milliseconds, or too large");
  for (std::string bad : {"", "s", "1.s", "1..5s", "-1s", "+1s", "1 s", "2d", "1S", "1sec", "ms",
                          "5124095576030432h"})
    EXPECT_EQ(duration(bad),
              "bad delay \"" + bad +
                  "\": expected a duration such as 250ms, 1.5s, 2m or 1h (a bare number is ms)");
}

TEST(VerbRefusals, EachMalformedLineIsRefusedWithItsNumberAndWhatIsWrong) {
  const std::pair<const char *, const char *> cases[] = {
      {"seed", "seed: missing seed number"},
      {"seed -4",
       "bad seed \"-4\": expected a number from 0 to 18446744073709551615 (decimal or 0x hex)"},
      {"seed 1 2", "seed: unexpected \"2\" after the \"1\""},
      {"acp 850", "acp: code page 850 is not supported (932, 1252, 437 or 65001)"},
      {"clock ticks", "clock: missing tick count"},
      {"clock time 5", "clock: unknown setting \"time\" (expected ticks)"},
      {"event", "event: missing action (set)"},
      {"event reset X", "event: unknown action \"reset\" (expected set)"},
      {"run", "run: missing command line"},
      {"run C:\\Tools\\nothing.exe -x",
       "run: no program \"nothing.exe\" is known to the simulator"},
      {"run \\\\server\\share\\probe.exe",
       "run: \"\\\\server\\share\\probe.exe\" is not a path on the machine"},
      {"reg", "reg: missing action (set, key, delete or deny)"},
      {"reg put HKLM\\SOFTWARE\\X", "reg: unknown action \"put\" (set, key, delete or deny)"},
      {"reg set", "reg: missing key path (for example HKLM\\SOFTWARE\\Norvane)"},
      {"reg set SOFTWARE\\X V dword 1",
       "reg: \"SOFTWARE\\X\" does not start with a registry root (HKLM, HKCU, "
       "HKU, HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER or HKEY_USERS)"},
      {"reg set HKLM\\SOFTWARE\\X V",
       "reg: missing value type (dword, sz, expand_sz, multi_sz or binary)"},
      {"reg set HKLM\\SOFTWARE\\X V dword", "reg: missing value data"},
      {"reg set HKLM\\SOFTWARE\\X V qword 1",
       "reg set: unknown value type \"qword\" (dword, sz, expand_sz, multi_sz or binary)"},
      {"reg set HKLM\\SOFTWARE\\X V dword 1 2", "reg: unexpected \"2\" after the \"1\""},
      {"reg set HKLM\\SOFTWARE\\X V binary abc",
       "reg set: binary data \"abc\" has an odd number of hex digits"},
      {"reg set HKLM\\SOFTWARE\\X V binary 0x12",
       "reg set: binary data \"0x12\" is not hex digits (for example 0a1b2c)"},
      {"reg set HKLM\\SOFTWARE\\X V multi_sz \"a||b\"",
       "reg set: multi_sz data \"a||b\" has an empty item (items are separated by |)"},
      {"reg delete HKLM", "reg delete: \"HKLM\" is a root key and cannot be deleted"},
      {"reg delete HKCU\\", "reg delete: \"HKCU\\\" is a root key and cannot be deleted"},
      {"reg deny HKEY_CLASSES_ROOT\\X",
       "reg: \"HKEY_CLASSES_ROOT\\X\" does not start with a registry root (HKLM, HKCU, "
       "HKU, HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER or HKEY_USERS)"},
      {"fault", "fault: missing call name (for example RegOpenKeyExA)"},
      {"fault \"Reg Open\"", "fault: \"Reg Open\" is not a call name (for example RegOpenKeyExA)"},
      {"fault RegOpenKeyExA twice 2",
       "fault: unknown option \"twice\" (in, nth, from, error or match)"},
      {"fault RegOpenKeyX",
       "fault: winsim has no call \"RegOpenKeyX\" (did you mean RegOpenKeyExA?)"},
      {"fault Frobnicate", "fault: winsim has no call \"Frobnicate\""},
      {"timeline hide gpios", "timeline hide: no record kind \"gpios\" (did you mean gpio?)"},
      {"sc control Orvexd stopp", "sc control: unknown control \"stopp\" (did you mean stop?)"},
      {"sc control Orvexd powerevent sleep",
       "sc control: unknown power event \"sleep\" (querysuspend, querysuspendfailed, suspend, "
       "resumecritical, resume, batterylow, powerstatuschange, oemevent, resumeautomatic, "
       "powersettingchange, or a number)"},
      {"fault SetEvent in NoSuchFunction",
       "fault: no program of this world has a function \"NoSuchFunction\""},
      {"fault RegOpenKeyExA nth 0", "fault: nth counts from 1"},
      {"fault RegOpenKeyExA nth 1 from 2", "fault: give nth or from once"},
      {"fault RegOpenKeyExA error 5 error 6", "fault: error is given twice"},
      {"fault RegOpenKeyExA error ACCESS_DENIED",
       "bad error code \"ACCESS_DENIED\": expected a number from 0 to 4294967295 (decimal or 0x "
       "hex)"},
      {"fault RegOpenKeyExA match", "fault: missing match value"},
      {"fault RegOpenKeyExA match \"\"", "fault: match needs a text"},
      {"file C:\\x loud", "file: unknown kind \"loud\" (text, busy or wave)"},
      {"file C:\\x text", "file: missing content"},
      {"file \\\\server\\x", "file: \"\\\\server\\x\" is not a path the machine can name"},
      {"media C:\\M with x", "media: expected \"without <relative path>\", not \"with\""},
      {"media C:\\M without", "media: missing relative path of the file to leave out"},
      {"cpu sentrel on", "cpu: unknown engine state \"on\" (present, absent or disabled)"},
      {"cpu fan absent", "cpu: unknown feature \"fan\" (expected sentrel)"},
      {"suite stop-pending", "suite: missing seconds"},
      {"suite loud 1",
       "suite: unknown setting \"loud\" (install-exit, switch-hang, start-pending, "
       "stop-pending, stop-stuck, stop-refuse, wait-hint, exit-after-start or stop-dialog)"},
      {"kelpie init maybe", "kelpie init: expected ok or fail, not \"maybe\""},
      {"kelpie volume 4 1", "kelpie: missing field at 0x88"},
      {"kelpie list slow", "kelpie list: expected fail, not \"slow\""},
      {"kelpie mount 4", "kelpie: unknown setting \"mount\" (init, volume, remove or list)"},
      {"os version 7.0",
       "os version: 7.0 is no release winsim knows (5.2, 6.0, 6.1, 6.2, 6.3 or 10.0)"},
      {"os version 6", "os version: expected <major>.<minor>, not \"6\""},
  };
  for (const auto &[line, message] : cases)
    scenario_test::expect_refused(std::string("0 seed 1\n\n5s ") + line + "\n9s end\n", 3, message);
}

}  // namespace
