// Starting the suite's service "QORAService" in a process of its own: the wait for a pending
// stop, the start, the wait for a pending start, each with its messages, times and result.
#include "InstallerWorld.h"
#include "winsim/Services.h"

namespace installer_test {
namespace {

class SuiteStart : public InstallerWorld {
 protected:
  // The service running, then asked to stop by someone else just before the installer starts.
  void StopPendingFromHost() {
    RegisterSuite();
    StartSuiteFromHost();
    ASSERT_EQ(StopSuiteFromHost(), 0u);
  }
  DWORD State() { return world.services().info(kServiceName)->state; }
};

TEST_F(SuiteStart, AStoppedServiceIsStartedAndWaitedFor) {
  RegisterSuite();
  Suite().start_pending_s = 3;
  std::uint32_t pid = RunStep("start Debug");
  EXPECT_EQ(Output(pid), (Records{{{"t", 0}, {"text", "Service start pending...\n"}},
                                  {{"t", 4000}, {"text", "Service started successfully.\n"}}}));
  EXPECT_EQ(world.exit_code(pid), 0u);
  EXPECT_EQ(State(), static_cast<DWORD>(SERVICE_RUNNING));
  EXPECT_TRUE(world.open_handles(pid).empty());
}

TEST_F(SuiteStart, ARunningServiceIsLeftAsItIs) {
  RegisterSuite();
  StartSuiteFromHost();
  std::uint32_t pid = RunStep("start Debug");
  EXPECT_EQ(world.console(pid), "Cannot start the service because it is already running\n");
  EXPECT_EQ(world.exit_code(pid), 4u);
}

TEST_F(SuiteStart, AServiceThatIsNotRegisteredCannotBeOpened) {
  std::uint32_t pid = RunStep("start Debug");
  EXPECT_EQ(world.console(pid), "OpenService failed (1060)\n");
  EXPECT_EQ(world.exit_code(pid), 2u);
}

TEST_F(SuiteStart, AServiceThatStopsRightAfterStartingEndsWithItsLastStatus) {
  RegisterSuite();
  Suite().exit_after_start = true;
  std::uint32_t pid = RunStep("start Debug");
  EXPECT_EQ(world.console(pid),
            "Service start pending...\nService not started. \n  Current State: 1\n"
            "  Exit Code: 0\n  Check Point: 0\n  Wait Hint: 0\n");
  EXPECT_EQ(world.exit_code(pid), 10u);
}

// Judging the progress of a service that has already stopped would take its stopped status,
// with check point and wait hint 0, for a stop that timed out.
TEST_F(SuiteStart, AStopThatEndsDuringTheWaitLetsTheStartGoOn) {
  Suite().stop_pending_s = 3;
  StopPendingFromHost();
  std::uint32_t pid = RunStep("start Debug");
  EXPECT_EQ(Output(pid), (Records{{{"t", 3000}, {"text", "Service start pending...\n"}},
                                  {{"t", 4000}, {"text", "Service started successfully.\n"}}}));
  EXPECT_EQ(world.exit_code(pid), 0u);
}

struct StuckCase {
  const char *name;
  DWORD wait_hint_ms;
  std::uint32_t tick_base;
  std::uint64_t timeout_at;  // the poll whose time since the last progress exceeds the hint
};

class StuckStop : public SuiteStart, public ::testing::WithParamInterface<StuckCase> {};

TEST_P(StuckStop, APendingStopWithoutProgressTimesOutAfterItsWaitHint) {
  const StuckCase &c = GetParam();
  world.set_tick_base(c.tick_base);
  Suite().stop_stuck = true;
  Suite().wait_hint_ms = c.wait_hint_ms;
  StopPendingFromHost();
  std::uint32_t pid = RunStep("start Debug");
  EXPECT_EQ(Output(pid),
            (Records{{{"t", c.timeout_at}, {"text", "Timeout waiting for service to stop\n"}}}));
  EXPECT_EQ(world.exit_code(pid), 7u);
  EXPECT_EQ(State(), static_cast<DWORD>(SERVICE_STOP_PENDING));
}

INSTANTIATE_TEST_SUITE_P(
    WaitHints, StuckStop,
    ::testing::Values(StuckCase{"NoHintPollsEverySecond", 0, 600000, 1000},
                      StuckCase{"LongHintPollsEveryTenSeconds", 200000, 600000, 210000},
                      StuckCase{"HintMeasuredAcrossTheTickWrap", 5000, 0xFFFFF000, 6000}),
    [](const auto &param_info) { return param_info.param.name; });

struct StartFault {
  const char *name;
  bool stop_pending;  // the service is stopping (else stopped) when the start begins
  winsim::Fault fault;
  const char *output;
  DWORD result;
};

class SuiteStartFault : public SuiteStart, public ::testing::WithParamInterface<StartFault> {};

TEST_P(SuiteStartFault, EachStepsFailureGivesItsMessageAndResult) {
  const StartFault &c = GetParam();
  Suite().stop_pending_s = 3;
  if (c.stop_pending)
    StopPendingFromHost();
  else
    RegisterSuite();
  world.faults().add(c.fault);
  std::uint32_t pid = RunStep("start Debug");
  EXPECT_EQ(world.console(pid), c.output);
  EXPECT_EQ(world.exit_code(pid), c.result);
  EXPECT_TRUE(world.open_handles(pid).empty());
}

// A failed query while starting ends the wait with the manager's status right after the start.
INSTANTIATE_TEST_SUITE_P(
    Steps, SuiteStartFault,
    ::testing::Values(
        StartFault{"Connect", false, Failing("OpenSCManagerW", 5), "OpenSCManager failed (5)\n", 1},
        StartFault{"FirstQuery", false, Failing("QueryServiceStatusEx", 5),
                   "QueryServiceStatusEx failed (5)\n", 3},
        StartFault{"QueryWhileStopping", true, Failing("QueryServiceStatusEx", 6, 2),
                   "QueryServiceStatusEx failed (6)\n", 6},
        StartFault{"Start", false, Failing("StartServiceW", 1058), "StartService failed (1058)\n",
                   8},
        StartFault{"QueryAfterStart", false, Failing("QueryServiceStatusEx", 5, 2),
                   "Service start pending...\nQueryServiceStatusEx failed (5)\n", 9},
        StartFault{"QueryWhileStarting", false, Failing("QueryServiceStatusEx", 5, 3),
                   "Service start pending...\nQueryServiceStatusEx failed (5)\nService not "
                   "started. \n  Current State: 2\n  Exit Code: 0\n  Check Point: 0\n  Wait "
                   "Hint: 2000\n",
                   10}),
    [](const auto &param_info) { return param_info.param.name; });

}  // namespace
}  // namespace installer_test
