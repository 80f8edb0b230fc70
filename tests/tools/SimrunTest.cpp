// simrun as a whole: the trace on standard output, the exit codes, the messages on standard
// error, and the same seed giving the same bytes.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

#include "ScenarioTesting.h"
#include "platform/win32.h"
#include "scenario/Simrun.h"
#include "scenario/TimelineText.h"

namespace {

// Three threads race to write their number into one value, five times each.
DWORD WINAPI RaceThread(LPVOID arg) {
  DWORD id = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(arg));
  for (int i = 0; i < 5; ++i) {
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Race", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                    &key, nullptr);
    RegSetValueExA(key, "Last", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&id), sizeof id);
    RegCloseKey(key);
  }
  return id;
}

int RacerMain() {
  HANDLE threads[3];
  for (DWORD i = 0; i < 3; ++i)
    threads[i] = CreateThread(nullptr, 0, RaceThread,
                              reinterpret_cast<LPVOID>(static_cast<ULONG_PTR>(i + 1)), 0, nullptr);
  WaitForMultipleObjects(3, threads, TRUE, INFINITE);
  for (HANDLE t : threads) CloseHandle(t);
  return 0;
}

int SpinnerMain() {
  for (;;) GetTickCount();
}

void test_programs(winsim::World &world) {
  world.add_program("racer.exe", RacerMain);
  world.add_program("spinner.exe", SpinnerMain);
  world.set_busy_limit(10000);
}

std::vector<std::string> g_temp_files;

// A path in the temporary folder of this test alone: CTest runs test cases in parallel.
std::string temp_path(const std::string &name) {
  const auto *test = ::testing::UnitTest::GetInstance()->current_test_info();
  g_temp_files.push_back(::testing::TempDir() + "simrun_" + std::to_string(getpid()) + "_" +
                         test->name() + "_" + name);
  return g_temp_files.back();
}

class Simrun : public ::testing::Test {
 protected:
  void TearDown() override {
    for (const auto &path : g_temp_files) std::remove(path.c_str());
    g_temp_files.clear();
  }
};

std::string write_file(const std::string &name, const std::string &text) {
  std::string path = temp_path(name);
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

struct Outcome {
  int code;
  std::string out;
  std::string err;
};

Outcome simrun(const std::vector<std::string> &args) {
  std::ostringstream out, err;
  int code = scenario::simrun(args, out, err, scenario_test::all_verbs(), test_programs);
  return {code, out.str(), err.str()};
}

Outcome race(std::uint64_t seed, const char *extra = "") {
  std::string file = write_file(
      "race.scn", "0 seed " + std::to_string(seed) + "\n0 run C:\\Race\\racer.exe\n10s end\n");
  std::vector<std::string> args{file};
  if (*extra) args.insert(args.begin(), extra);
  return simrun(args);
}

// One JSON object per line; the same seed gives the same bytes, and the seed chooses the
// interleaving.
TEST_F(Simrun, PrintsTheTraceAsOneJsonObjectPerLineByteIdenticalForTheSameSeed) {
  Outcome o = race(3);
  EXPECT_EQ(o.code, 0);
  EXPECT_EQ(o.err, "");
  std::vector<std::string> kinds;
  std::istringstream lines(o.out);
  for (std::string line; std::getline(lines, line);)
    kinds.push_back(nlohmann::json::parse(line)["kind"]);
  ASSERT_GE(kinds.size(), 19u);
  EXPECT_EQ(kinds.front(), "scenario");  // line 1, the seed
  EXPECT_EQ(kinds.back(), "process.exit");
  EXPECT_EQ(std::count(kinds.begin(), kinds.end(), "reg.set"), 15);
  EXPECT_EQ(race(3).out, o.out);
  std::set<std::string> traces;
  for (std::uint64_t seed = 1; seed <= 8; ++seed) traces.insert(race(seed).out);
  EXPECT_GE(traces.size(), 2u);
}

TEST_F(Simrun, AMalformedLineExitsWithCode2NamingFileAndLineAfterTheTraceUpToIt) {
  std::string file = write_file("bad.scn",
                                "0 seed 1\n0 run C:\\Race\\racer.exe\n"
                                "# wait\n5s reg set HKLM\\SOFTWARE\\X V dword many\n"
                                "1m end\n");
  Outcome o = simrun({file});
  EXPECT_EQ(o.code, 2);
  EXPECT_EQ(o.out, race(1).out +
                       "{\"t\":5000,\"pid\":0,\"tid\":0,\"kind\":\"scenario\",\"line\":4,"
                       "\"text\":\"reg set HKLM\\\\SOFTWARE\\\\X V dword many\"}\n");
  EXPECT_EQ(o.err, file +
                       ":4: bad dword data \"many\": expected a number from 0 to 4294967295 "
                       "(decimal or 0x hex)\n");
}

TEST_F(Simrun, TimelineOptionPrintsTheHumanTimelineAndTraceWritesTheJsonLinesBesideIt) {
  std::string trace = temp_path("trace.jsonl");
  std::string file = write_file("race5.scn", "0 seed 5\n0 run C:\\Race\\racer.exe\n10s end\n");
  Outcome both = simrun({"--timeline", "--trace", trace, file});
  EXPECT_EQ(both.code, 0);
  EXPECT_EQ(both.out, race(5, "--timeline").out);
  // The machine's clock starts at 09:00 local time.
  EXPECT_EQ(both.out.substr(0, both.out.find("parent=4")),
            "  0:00:00.000  09:00:00  line 1            scenario  seed 5\n"
            "  0:00:00.000  09:00:00  line 2            scenario  run C:\\Race\\racer.exe\n"
            "  0:00:00.000  09:00:00  pid 12   tid 16   process.start  image=C:\\Race\\racer.exe  "
            "cmdline=C:\\Race\\racer.exe  ");
  EXPECT_EQ(scenario_test::file_text(trace), race(5).out);
}

TEST_F(Simrun, WrongArgumentsOrAFileThatCannotBeReadExitWithCode1) {
  for (const auto &args :
       {std::vector<std::string>{}, std::vector<std::string>{"--fast", "x"},
        std::vector<std::string>{"a.scn", "b.scn"}, std::vector<std::string>{"a.scn", "--svg"}}) {
    Outcome o = simrun(args);
    EXPECT_EQ(o.code, 1);
    EXPECT_NE(o.err.find("usage: simrun [--timeline] [--trace <file>] [--svg <picture-file>] "
                         "<scenario-file>"),
              std::string::npos);
  }
  Outcome help = simrun({"--help"});
  EXPECT_EQ(help.code, 0);
  EXPECT_EQ(help.out.rfind("usage: simrun", 0), 0u);
  Outcome unreadable = simrun({"/nonexistent/demo.scn"});
  EXPECT_EQ(unreadable.code, 1);
  EXPECT_EQ(unreadable.err,
            "simrun: cannot read /nonexistent/demo.scn: No such file or directory\n");
}

// The README's text from the line `first` to the next blank line.
std::string readme_part(const std::string &first) {
  std::ifstream readme(NORVANE_SOURCE_DIR "/README.md");
  std::string part;
  bool in = false;
  for (std::string row; std::getline(readme, row);) {
    in = in || row == first;
    if (in && row.empty()) break;
    if (in) part += row + "\n";
  }
  return part;
}

// Every verb simrun knows is in the README's verb table, each of its forms written there as
// --verbs prints it, and the table has no other verb; every record kind is in its list.
TEST_F(Simrun, TheReadmeHoldsEveryVerbFormVerbsPrintsAndEveryRecordKind) {
  Outcome o = simrun({"--verbs"});
  EXPECT_EQ(o.code, 0);
  std::string table = readme_part("| Verb | Meaning |");
  for (std::size_t bar = table.find("\\|"); bar != std::string::npos; bar = table.find("\\|"))
    table.erase(bar, 1);  // a table cell's \| is |
  std::set<std::string> listed;
  std::istringstream lines(o.out);
  for (std::string form; std::getline(lines, form);) {
    listed.insert(form.substr(0, form.find(' ')));
    EXPECT_NE(table.find("`" + form + "`"), std::string::npos) << form;
  }
  // The table's rows start "| `<verb> ...".
  std::set<std::string> documented;
  std::istringstream rows(table);
  for (std::string row; std::getline(rows, row);)
    if (row.rfind("| `", 0) == 0) documented.insert(row.substr(3, row.find_first_of(" `", 3) - 3));
  EXPECT_EQ(listed, documented);
  EXPECT_EQ(o.out.substr(o.out.size() - 4), "end\n");
  // The README lists every kind of record the trace may hold, and `timeline hide` knows them.
  std::string list = readme_part(
      "The trace records what the machine saw, each with its virtual time `t` (ms), `pid` and "
      "`tid`:");
  documented.clear();
  for (std::size_t at = list.find('`'); at != std::string::npos; at = list.find('`', at + 1)) {
    std::size_t end = list.find('`', at + 1);
    std::string name = list.substr(at + 1, end - at - 1);
    if (name != "t" && name != "pid" && name != "tid") documented.insert(name);
    at = end;
  }
  std::set<std::string> known;
  for (std::string_view kind : scenario::TimelineText::kinds()) known.insert(std::string(kind));
  EXPECT_EQ(documented, known);
}

TEST_F(Simrun, ARunTheWorldStopsExitsWithCode3TheReportAndTheTraceSoFar) {
  Outcome spin = simrun({write_file("spin.scn", "0 run C:\\spinner.exe\n1m end\n")});
  EXPECT_EQ(spin.code, 3);
  EXPECT_EQ(
      spin.out,
      "{\"t\":0,\"pid\":0,\"tid\":0,\"kind\":\"scenario\",\"line\":1,\"text\":\"run "
      "C:\\\\spinner.exe\"}\n"
      "{\"t\":0,\"pid\":12,\"tid\":16,\"kind\":\"process.start\",\"image\":\"C:\\\\spinner.exe\","
      "\"cmdline\":\"C:\\\\spinner.exe\",\"parent\":4}\n");
  EXPECT_EQ(spin.err.rfind("simrun: the world stopped the run at 0 ms:\nwinsim: busy loop: ", 0),
            0u)
      << spin.err;
}

// The real program, as a shell runs it.
Outcome run_program(const std::string &args) {
  std::string out = temp_path("out.txt");
  std::string err = temp_path("err.txt");
  int status =
      std::system((std::string(SIMRUN_PATH) + " " + args + " >" + out + " 2>" + err).c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, scenario_test::file_text(out),
          scenario_test::file_text(err)};
}

TEST_F(Simrun, TheProgramRunsTheDemoToItsEndAndExitCodesReachTheShell) {
  Outcome demo = run_program(std::string(NORVANE_SOURCE_DIR) + "/scenarios/demo.scn");
  EXPECT_EQ(demo.code, 0) << demo.err;
  EXPECT_EQ(demo.err, "");
  std::string file = write_file("verb.scn", "0 seed 1\n1s explode\n2s end\n");
  Outcome malformed = run_program(file);
  EXPECT_EQ(malformed.code, 2);
  EXPECT_EQ(malformed.err.rfind(file + ":2: unknown verb \"explode\"", 0), 0u) << malformed.err;
}

}  // namespace
