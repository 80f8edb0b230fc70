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

// The message of the error parsing `text` gives, checked to name line `line` of "t.scn".
std::string parse_error(std::string_view text, int line) {
  try {
    parse_scenario(text, "t.scn");
  } catch (const ScenarioError &e) {
    EXPECT_EQ(e.line(), line);
    std::string prefix = "t.scn:" + std::to_string(line) + ": ";
    std::string message = e.what();
    EXPECT_EQ(message.substr(0, prefix.size()), prefix);
    return message.substr(prefix.size());
  }
  ADD_FAILURE() << "no error for:\n" << text;
  return {};
}

TEST(ScenarioTimes, EveryAbsoluteFormGivesItsVirtualMilliseconds) {
  auto forward = parse_scenario(
      "0 seed 1\n250ms seed 1\n1500 seed 1\n1.5s seed 1\n2m seed 1\n1h seed 1\n1.5h end\n",
      "t.scn");
  EXPECT_EQ(times_of(forward),
            (std::vector<std::uint64_t>{0, 250, 1500, 1500, 120000, 3600000, 5400000}));
}

TEST(ScenarioTimes, APlusTimeCountsFromThePreviousLine) {
  auto s = parse_scenario("+10s seed 1\n+250ms seed 2\n1m seed 3\n+1.5m seed 4\n+0 end\n", "t.scn");
  EXPECT_EQ(times_of(s), (std::vector<std::uint64_t>{10000, 10250, 60000, 150000, 150000}));
  EXPECT_EQ(s.end_time(), 150000u);
}

TEST(ScenarioTimes, ATimeBeforeThePreviousLineIsRefusedWithBothTimes) {
  EXPECT_EQ(parse_error("2m seed 1\n90s end\n", 2),
            "time \"90s\" (90000 ms) is before the previous line's time (120000 ms)");
}

TEST(ScenarioTimes, WordsThatAreNoTimeAreRefusedAtTheirLine) {
  const char *expected =
      "expected a time such as 0, 250ms, 1.5s, 2m, 1h or +10s at the start of the line, "
      "found \"";
  for (std::string bad : {"soon", "1.5", "10x", "+", "-1s", "1.0005s", "1.s", "s", "2d", "1S",
                          "99999999999999999999", "5124095576030432h"}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(parse_error("0 seed 1\n" + bad + " seed 1\n1h end\n", 2), expected + bad + "\"");
  }
}

TEST(ScenarioTimes, ALineWithATimeAndNoVerbIsRefused) {
  EXPECT_EQ(parse_error("0 seed 1\n5s   # nothing to do\n1h end\n", 2),
            "missing verb after the time");
}

TEST(ScenarioWords, QuotesKeepBlanksAndBackslashesStayAsWritten) {
  auto s = parse_scenario(
      "0 reg set \"HKLM\\SOFTWARE\\My Key\" \"Value Name\" sz \"two  words\"\n"
      "0 reg set HKLM\\SOFTWARE\\X \"\" sz a\"b c\"d\n1s end\n",
      "t.scn");
  EXPECT_EQ(s.lines[0].words, (std::vector<std::string>{"reg", "set", "HKLM\\SOFTWARE\\My Key",
                                                        "Value Name", "sz", "two  words"}));
  EXPECT_EQ(s.lines[1].words,
            (std::vector<std::string>{"reg", "set", "HKLM\\SOFTWARE\\X", "", "sz", "ab cd"}));
}

TEST(ScenarioWords, TheLineTextKeepsQuotesAndRestStartsAtAWord) {
  auto s = parse_scenario(
      "  1s   run \"C:\\Program Files\\Tool\\tool.exe\" -a \"b c\"   # starts the tool\n2s end\n",
      "t.scn");
  const auto &line = s.lines[0];
  EXPECT_EQ(line.text, "run \"C:\\Program Files\\Tool\\tool.exe\" -a \"b c\"");
  EXPECT_EQ(line.rest(1), "\"C:\\Program Files\\Tool\\tool.exe\" -a \"b c\"");
  EXPECT_EQ(line.rest(2), "-a \"b c\"");
  EXPECT_EQ(line.rest(4), "");
  EXPECT_EQ(line.starts, (std::vector<std::size_t>{0, 4, 37, 40}));
}

TEST(ScenarioWords, AnUnclosedQuoteIsRefusedWithItsColumn) {
  EXPECT_EQ(parse_error("0 seed 1\n0 reg key \"HKLM\\SOFTWARE\n1s end\n", 2),
            "the quote opened at column 11 is not closed");
}

TEST(ScenarioComments, HashStartsACommentOnlyAtTheStartOfAWordOutsideQuotes) {
  auto s = parse_scenario(
      "# a whole-line comment\n"
      "   # an indented one\n"
      "0 reg set HKLM\\SOFTWARE\\X a#b sz \"# kept\" # dropped \"unclosed\n"
      "1s end # the end\n",
      "t.scn");
  ASSERT_EQ(s.lines.size(), 2u);
  EXPECT_EQ(s.lines[0].words,
            (std::vector<std::string>{"reg", "set", "HKLM\\SOFTWARE\\X", "a#b", "sz", "# kept"}));
  EXPECT_EQ(s.lines[0].number, 3);
  EXPECT_EQ(s.lines[1].number, 4);
}

TEST(ScenarioComments, BlankLinesCrlfAndAByteOrderMarkAreSkippedAndLinesKeepTheirNumbers) {
  auto s = parse_scenario("\xEF\xBB\xBF\r\n\t\r\n0 seed 7\r\n\r\n+1s end\r\n", "t.scn");
  ASSERT_EQ(s.lines.size(), 2u);
  EXPECT_EQ(s.lines[0].number, 3);
  EXPECT_EQ(s.lines[0].words, (std::vector<std::string>{"seed", "7"}));
  EXPECT_EQ(s.lines[1].number, 5);
  EXPECT_EQ(s.lines[1].time, 1000u);
}

TEST(ScenarioEnd, AScenarioWithoutAnEndLineIsRefusedAtItsLastLine) {
  const char *message =
      "the scenario has no end line; finish it with the time the run stops, for example "
      "\"4m end\"";
  EXPECT_EQ(parse_error("0 seed 1\n\n# done\n", 3), message);
  EXPECT_EQ(parse_error("", 1), message);
}

TEST(ScenarioEnd, NothingMayFollowTheEndLineButCommentsAndBlanks) {
  EXPECT_EQ(parse_error("1m end\n# fine\n\n2m seed 1\n", 4), "nothing may follow the end line");
  EXPECT_NO_THROW(parse_scenario("1m end\n# fine\n\n", "t.scn"));
}

TEST(ScenarioEnd, TheEndLineTakesNoArguments) {
  EXPECT_EQ(parse_error("1m end now\n", 1), "end: unexpected \"now\" after the verb");
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

TEST(ScenarioVerbs, AnUnknownVerbIsRefusedBeforeAnythingRunsNamingTheKnownOnes) {
  auto refused =
      scenario_test::refusal("0 seed 1\n1s reg key HKLM\\SOFTWARE\\X\n2s jump 3\n3s end\n");
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->line, 3);
  std::string known;
  scenario::Verbs verbs;
  scenario::register_verbs(verbs);
  for (const auto &name : verbs.names()) known += name + ", ";
  EXPECT_EQ(refused->message, "t.scn:3: unknown verb \"jump\" (known: " + known + "end)");
  EXPECT_EQ(refused->message.rfind("t.scn:3: unknown verb \"jump\" (known: acp, audio, ", 0), 0u);
}

}  // namespace
