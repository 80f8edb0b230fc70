// The fault plan: a rule fails exactly the calls it names, on the paths it names, from the
// count it names, with its error or the call's own default.
#include <gtest/gtest.h>

#include "platform/win32.h"
#include "winsim/Registry.h"
#include "winsim/World.h"

namespace {

using Record = winsim::Trace::Record;

constexpr const char *kConfig = "SOFTWARE\\Norvane\\Tesmar\\Config";
constexpr const char *kOther = "SOFTWARE\\Norvane\\Applications";

LSTATUS Open(const char *path, REGSAM access = KEY_READ) {
  HKEY key = nullptr;
  LSTATUS status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, access, &key);
  if (status == ERROR_SUCCESS) RegCloseKey(key);
  return status;
}

class FaultPlan : public ::testing::Test {
 protected:
  FaultPlan() {
    world.registry().create_key(std::string("HKLM\\") + kConfig);
    world.registry().create_key(std::string("HKLM\\") + kOther);
  }
  winsim::World world;
};

TEST_F(FaultPlan, ARuleFailsOnlyTheNthOrFromTheNthCallOnItsPathWithItsError) {
  world.faults().add({"RegOpenKeyExA", "Tesmar\\Config", 2, false, ERROR_FILE_NOT_FOUND});
  EXPECT_EQ(Open(kOther), ERROR_SUCCESS);
  EXPECT_EQ(Open(kConfig), ERROR_SUCCESS);
  EXPECT_EQ(Open(kOther), ERROR_SUCCESS);
  EXPECT_EQ(Open(kConfig), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Open(kConfig), ERROR_SUCCESS);
  EXPECT_EQ(Open(kOther), ERROR_SUCCESS);
  // The wide form is another call.
  HKEY key = nullptr;
  world.faults().add({"RegOpenKeyExA", "Tesmar\\Config", 1, true, 5});
  EXPECT_EQ(
      RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Norvane\\Tesmar\\Config", 0, KEY_READ, &key),
      ERROR_SUCCESS);
  RegCloseKey(key);
  // A from rule fails the nth call and every later one.
  world.faults().clear();
  world.faults().add({"RegOpenKeyExA", "tesmar\\config", 3, true, 1450});
  EXPECT_EQ(Open(kConfig), ERROR_SUCCESS);
  EXPECT_EQ(Open(kConfig), ERROR_SUCCESS);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(Open(kConfig), 1450) << "call " << i + 3;
  EXPECT_EQ(Open(kOther), ERROR_SUCCESS);
}

TEST_F(FaultPlan, ARuleWithoutAnErrorUsesTheCallsOwnDefaultAndAFailedOpenLeavesNoHandle) {
  world.faults().add({"RegOpenKeyExA", "", 1, false, std::nullopt});
  world.faults().add({"CreateEventA", "", 1, false, std::nullopt});
  world.faults().add({"RegisterEventSourceA", "Quillet", 1, false, std::nullopt});
  EXPECT_EQ(Open(kOther), ERROR_ACCESS_DENIED);
  SetLastError(0xdeadbeef);
  EXPECT_EQ(CreateEventA(nullptr, TRUE, FALSE, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
  SetLastError(0xdeadbeef);
  EXPECT_EQ(RegisterEventSourceA(nullptr, "Quillet"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));

  world.faults().add({"RegOpenKeyExA", "Config", 1, false, 5});
  HKEY key = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x1234));
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kConfig, 0, KEY_READ, &key), ERROR_ACCESS_DENIED);
  EXPECT_EQ(key, nullptr);
  EXPECT_EQ(world.open_handles(world.host_pid()), std::vector<std::string>{});
  // Every failure is traced with its error.
  std::vector<Record> faults = {{{"call", "RegOpenKeyExA"}, {"error", 5}},
                                {{"call", "CreateEventA"}, {"error", 8}},
                                {{"call", "RegisterEventSourceA"}, {"error", 1722}},
                                {{"call", "RegOpenKeyExA"}, {"error", 5}}};
  EXPECT_EQ(world.trace().select("fault", {"call", "error"}), faults);
}

// A rule that names a program function counts only the calls made from it: its full name or a
// trailing part after "::", the code of a lambda counting as the function that holds it. A name
// no program has is refused; the sites the programs reach are recorded with their counts.
TEST(CallerRules, ARuleNamingTheCallerCountsOnlyItsCallsAnUnknownCallerIsRefusedSitesAreCounted) {
  winsim::World world;
  world.add_program("counter.exe", winsim::ProgramImage{NORVANE_PROGRAMS_DIR "/counter.so"});
  world.place_program("C:\\Tools\\counter.exe", "counter.exe");
  // The program's lines that report a failed creation.
  auto run = [&] {
    std::uint32_t pid = world.start("C:\\Tools\\counter.exe 0 events");
    EXPECT_TRUE(world.wait_exit(pid));
    std::string console = world.console(pid);
    return console.substr(0, console.find("statics of"));
  };
  for (const char *name : {"Mak", "Signals::", "Other::Make", "NoSuchFunction"}) {
    EXPECT_THROW(world.faults().add({"CreateEventA", "", 1, false, 5, name}), std::invalid_argument)
        << name;
  }
  // The sites are counted before the rules below run: a census run records sites from the
  // world's start, and would count theirs too.
  world.faults().record_sites(true);
  world.faults().add({"CreateEventA", "", 2, false, 5, "Make"});
  run();
  // Reached and failed calls per site.
  using Counts = std::vector<std::pair<std::uint64_t, std::uint64_t>>;
  Counts counts;
  for (const char *caller : {"Signals::Make", "MakeInLambda", "MakeEvents"}) {
    auto it = world.faults().sites().find({"CreateEventA", caller, "counter.exe"});
    counts.emplace_back(it == world.faults().sites().end()
                            ? std::pair<std::uint64_t, std::uint64_t>{0, 0}
                            : std::pair{it->second.reached, it->second.failed});
  }
  EXPECT_EQ(counts, (Counts{{3, 1}, {1, 0}, {1, 0}}));
  EXPECT_TRUE(world.faults().unmatched().empty());

  const std::pair<winsim::Fault, std::string> cases[] = {
      {{"CreateEventA", "", 2, false, 5, "Make"}, "Signals::Make failed 5\n"},
      {{"CreateEventA", "", 1, true, 6, "Signals::Make"},
       "Signals::Make failed 6\nSignals::Make failed 6\nSignals::Make failed 6\n"},
      {{"CreateEventA", "", 1, false, 8, "MakeInLambda"}, "MakeInLambda failed 8\n"},
      {{"CreateEventA", "", 1, false, 5, "MakeEvents"}, "MakeEvents failed 5\n"},
      // The host's own calls are no program's: they never count.
      {{"CreateEventA", "", 1, false, 5, "main"}, ""},
  };
  for (const auto &[rule, console] : cases) {
    world.faults().clear();
    world.faults().add(rule);
    CloseHandle(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    EXPECT_EQ(run(), console) << rule.in;
  }
}

}  // namespace
