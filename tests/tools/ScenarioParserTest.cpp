// Reading scenario files: times in every form, quoting, comments, the end line, and the line
// numbers in the messages for what is malformed.
#include <gtest/gtest.h>

#include <vector>

#include "ScenarioTesting.h"
#include "scenario/Scenario.h"
#include "scenario/ScenarioError.h"

namespace {

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
// starts at a word; "#" starts a comment only at the start of a word outside quotes.
TEST(ScenarioWords, QuotesBackslashesAndCommentsAsWritten) {
  auto s = parse_scenario(
      "# a whole-line comment\n"
      "   # an indented one\n"
      "0 reg set \"HKLM\\SOFTWARE\\My Key\" \"Value Name\" sz \"two  words\"\n"
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
  EXPECT_EQ(s.lines[0].number, 3);
  EXPECT_EQ(s.lines[4].number, 7);
}

TEST(ScenarioComments, BlankLinesCrlfAndAByteOrderMarkAreSkippedAndLinesKeepTheirNumbers) {
  auto s = parse_scenario("\xEF\xBB\xBF\r\n\t\r\n0 seed 7\r\n\r\n+1s end\r\n", "t.scn");
  ASSERT_EQ(s.lines.size(), 2u);
  EXPECT_EQ(s.lines[0].number, 3);
  EXPECT_EQ(s.lines[0].words, (std::vector<std::string>{"seed", "7"}));
  EXPECT_EQ(s.lines[1].number, 5);
  EXPECT_EQ(s.lines[1].time, 1000u);
}

// Each malformed text is refused at the line named, with what is wrong with it.
TEST(ScenarioErrors, EachMalformedTextIsRefusedAtItsLine) {
  const std::string no_time =
      "expected a time such as 0, 250ms, 1.5s, 2m, 1h or +10s at the start of the line, found \"";
  const std::string no_end =
      "the scenario has no end line; finish it with the time the run stops, for example "
      "\"4m end\"";
  struct Case {
    std::string text;
    int line;
    std::string message;
  };
  std::vector<Case> cases = {
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
  for (const Case &c : cases) {
    SCOPED_TRACE(c.text);
    auto refused = scenario_test::refusal(c.text);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->line, c.line);
    EXPECT_EQ(refused->message, "t.scn:" + std::to_string(c.line) + ": " + c.message);
  }
}

TEST(ScenarioFiles, HostPathsAreTakenFromTheScenarioFolder) {
  auto s =
      parse_scenario("0 play sounds/raiderr.wav /abs/syserr.wav\n1s end\n", "/data/scn/alarm.scn");
  EXPECT_EQ(s.lines[0].host_path(1), std::filesystem::path("/data/scn/sounds/raiderr.wav"));
  EXPECT_EQ(s.lines[0].host_path(2), std::filesystem::path("/abs/syserr.wav"));
  EXPECT_EQ(s.lines[0].where(), "/data/scn/alarm.scn:1: ");
  EXPECT_THROW(s.lines[0].host_path(3), scenario::LineError);
}

TEST(ScenarioFiles, AFileThatCannotBeReadIsNoScenarioError) {
  try {
    scenario::load_scenario("/nonexistent/x.scn");
    FAIL() << "no error";
  } catch (const ScenarioError &) {
    FAIL() << "a missing file is not a malformed scenario";
  } catch (const std::runtime_error &e) {
    EXPECT_EQ(std::string(e.what()), "cannot read /nonexistent/x.scn: No such file or directory");
  }
}

}  // namespace
