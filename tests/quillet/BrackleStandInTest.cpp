// The board library's simulated stand-in where the service's tests do not reach it: planned
// faults, failed readings and pins the board does not have. (The results of successive
// initialization attempts and the readings are shown by MonitorCoreTest, HealthInputsTest and
// SystemStatusTest; GPIO writes by every RAID test.)
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "monitor/Brackle.h"
#include "standins/Board.h"
#include "winsim/World.h"

namespace {

using Record = winsim::Trace::Record;

class BrackleStandIn : public ::testing::Test {
 protected:
  standins::Board &board() { return standins::Board::of(world); }
  std::int32_t initialize() {
    BrkInitParams params{};
    return BRK_Initialize(&params);
  }

  winsim::World world;
};

TEST_F(BrackleStandIn, APlannedFaultFailsAnAttemptWhichStillCounts) {
  board().set_init_results({0, -1001});
  world.faults().add({"BRK_Initialize", "", 1, false, 0xFFFFFC16});  // -1002
  EXPECT_EQ(initialize(), -1002);
  EXPECT_FALSE(board().initialized());
  EXPECT_EQ(initialize(), -1001);
  EXPECT_EQ(board().init_calls(), 2);
}

TEST_F(BrackleStandIn, AFailedReadingLeavesTheCallersValueAlone) {
  board().set_fan_speed(2500, -1001);
  board().set_cpu_temperature(60.0, -1006);
  board().set_system_temperature(40.0, -3);
  std::int32_t rpm = -5;
  double cpu = -5, system = -5;
  EXPECT_EQ(BRKHwmCpu_GetFanSpeed(&rpm), -1001);
  EXPECT_EQ(BRKHwmCpu_GetTemperature(&cpu), -1006);
  EXPECT_EQ(BRKHwmSystem_GetTemperature(&system), -3);
  EXPECT_EQ(std::tuple(rpm, cpu, system), std::tuple(-5, -5.0, -5.0));
}

TEST_F(BrackleStandIn, APinTheBoardDoesNotHaveAndAFaultedWriteAreRefusedAndNotTraced) {
  EXPECT_EQ(BRKGpio_Write(11, 0), -1001);
  EXPECT_EQ(board().level(11), std::nullopt);
  EXPECT_EQ(board().level(10), std::nullopt);
  EXPECT_TRUE(world.trace().of_kind("gpio").empty());
  // A faulted write changes nothing either.
  EXPECT_EQ(BRKGpio_Write(32, 1), 0);
  world.faults().add({"BRKGpio_Write", "32"});
  EXPECT_EQ(BRKGpio_Write(32, 0), -1);
  EXPECT_EQ(BRKGpio_Write(12, 0), 0);
  EXPECT_EQ(board().level(32), 1);
  EXPECT_EQ(world.trace().select("gpio", {"pin", "level"}),
            (std::vector<Record>{{{"pin", 32}, {"level", 1}}, {{"pin", 12}, {"level", 0}}}));
}

}  // namespace
