// fault: the rule a fault line adds to the world's fault plan, seen through the calls it makes
// fail.
#include <gtest/gtest.h>

#include <vector>

#include "ScenarioTesting.h"
#include "platform/win32.h"
#include "winsim/Registry.h"

namespace {

// Opens the key `count` times and gives the result of each attempt.
std::vector<LSTATUS> open_results(const char *subkey, int count) {
  std::vector<LSTATUS> out;
  for (int i = 0; i < count; ++i) {
    HKEY key = nullptr;
    LSTATUS r = RegOpenKeyExA(HKEY_LOCAL_MACHINE, subkey, 0, KEY_READ, &key);
    if (r == ERROR_SUCCESS) RegCloseKey(key);
    out.push_back(r);
  }
  return out;
}

class FaultVerb : public ::testing::Test {
 protected:
  void play(const std::string &fault_line) {
    world_.registry().create_key("HKLM\\SOFTWARE\\Norvane\\Tesmar\\Config");
    world_.registry().create_key("HKLM\\SOFTWARE\\Other");
    scenario_test::play(world_, "0 " + fault_line + "\n1s end\n");
  }
  winsim::World world_;
};

TEST_F(FaultVerb, NthFailsOnlyThatMatchingCallWithTheGivenError) {
  play("fault RegOpenKeyExA nth 2 error 87 match tesmar\\CONFIG");
  EXPECT_EQ(open_results("SOFTWARE\\Other", 3),
            (std::vector<LSTATUS>{ERROR_SUCCESS, ERROR_SUCCESS, ERROR_SUCCESS}));
  EXPECT_EQ(open_results("SOFTWARE\\Norvane\\Tesmar\\Config", 3),
            (std::vector<LSTATUS>{ERROR_SUCCESS, 87, ERROR_SUCCESS}));
}

TEST_F(FaultVerb, FromFailsThatCallAndEveryLaterOneWithTheCallsOwnDefaultError) {
  play("fault RegOpenKeyExA from 2");
  EXPECT_EQ(open_results("SOFTWARE\\Other", 4),
            (std::vector<LSTATUS>{ERROR_SUCCESS, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED,
                                  ERROR_ACCESS_DENIED}));
}

TEST_F(FaultVerb, WithoutACountTheFirstCallFailsAndOptionsComeInAnyOrder) {
  play("fault RegOpenKeyExA match Other error 0x2");
  EXPECT_EQ(open_results("SOFTWARE\\Norvane\\Tesmar\\Config", 1),
            (std::vector<LSTATUS>{ERROR_SUCCESS}));
  EXPECT_EQ(open_results("SOFTWARE\\Other", 2),
            (std::vector<LSTATUS>{ERROR_FILE_NOT_FOUND, ERROR_SUCCESS}));
  auto faults = world_.trace().select("fault", {"call", "error"});
  ASSERT_EQ(faults.size(), 1u);
  EXPECT_EQ(faults[0]["call"], "RegOpenKeyExA");
  EXPECT_EQ(faults[0]["error"], 2);
}

}  // namespace
