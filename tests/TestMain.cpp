// The main of every test executable: every world a test builds is checked as it goes, so that
// a program that leaves a handle open, memory the system handed it, or a COM object behind
// fails the test that ran it. A test that means to leave something says so with
// World::expect_left_behind.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "winsim/World.h"

namespace {

void CheckNothingLeftBehind(winsim::World &world) {
  if (world.left_behind_expected()) return;
  for (const std::string &line : world.left_behind()) ADD_FAILURE() << line;
}

}  // namespace

int main(int argc, char **argv) {
  testing::InitGoogleMock(&argc, argv);
  winsim::World::set_end_check(&CheckNothingLeftBehind);
  return RUN_ALL_TESTS();
}
