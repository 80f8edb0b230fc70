// The service frame. Starting and stopping the service: the status reports the manager sees, in
// order and at their virtual times, and the handles the processes leave behind. The control
// handler and the control thread: which operation each control reaches, on which thread, and
// when a repeated control is dropped.
#include "ServiceWorld.h"
#include "winsim/Registry.h"

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
  for (const auto &r : world.trace().of_kind("process.start"))
    if (r["pid"] == pid_) threads.resize(13, r["tid"].get<DWORD>());  // the main thread
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

// A continue while running is dropped without being recorded: a pause and a continue that
// follow both get through.
TEST_F(ServiceControlTest,
       ARepeatedRecordedControlOrAContinueWhileRunningIsDroppedNotAUserControl) {
  Send(SERVICE_CONTROL_CONTINUE);
  world.trace().clear();
  Send(SERVICE_CONTROL_PAUSE);
  Send(SERVICE_CONTROL_CONTINUE);
  // An interrogation re-reports the current status and reaches no operation. The last 14: another
  // recorded control in between lets the same code through again.
  EXPECT_EQ(Send(SERVICE_CONTROL_INTERROGATE), 0u);
  for (DWORD control : std::initializer_list<DWORD>{14, 14, 200, 200, SERVICE_CONTROL_PRESHUTDOWN,
                                                    SERVICE_CONTROL_PRESHUTDOWN, 14})
    Send(control);
  Strings expected = {"OnPause",           "OnContinue",    "OnUserControl 14", "OnUserControl 200",
                      "OnUserControl 200", "OnPreShutdown", "OnUserControl 14"};
  EXPECT_EQ(Calls().calls, expected);
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
}

class ServiceLifecycleTest : public ServiceWorld {};

// The manager refuses what the service cannot take in its state.
TEST_F(ServiceLifecycleTest, ASlowStopReportsANewCheckpointEveryFiveSecondsAndOnInterrogation) {
  InstallTestService<SlowStopService>();
  std::uint32_t pid = StartService();
  // Until the service reports RUNNING it accepts no stop.
  EXPECT_EQ(Control(SERVICE_CONTROL_STOP), static_cast<DWORD>(ERROR_SERVICE_CANNOT_ACCEPT_CTRL));
  world.run_for(1000);
  // Running, it is sent only what it accepts (0x4D): the manager answers a pause itself, the
  // handler (which answers every control with NO_ERROR) never sees it.
  EXPECT_EQ(Control(SERVICE_CONTROL_PAUSE), static_cast<DWORD>(ERROR_INVALID_SERVICE_CONTROL));
  EXPECT_EQ(world.services().send(kServiceName, SERVICE_CONTROL_PAUSE),
            static_cast<DWORD>(ERROR_INVALID_SERVICE_CONTROL));
  ASSERT_EQ(Control(SERVICE_CONTROL_STOP), 0u);
  world.run_for(6000);
  // No second stop while the service reports STOP_PENDING, and nothing once it stopped.
  EXPECT_EQ(Control(SERVICE_CONTROL_STOP), static_cast<DWORD>(ERROR_SERVICE_CANNOT_ACCEPT_CTRL));
  EXPECT_EQ(world.services().send(kServiceName, SERVICE_CONTROL_INTERROGATE), 0u);
  ASSERT_TRUE(world.wait_exit(pid));
  EXPECT_EQ(world.services().send(kServiceName, SERVICE_CONTROL_INTERROGATE),
            static_cast<DWORD>(ERROR_SERVICE_NOT_ACTIVE));

  Records expected = {
      {{"t", 0}, {"state", 2}, {"checkpoint", 1}, {"waitHint", 5000}},
      {{"t", 0}, {"state", 4}, {"checkpoint", 0}, {"waitHint", 0}},
      {{"t", 1000}, {"state", 3}, {"checkpoint", 1}, {"waitHint", 6000}},
      {{"t", 6000}, {"state", 3}, {"checkpoint", 2}, {"waitHint", 6000}},
      {{"t", 7000}, {"state", 3}, {"checkpoint", 2}, {"waitHint", 6000}},  // interrogated
      {{"t", 11000}, {"state", 3}, {"checkpoint", 3}, {"waitHint", 6000}},
      {{"t", 13000}, {"state", 1}, {"checkpoint", 0}, {"waitHint", 0}},
  };
  EXPECT_EQ(Statuses({"t", "state", "checkpoint", "waitHint"}), expected);
}

TEST_F(ServiceLifecycleTest, WorkThatEndsWithoutAStopReportsStoppedAfterTheControlThreadWait) {
  InstallTestService<ShortRunService>();
  std::uint32_t pid = StartService();
  ASSERT_TRUE(world.wait_exit(pid));

  // Cleanup waits 10 s for the control thread, then asks it to end: the thread ends on its own
  // before its events are closed and STOPPED is reported; no handle is left open.
  Records expected = {
      {{"t", 0}, {"kind", "svc.status"}, {"state", 2}},
      {{"t", 0}, {"kind", "svc.status"}, {"state", 4}},
      {{"t", 10000}, {"kind", "thread.exit"}, {"code", 0}},  // the control thread
      {{"t", 10000}, {"kind", "svc.status"}, {"state", 1}},
      {{"t", 10000}, {"kind", "thread.exit"}, {"code", 0}},  // the service-main thread
  };
  Records ending;
  for (const auto &r : world.trace().records())
    if (r["pid"] == pid && (r["kind"] == "svc.status" || r["kind"] == "thread.exit")) {
      Record e = {{"t", r["t"]}, {"kind", r["kind"]}};
      if (r.contains("state")) e["state"] = r["state"];
      if (r.contains("code")) e["code"] = r["code"];
      ending.push_back(e);
    }
  EXPECT_EQ(ending, expected);
  EXPECT_EQ(world.exit_code(pid), 0u);
  EXPECT_EQ(world.open_handles(pid), std::vector<std::string>{});
}

// Start and stop report the four statuses in order.
TEST_F(ServiceLifecycleTest, AFullInstallStartStopRemoveCycleLeaksNoHandle) {
  std::uint32_t install = RunQuillet("-install");
  std::uint32_t service = StartService();
  world.run_for(5000);
  // While it runs, another process may set "NasCallEvent", and "Quilletmutex" exists (the
  // service's names live in session 0; the host's session reaches them as "Global\").
  EXPECT_TRUE(world.set_named_event("NasCallEvent"));
  SetLastError(0xdeadbeef);
  HANDLE mutex = CreateMutexA(nullptr, FALSE, "Global\\Quilletmutex");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  CloseHandle(mutex);
  ASSERT_EQ(Control(SERVICE_CONTROL_STOP), 0u);
  ASSERT_TRUE(world.wait_exit(service));
  std::uint32_t remove = RunQuillet("-remove");
  Records statuses = {
      {{"t", 0}, {"state", 2}, {"checkpoint", 1}, {"waitHint", 5000}, {"controls", 0}},
      {{"t", 0}, {"state", 4}, {"checkpoint", 0}, {"waitHint", 0}, {"controls", 0x4D}},
      {{"t", 5000}, {"state", 3}, {"checkpoint", 1}, {"waitHint", 6000}, {"controls", 0x4D}},
      // once the RAID alarm the named event started has played (2.7 s)
      {{"t", 7700}, {"state", 1}, {"checkpoint", 0}, {"waitHint", 0}, {"controls", 0}},
  };
  EXPECT_EQ(Statuses({"t", "state", "checkpoint", "waitHint", "controls"}), statuses);
  // The event plays the RAID alarm once, whatever the state (here without the configuration
  // key): six tones from 5 s, the first 100 ms in.
  Records sounds = world.trace().select("sound", {"t"});
  ASSERT_EQ(sounds.size(), 6u);
  EXPECT_EQ(sounds.front()["t"], 5100);

  for (std::uint32_t pid : {install, service, remove}) {
    EXPECT_EQ(world.exit_code(pid), 0u);
    EXPECT_EQ(world.open_handles(pid), std::vector<std::string>{}) << "process " << pid;
  }
  EXPECT_FALSE(world.services().exists(kServiceName));
  EXPECT_EQ(world.trace().select("svc.delete", {"service"}), (Records{{{"service", "Orvexd"}}}));
}

// Each run of Quillet.exe is a process of its own: running it again by hand, and "-remove",
// leave the running service's objects, locks and threads alone.
TEST_F(ServiceLifecycleTest, RunningTheProgramAgainAndRemovingItLeaveTheRunningServiceAlone) {
  InstallDirectly();
  world.registry().create_key(kConfigKey);
  world.registry().set_dword(kRaidKey, "SRaidInfoEx", 0x8);  // RAID alarm and blinking LEDs
  std::uint32_t service = StartService();
  world.run_until(10000);
  std::uint32_t again = RunQuillet("");
  world.run_until(20000);
  std::uint32_t remove = RunQuillet("-remove");
  EXPECT_TRUE(world.services().info(kServiceName)->marked_for_delete);
  world.run_until(30000);
  ASSERT_EQ(Control(SERVICE_CONTROL_STOP), 0u);
  ASSERT_TRUE(world.wait_exit(service));

  // Not started by the manager, the second process ends at once and silently.
  for (std::uint32_t pid : {again, remove}) {
    EXPECT_EQ(world.exit_code(pid), 0u);
    EXPECT_EQ(world.console(pid), "");
  }
  // The alarm and blink threads ran until the stop: the status LED blinked on through 29 s.
  Records late_blinks;
  for (const auto &r : world.trace().select("gpio", {"t", "pin"}))
    if (r["t"] >= 29000 && r["pin"] == 12) late_blinks.push_back(r);
  EXPECT_FALSE(late_blinks.empty());
  // The order the threads end in at the stop is under MonitorCoreTest.
}

}  // namespace
}  // namespace quillet_test
