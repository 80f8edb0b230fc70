// Stopping the suite's service "QORAService" in a process of its own: the messages with their
// virtual times, the result, and what the service manager saw.
#include "InstallerWorld.h"
#include "winsim/Services.h"

namespace installer_test {
namespace {

class SuiteStop : public InstallerWorld {
 protected:
  Records Controls() { return world.trace().select("svc.control", {"t", "control", "result"}); }
  bool MarkedForDeletion() {
    auto info = world.services().info(kServiceName);
    return info && info->marked_for_delete;
  }
};

TEST_F(SuiteStop, AServiceThatIsNotRegisteredCountsAsStoppedAndDeleted) {
  std::uint32_t pid = RunStep("stop-delete Debug");
  EXPECT_EQ(world.console(pid),
            "OpenService failed w/err 0x00000424\nThe QORAService service is not exist.\n");
  EXPECT_EQ(world.exit_code(pid), 0u);
  EXPECT_TRUE(world.trace().of_kind("thread.start").empty());  // no dialog closer either
  std::uint32_t quiet = RunStep("stop-delete");
  EXPECT_EQ(world.console(quiet), "");
  EXPECT_EQ(world.exit_code(quiet), 0u);
}

TEST_F(SuiteStop, AStoppedServiceRefusesTheStopWith1062AndIsDeletedWhenAsked) {
  RegisterSuite();
  std::uint32_t keep = RunStep("stop Debug");
  EXPECT_EQ(world.console(keep), "");
  EXPECT_EQ(world.exit_code(keep), 0u);
  EXPECT_FALSE(MarkedForDeletion());

  std::uint32_t remove = RunStep("stop-delete Debug");
  EXPECT_EQ(world.console(remove), "QORAService is removed.\n");
  EXPECT_EQ(world.exit_code(remove), 0u);
  EXPECT_EQ(Controls(), (Records{{{"t", 0}, {"control", 1}, {"result", 1062}},
                                 {{"t", 0}, {"control", 1}, {"result", 1062}}}));
  EXPECT_EQ(world.trace().select("svc.delete", {"t", "service"}),
            (Records{{{"t", 0}, {"service", kServiceName}}}));
}

// The service counts its second before the installer polls: the poll at 3 s finds it stopped.
TEST_F(SuiteStop, AStopPendingForThreeSecondsPrintsOneDotPerPendingPoll) {
  RegisterSuite();
  Suite().stop_pending_s = 3;
  StartSuiteFromHost();
  std::uint32_t pid = RunStep("stop Debug");
  EXPECT_EQ(Output(pid), (Records{{{"t", 0}, {"text", "Stopping QORAService"}},
                                  {{"t", 1000}, {"text", "."}},
                                  {{"t", 2000}, {"text", "."}},
                                  {{"t", 6000}, {"text", "\nQORAService is stopped.\n"}}}));
  EXPECT_EQ(world.exit_code(pid), 0u);
  EXPECT_EQ(world.trace().select("svc.status", {"t", "state", "checkpoint"}),
            (Records{{{"t", 0}, {"state", 3}, {"checkpoint", 1}},
                     {{"t", 1000}, {"state", 3}, {"checkpoint", 2}},
                     {{"t", 2000}, {"state", 3}, {"checkpoint", 3}},
                     {{"t", 3000}, {"state", 1}, {"checkpoint", 0}}}));
  EXPECT_TRUE(world.open_handles(pid).empty());
}

// Without a bound the installer would wait for ever.
TEST_F(SuiteStop, AServiceStuckInStopPendingFailsAfter120SecondsAndIsStillDeleted) {
  RegisterSuite();
  Suite().stop_stuck = true;
  StartSuiteFromHost();
  std::uint32_t pid = RunStep("stop-delete Debug");
  EXPECT_EQ(world.console(pid), "Stopping QORAService" + std::string(119, '.') +
                                    "\nQORAService failed to stop.\nQORAService is removed.\n");
  Records output = Output(pid);
  EXPECT_EQ(output[119], (Record{{"t", 119000}, {"text", "."}}));
  EXPECT_EQ(output[120], (Record{{"t", 123000}, {"text", "\nQORAService failed to stop.\n"}}));
  EXPECT_EQ(world.exit_code(pid), 4u);
  EXPECT_TRUE(MarkedForDeletion());
}

TEST_F(SuiteStop, AStopRefusedWithAnotherErrorFailsWith7AndSkipsTheDeletion) {
  RegisterSuite();
  Suite().stop_refuse = ERROR_DEPENDENT_SERVICES_RUNNING;
  StartSuiteFromHost();
  std::uint32_t pid = RunStep("stop-delete Debug");
  EXPECT_EQ(world.console(pid), "");
  EXPECT_EQ(world.exit_code(pid), 7u);
  EXPECT_EQ(Controls(), (Records{{{"t", 0}, {"control", 1}, {"result", 1051}}}));
  EXPECT_FALSE(MarkedForDeletion());
}

struct StopFault {
  const char *name;
  DWORD stop_pending_s;
  winsim::Fault fault;
  const char *output;
  DWORD result;
};

class SuiteStopFault : public SuiteStop, public ::testing::WithParamInterface<StopFault> {};

TEST_P(SuiteStopFault, EachStepsFailureGivesItsMessageAndResult) {
  RegisterSuite();
  Suite().stop_pending_s = GetParam().stop_pending_s;
  StartSuiteFromHost();
  world.faults().add(GetParam().fault);
  std::uint32_t pid = RunStep("stop-delete Debug");
  EXPECT_EQ(world.console(pid), GetParam().output);
  EXPECT_EQ(world.exit_code(pid), GetParam().result);
  EXPECT_TRUE(world.open_handles(pid).empty());
}

// The state last read after a failed query is the stop-pending answer to the stop request.
INSTANTIATE_TEST_SUITE_P(
    Steps, SuiteStopFault,
    ::testing::Values(
        StopFault{"Connect", 0, Failing("OpenSCManagerW", 5),
                  "OpenSCManager failed w/err 0x00000005\n", 2},
        StopFault{"Open", 0, Failing("OpenServiceW", 5), "OpenService failed w/err 0x00000005\n",
                  3},
        StopFault{"DialogCloser", 0, Failing("CreateThread", 8),
                  "Stopping QORAService\nQORAService is stopped.\nQORAService is removed.\n", 0},
        StopFault{"Query", 3, Failing("QueryServiceStatus", 6),
                  "Stopping QORAService\nQORAService failed to stop.\nQORAService is removed.\n",
                  4},
        StopFault{"Delete", 0, Failing("DeleteService", 5),
                  "Stopping QORAService\nQORAService is stopped.\nDeleteService failed w/err "
                  "0x00000005\n",
                  5}),
    [](const auto &param_info) { return param_info.param.name; });

}  // namespace
}  // namespace installer_test
