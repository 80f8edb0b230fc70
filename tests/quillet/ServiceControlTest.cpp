// The control handler and the control thread: which operation each control reaches, on which
// thread, and when a repeated control is dropped.
#include "ServiceWorld.h"

namespace quillet_test {
namespace {

using Strings = std::vector<std::string>;

class ServiceControlTest : public ServiceWorld {
 protected:
  void SetUp() override {
    InstallTestService<RecordingService>();
    pid_ = StartService();
    world.run_for(100);
  }

  // Sends a control as the system does and lets the control thread act on it.
  DWORD Send(DWORD control, DWORD event_type = 0) {
    DWORD result = world.services().send(kServiceName, control, event_type);
    world.run_for(2000);
    return result;
  }

  DWORD MainThread() {
    for (const auto &r : world.trace().of_kind("process.start"))
      if (r["pid"] == pid_) return r["tid"].get<DWORD>();
    return 0;
  }
  // The second thread of the process: the service-main thread starts it.
  DWORD ControlThread() {
    std::vector<DWORD> tids;
    for (const auto &r : world.trace().of_kind("thread.start"))
      if (r["pid"] == pid_) tids.push_back(r["thread"].get<DWORD>());
    return tids.at(1);
  }

  std::uint32_t pid_ = 0;
};

// Unlisted controls reach OnUserControl on the handler's thread.
TEST_F(ServiceControlTest, EachControlWithAnIndexReachesItsOperationOnTheControlThread) {
  EXPECT_EQ(Send(SERVICE_CONTROL_PARAMCHANGE), 0u);
  // A device query-remove is answered NO_ERROR, so the removal is granted.
  EXPECT_EQ(Send(SERVICE_CONTROL_DEVICEEVENT, DBT_DEVICEQUERYREMOVE), 0u);
  EXPECT_EQ(Send(SERVICE_CONTROL_HARDWAREPROFILECHANGE), 0u);
  EXPECT_EQ(Send(SERVICE_CONTROL_POWEREVENT, PBT_APMRESUMEAUTOMATIC), 0u);
  EXPECT_EQ(Send(SERVICE_CONTROL_PRESHUTDOWN), 0u);
  EXPECT_EQ(Send(SERVICE_CONTROL_PAUSE), 0u);
  EXPECT_EQ(Send(SERVICE_CONTROL_CONTINUE), 0u);
  for (DWORD control : {7u, 10u, 14u, 16u, 128u, 255u}) EXPECT_EQ(Send(control), 0u);

  Strings expected = {"OnParamChange",    "OnDeviceEvent 32769", "OnHardwareProfileChange",
                      "OnPowerEvent 18",  "OnPreShutdown",       "OnPause",
                      "OnContinue",       "OnUserControl 7",     "OnUserControl 10",
                      "OnUserControl 14", "OnUserControl 16",    "OnUserControl 128",
                      "OnUserControl 255"};
  EXPECT_EQ(Calls().calls, expected);
  std::vector<DWORD> threads(7, ControlThread());
  threads.resize(13, MainThread());
  EXPECT_EQ(Calls().threads, threads);
}

TEST_F(ServiceControlTest, StopAndShutdownReachTheirOperationAndEndTheControlThread) {
  EXPECT_EQ(Send(SERVICE_CONTROL_STOP), 0u);
  ASSERT_TRUE(world.wait_exit(pid_));
  Records exits;
  for (const auto &r : world.trace().of_kind("thread.exit"))
    if (r["thread"] == ControlThread()) exits.push_back({{"code", r["code"]}});
  EXPECT_EQ(exits, (Records{{{"code", 0}}}));
  pid_ = StartService();
  world.run_for(100);
  EXPECT_EQ(Send(SERVICE_CONTROL_SHUTDOWN), 0u);
  ASSERT_TRUE(world.wait_exit(pid_));
  EXPECT_EQ(Calls().calls, (Strings{"OnStop", "OnShutdown", "OnStop"}));
  EXPECT_EQ(world.services().info(kServiceName)->state, static_cast<DWORD>(SERVICE_STOPPED));
}

TEST_F(ServiceControlTest, ARepeatedRecordedControlIsDroppedButAUserControlIsNot) {
  Send(14);
  Send(14);
  Send(200);
  Send(200);
  Send(SERVICE_CONTROL_PRESHUTDOWN);
  Send(SERVICE_CONTROL_PRESHUTDOWN);
  // Another recorded control in between lets the same code through again.
  Send(14);
  Strings expected = {"OnUserControl 14", "OnUserControl 200", "OnUserControl 200", "OnPreShutdown",
                      "OnUserControl 14"};
  EXPECT_EQ(Calls().calls, expected);
}

TEST_F(ServiceControlTest, ContinueWhileRunningIsDroppedWithoutBeingRecorded) {
  Send(SERVICE_CONTROL_CONTINUE);
  EXPECT_EQ(Calls().calls, Strings{});
  // Not recorded: a pause and a continue that follow both get through.
  world.trace().clear();
  Send(SERVICE_CONTROL_PAUSE);
  Send(SERVICE_CONTROL_CONTINUE);
  // An interrogation re-reports the current status and reaches no operation.
  EXPECT_EQ(Send(SERVICE_CONTROL_INTERROGATE), 0u);
  EXPECT_EQ(Calls().calls, (Strings{"OnPause", "OnContinue"}));
  // A settled state is reported with checkpoint and wait hint 0, whatever the pending one had.
  Records reported = {{{"state", 6}, {"checkpoint", 1}, {"waitHint", 1000}},
                      {{"state", 7}, {"checkpoint", 0}, {"waitHint", 0}},
                      {{"state", 5}, {"checkpoint", 2}, {"waitHint", 3000}},
                      {{"state", 4}, {"checkpoint", 0}, {"waitHint", 0}},
                      {{"state", 4}, {"checkpoint", 0}, {"waitHint", 0}}};
  EXPECT_EQ(Statuses({"state", "checkpoint", "waitHint"}), reported);
  EXPECT_EQ(Statuses({"controls"}).back(), (Record{{"controls", RecordingService::kAllControls}}));
}

TEST_F(ServiceControlTest, ParameterChangesThatArriveTogetherRunTheOperationOnce) {
  // While the control thread is busy, two parameter changes signal the same event; the
  // thread serves it once.
  EXPECT_EQ(world.services().send(kServiceName, SERVICE_CONTROL_HARDWAREPROFILECHANGE), 0u);
  world.run_for(100);
  EXPECT_EQ(world.services().send(kServiceName, SERVICE_CONTROL_PARAMCHANGE), 0u);
  EXPECT_EQ(world.services().send(kServiceName, SERVICE_CONTROL_PARAMCHANGE), 0u);
  world.run_for(2000);
  EXPECT_EQ(Calls().calls, (Strings{"OnHardwareProfileChange", "OnParamChange"}));
  Send(SERVICE_CONTROL_PARAMCHANGE);
  EXPECT_EQ(Calls().calls, (Strings{"OnHardwareProfileChange", "OnParamChange", "OnParamChange"}));
}

// The manager may interrogate as soon as the handler is registered, before the service has
// reported anything: there is no status to repeat yet, and state 0 would be refused (a fatal
// report failure).
int InterrogateBeforeTheFirstReport() {
  RecordingService service;
  service.CtrlHandler(SERVICE_CONTROL_INTERROGATE, 0);
  return 7;
}

TEST_F(ServiceWorld, AnInterrogationBeforeTheFirstReportIsNotAnswered) {
  world.add_program("Early.exe", InterrogateBeforeTheFirstReport);
  world.place_program("C:\\Early.exe", "Early.exe");
  std::uint32_t pid = world.start("C:\\Early.exe");
  ASSERT_TRUE(world.wait_exit(pid));
  EXPECT_EQ(world.exit_code(pid), 7u);
  EXPECT_TRUE(world.trace().of_kind("svc.status").empty());
  EXPECT_TRUE(world.trace().of_kind("event").empty());
}

}  // namespace
}  // namespace quillet_test
