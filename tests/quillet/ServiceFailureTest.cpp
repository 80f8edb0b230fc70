// Fatal failures of the service frame: one error event under the display name with id 0,
// then the process ends at once with the error code, without reporting that it stopped.
#include "ServiceWorld.h"
#include "winsim/EventLog.h"
#include "winsim/Text.h"

namespace quillet_test {
namespace {

struct FatalCase {
  const char *name;
  winsim::Fault fault;
  std::string text;           // the event's one string; the exit code is the fault's error
  std::vector<DWORD> states;  // the statuses reported before the end
};

// The nth call of `call` fails with `error`: the fatal report's text, the exit code and the
// statuses reported before the end.
FatalCase Fatal(const char *name, const char *call, std::uint32_t nth, DWORD error,
                const std::string &text, std::vector<DWORD> states, bool from = false) {
  return {name, {call, "", nth, from, error}, text, std::move(states)};
}

// One of the service's own events (made after the frame's ten) that cannot be created, the nth
// CreateEventA call or, for the named one, the call with its name.
FatalCase ServiceEventCase(const char *name, std::uint32_t nth) {
  FatalCase c =
      Fatal(name, "CreateEventA", nth == 0 ? 1 : nth, 5,
            std::string("CreateEvent Error for ") + name + " failed: Access is denied.\r\n", {2});
  if (nth == 0) c.fault.match = name;
  return c;
}

const char kNoMemory[] = "Not enough memory resources are available to process this command.\r\n";

class ServiceFailureTest : public ServiceWorld, public ::testing::WithParamInterface<FatalCase> {
 protected:
  // The fatal reports: entries under the display name.
  std::vector<winsim::EventEntry> FatalEvents() {
    std::vector<winsim::EventEntry> out;
    for (const auto &e : world.eventlog().entries())
      if (e.source == "Norvane NAS LED Control") out.push_back(e);
    return out;
  }
  std::vector<DWORD> States() {
    std::vector<DWORD> out;
    for (const auto &r : world.trace().of_kind("svc.status"))
      out.push_back(r["state"].get<DWORD>());
    return out;
  }
};

TEST_P(ServiceFailureTest, WritesOneErrorEventAndEndsWithTheErrorCode) {
  const FatalCase &c = GetParam();
  InstallDirectly();
  world.faults().add(c.fault);
  std::uint32_t pid = StartService();
  world.run_for(1000);
  if (world.running(pid)) {
    ASSERT_EQ(Control(SERVICE_CONTROL_STOP), 0u);
  }
  ASSERT_TRUE(world.wait_exit(pid, 60000));

  auto events = FatalEvents();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].id, 0u);  // so of the error type (ServiceWorld::TearDown)
  EXPECT_EQ(events[0].strings, std::vector<std::string>{c.text});
  EXPECT_EQ(world.exit_code(pid), *c.fault.error);
  EXPECT_EQ(States(), c.states);
  EXPECT_EQ(world.services().info(kServiceName)->win32_exit_code,
            static_cast<DWORD>(ERROR_PROCESS_ABORTED));
}

// The frame creates ten events of its own (nine control events and the control thread's end
// event) before the service's five.
INSTANTIATE_TEST_SUITE_P(
    FrameCalls, ServiceFailureTest,
    ::testing::Values(Fatal("HandlerRegistration", "RegisterServiceCtrlHandlerExA", 1, 5,
                            "RegisterServiceCtrlHandler failed: Access is denied.\r\n", {}),
                      Fatal("DeviceNotification", "RegisterDeviceNotificationA", 1, 13,
                            "RegisterDeviceNotification failed: The data is invalid.\r\n", {}),
                      Fatal("StartPendingReport", "SetServiceStatus", 1, 6,
                            "SetServiceStatus failed: The handle is invalid.\r\n", {}),
                      Fatal("RunningReportWithoutSystemText", "SetServiceStatus", 2, 0x1234,
                            "SetServiceStatus failed: Unknown error 4660", {2}),
                      Fatal("StoppedReport", "SetServiceStatus", 4, 6,
                            "SetServiceStatus failed: The handle is invalid.\r\n", {2, 4, 3}),
                      Fatal("ControlThread", "_beginthreadex", 1, 8,
                            std::string("_beginthreadex failed: ") + kNoMemory, {2}),
                      Fatal("ControlThreadWait", "WaitForMultipleObjects", 1, 6,
                            "WaitForMultipleObjects failed: The handle is invalid.\r\n", {2, 4},
                            true),
                      Fatal("ControlEvent", "CreateEventA", 4, 8,
                            std::string("CreateEvent failed: ") + kNoMemory, {}),
                      ServiceEventCase("RunExitEvent", 11), ServiceEventCase("StopEvent", 12),
                      ServiceEventCase("ParaChgEvent", 13), ServiceEventCase("NasCallEvent", 0),
                      ServiceEventCase("SuspendEvent", 15)),
    [](const ::testing::TestParamInfo<FatalCase> &test) { return test.param.name; });

class ServiceReportTest : public ServiceWorld {};

TEST_F(ServiceReportTest, APendingStatusWithoutCheckpointOrWaitHintIsFatalWithCodeZero) {
  InstallTestService<BadPendingService>();
  for (DWORD checkpoint : {0u, 1u}) {
    BadPendingService::s_dwCheckPoint = checkpoint;
    BadPendingService::s_dwWaitHint = checkpoint == 0 ? 6000 : 0;
    world.eventlog().clear();
    std::uint32_t pid = StartService();
    ASSERT_TRUE(world.wait_exit(pid));
    ASSERT_EQ(world.eventlog().entries().size(), 1u);
    EXPECT_EQ(world.eventlog().entries()[0].strings,
              std::vector<std::string>{
                  "CSvsBase::SetStatus: Pending statuses require a hint and checkpoint\n"});
    EXPECT_EQ(world.exit_code(pid), 0u);
  }
  EXPECT_EQ(world.trace().select("svc.status", {"state"}).size(), 2u);  // START_PENDING only
}

TEST_F(ServiceReportTest, AMessageLongerThanTheBufferIsCutAfterItsLastWholeCharacter) {
  InstallTestService<LongErrorService>();
  // The buffer holds 561 bytes. A double-byte character whose lead byte would be the 561st goes
  // whole; one whose second byte is the 561st stays, although that byte (0x81) could also lead.
  const std::string x559(559, 'x'), x560(560, 'x');
  const std::pair<std::string, std::string> cases[] = {
      {std::string(700, 'x'), std::string(561, 'x')},
      {x560 + winsim::cp932("ア"), x560},
      {x559 + winsim::cp932("＝ア"), x559 + winsim::cp932("＝")},
  };
  for (const auto &[text, written] : cases) {
    LongErrorService::s_strText = text;
    world.eventlog().clear();
    std::uint32_t pid = StartService();
    ASSERT_TRUE(world.wait_exit(pid));
    ASSERT_EQ(world.eventlog().entries().size(), 1u);
    EXPECT_EQ(world.eventlog().entries()[0].strings, std::vector<std::string>{written});
    EXPECT_EQ(world.exit_code(pid), 0u);
  }
}

TEST_F(ServiceReportTest, WithoutTheEventLogNothingIsWrittenAndTheProcessStillEnds) {
  InstallDirectly();
  world.eventlog().set_available(false);
  world.faults().add({"RegisterDeviceNotificationA", "", 1, false, 13});
  std::uint32_t pid = StartService();
  ASSERT_TRUE(world.wait_exit(pid));
  EXPECT_TRUE(world.eventlog().entries().empty());
  EXPECT_EQ(world.exit_code(pid), 13u);
}

}  // namespace
}  // namespace quillet_test
