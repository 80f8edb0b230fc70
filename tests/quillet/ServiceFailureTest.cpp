// Failed calls of the service: those that are fatal (one error event under the display name
// with id 0, then the process ends at once with the error code, without reporting that it
// stopped), and those the service rides out.
#include "ServiceWorld.h"
#include "winsim/EventLog.h"
#include "winsim/Registry.h"
#include "winsim/Text.h"

namespace quillet_test {
namespace {

// What the host does while the service runs, a control at a time; the stop follows.
constexpr DWORD kNasCall = 0;  // no control: another process sets "NasCallEvent"
struct Step {
  std::uint64_t t;
  DWORD control;
  DWORD event_type = 0;
};
using Steps = std::vector<Step>;
const Steps kParamChange = {{1000, SERVICE_CONTROL_PARAMCHANGE}};
const Steps kSuspend = {{1000, SERVICE_CONTROL_POWEREVENT, PBT_APMSUSPEND}};
const Steps kSuspendResume = {{1000, SERVICE_CONTROL_POWEREVENT, PBT_APMSUSPEND},
                              {1500, SERVICE_CONTROL_POWEREVENT, PBT_APMRESUMESUSPEND}};

const char kInvalidHandle[] = " failed: The handle is invalid.\r\n";
const char kNoMemory[] = "Not enough memory resources are available to process this command.\r\n";

class ServiceFailureTest : public ServiceWorld {
 protected:
  // Starts the service, plays the steps, asks it to stop at `stop_at` if it still runs, and
  // returns its process once it has ended.
  std::uint32_t Play(const Steps &steps, std::uint64_t stop_at) {
    std::uint32_t pid = StartService();
    for (const Step &step : steps) {
      world.run_until(step.t);
      if (step.control == kNasCall)
        world.set_named_event("NasCallEvent");
      else if (world.running(pid))
        world.services().send(kServiceName, step.control, step.event_type);
    }
    world.run_until(stop_at);
    if (world.running(pid)) Control(SERVICE_CONTROL_STOP);
    EXPECT_TRUE(world.wait_exit(pid, 60000));
    return pid;
  }
};

// ---- Fatal failures ----------------------------------------------------------------------------

struct FatalCase {
  const char *name;
  winsim::Fault fault;
  std::string text;           // the event's one string; the exit code is the fault's error
  std::vector<DWORD> states;  // the statuses reported before the end
  Steps steps = {};
  DWORD raid = 0;          // "SRaidInfoEx" at the start: 0x8 runs the RAID alarm and blinking
  bool short_run = false;  // the work ends without a stop request
  friend void PrintTo(const FatalCase &c, std::ostream *os) { *os << c.name; }
};

// The nth call of `call` made from `in` fails with `error`.
FatalCase Fatal(const char *name, const char *call, const char *in, std::uint32_t nth, DWORD error,
                const std::string &text, std::vector<DWORD> states) {
  return {name, {call, "", nth, false, error, in}, text, std::move(states)};
}
// The calls of `call` made from `in` fail with ERROR_INVALID_HANDLE, the first one or every
// one, after the steps; with "SRaidInfoEx" `raid` at the start.
FatalCase Invalid(const char *name, const char *call, const char *in, bool every,
                  std::vector<DWORD> states, Steps steps = {}, DWORD raid = 0) {
  return {name,
          {call, "", 1, every, ERROR_INVALID_HANDLE, in},
          call + std::string(kInvalidHandle),
          std::move(states),
          std::move(steps),
          raid};
}

// One of the service's own events that cannot be created: the nth creation or, for the named
// one, the creation with its name.
FatalCase ServiceEventCase(const char *name, std::uint32_t nth) {
  FatalCase c =
      Fatal(name, "CreateEventA", "CreateServiceEvent", nth == 0 ? 1 : nth, 5,
            std::string("CreateEvent Error for ") + name + " failed: Access is denied.\r\n", {2});
  if (nth == 0) c.fault.match = name;
  return c;
}

class FatalFailureTest : public ServiceFailureTest,
                         public ::testing::WithParamInterface<FatalCase> {};

TEST_P(FatalFailureTest, WritesOneErrorEventAndEndsWithTheErrorCode) {
  const FatalCase &c = GetParam();
  if (c.short_run)
    InstallTestService<ShortRunService>();
  else
    InstallDirectly();
  if (c.raid != 0) world.registry().set_dword(kRaidKey, "SRaidInfoEx", c.raid);
  world.faults().add(c.fault);
  // The fatal ends come before the stop, or follow it.
  std::uint32_t pid = Play(c.steps, c.short_run ? 30000 : 5000);

  // The fatal reports, entries under the display name: id 0, so of the error type (TearDown).
  std::vector<std::pair<std::uint32_t, std::vector<std::string>>> events;
  for (const auto &e : world.eventlog().entries())
    if (e.source == "Norvane NAS LED Control") events.emplace_back(e.id, e.strings);
  EXPECT_EQ(events, (decltype(events){{0u, {c.text}}}));
  EXPECT_EQ(world.exit_code(pid), *c.fault.error);
  EXPECT_EQ(world.exit_path(pid), winsim::ExitPath::Terminated);
  std::vector<DWORD> states;
  for (const auto &r : world.trace().of_kind("svc.status")) states.push_back(r["state"]);
  EXPECT_EQ(states, c.states);
  EXPECT_EQ(world.services().info(kServiceName)->win32_exit_code,
            static_cast<DWORD>(ERROR_PROCESS_ABORTED));
}

// The frame creates ten events of its own (nine control events and the control thread's end
// event) before the service's five. A request passed between the service's threads through an
// event that cannot be set or reset, and waits that keep failing, would leave a service that no
// longer answers: fatal.
INSTANTIATE_TEST_SUITE_P(
    Calls, FatalFailureTest,
    ::testing::Values(
        Fatal("HandlerRegistration", "RegisterServiceCtrlHandlerExA", "RegisterHandlers", 1, 5,
              "RegisterServiceCtrlHandler failed: Access is denied.\r\n", {}),
        Fatal("DeviceNotification", "RegisterDeviceNotificationA", "RegisterHandlers", 1, 13,
              "RegisterDeviceNotification failed: The data is invalid.\r\n", {}),
        Fatal("StartPendingReport", "SetServiceStatus", "SetStatus", 1, 6,
              "SetServiceStatus failed: The handle is invalid.\r\n", {}),
        Fatal("RunningReportWithoutSystemText", "SetServiceStatus", "SetStatus", 2, 0x1234,
              "SetServiceStatus failed: Unknown error 4660", {2}),
        Fatal("StoppedReport", "SetServiceStatus", "ServiceMain", 1, 6,
              "SetServiceStatus failed: The handle is invalid.\r\n", {2, 4, 3}),
        Fatal("ControlThread", "_beginthreadex", "StartCtrlThread", 1, 8,
              std::string("_beginthreadex failed: ") + kNoMemory, {2}),
        Invalid("ControlThreadWait", "WaitForMultipleObjects", "CtrlThreadLoop", false, {2, 4}),
        Fatal("ControlEvent", "CreateEventA", "CreateCtrlEvents", 4, 8,
              std::string("CreateEvent failed: ") + kNoMemory, {}),
        // A control that cannot be handed on: the stop is the first.
        Invalid("StopNotHandedOn", "SetEvent", "CtrlHandler", false, {2, 4}),
        Invalid("InterrogationNotReported", "SetServiceStatus", "ReportCurrentStatus", false,
                {2, 4}, {{1000, SERVICE_CONTROL_INTERROGATE}}),
        Invalid("CleanupWaitKeepsFailing", "WaitForSingleObject", "SvsBase::Cleanup", true,
                {2, 4, 3}),
        // A test service in the host's image: its calls are counted, not named.
        [] {
          FatalCase c = Invalid("ControlThreadNotAskedToEnd", "SetEvent", "", false, {2, 4});
          c.fault.nth = 2;  // after the one that ends its work
          c.short_run = true;
          return c;
        }(),
        // The five creations share one failure path: the first, and the named one.
        ServiceEventCase("RunExitEvent", 1), ServiceEventCase("NasCallEvent", 0),
        Invalid("StopEventNotSet", "SetEvent", "OnStop", false, {2, 4, 3}),
        Invalid("RunExitEventNotSet", "SetEvent", "CQuilletCtrl::Run", false, {2, 4, 3}),
        Invalid("ParamChangeNotPassedOn", "SetEvent", "OnParamChange", false, {2, 4}, kParamChange),
        Invalid("ParamChangeNotCleared", "ResetEvent", "CQuilletCtrl::Run", false, {2, 4},
                kParamChange),
        Invalid("NasCallNotCleared", "ResetEvent", "CQuilletCtrl::Run", false, {2, 4},
                {{1000, kNasCall}}),
        Invalid("SuspendNotPassedOn", "SetEvent", "OnPowerEvent", false, {2, 4}, kSuspend),
        Invalid("ResumeNotPassedOn", "ResetEvent", "OnPowerEvent", false, {2, 4}, kSuspendResume),
        Invalid("RunLoopWaitKeepsFailing", "WaitForMultipleObjects", "CQuilletCtrl::Run", true,
                {2, 4}),
        Invalid("SuspendedWaitKeepsFailing", "WaitForSingleObject", "StopRequestedWhileSuspended",
                true, {2, 4}, kSuspend),
        Invalid("IndicatorWaitKeepsFailing", "WaitForSingleObject", "StopIndicatorThread", true,
                {2, 4, 3}, {}, 0x8)),
    kNameOfRow);

// ---- Failures the service rides out ------------------------------------------------------------

struct RiddenOutCase {
  const char *name;
  winsim::Fault fault;
  Steps steps;
  std::uint64_t stop_at;
  std::vector<std::uint64_t> stopping;  // times of STOP_PENDING and STOPPED
  std::vector<std::uint64_t> cycles;    // times the RAID LEDs were darkened: each cycle (no RAID
                                        // information) and the stop
  friend void PrintTo(const RiddenOutCase &c, std::ostream *os) { *os << c.name; }
};

class RiddenOutTest : public ServiceFailureTest,
                      public ::testing::WithParamInterface<RiddenOutCase> {};

TEST_P(RiddenOutTest, TheServiceRunsOnAndStopsNormally) {
  const RiddenOutCase &c = GetParam();
  InstallDirectly();
  world.faults().add(c.fault);
  std::uint32_t pid = Play(c.steps, c.stop_at);
  EXPECT_EQ(world.trace().of_kind("fault").size(), c.fault.from ? 2u : 1u);
  EXPECT_EQ(world.exit_code(pid), 0u);
  EXPECT_EQ(world.open_handles(pid), std::vector<std::string>{});
  Records statuses = Statuses({"t", "state"});
  ASSERT_EQ(statuses.size(), 4u);
  EXPECT_EQ(statuses[2], (Record{{"t", c.stopping[0]}, {"state", 3}}));
  EXPECT_EQ(statuses[3], (Record{{"t", c.stopping[1]}, {"state", 1}}));
  std::vector<std::uint64_t> cycles;
  for (const auto &r : world.trace().select("gpio", {"t", "pin"}))
    if (r["pin"] == 32) cycles.push_back(r["t"]);
  EXPECT_EQ(cycles, c.cycles);
}

// The call made from `in` fails with ERROR_INVALID_HANDLE once, or `from` then on.
RiddenOutCase Once(const char *name, const char *call, const char *in, Steps steps,
                   std::uint64_t stop_at, std::vector<std::uint64_t> stopping,
                   std::vector<std::uint64_t> cycles, bool from = false) {
  return {name,
          {call, "", 1, from, ERROR_INVALID_HANDLE, in},
          std::move(steps),
          stop_at,
          stopping,
          std::move(cycles)};
}

INSTANTIATE_TEST_SUITE_P(
    Calls, RiddenOutTest,
    ::testing::Values(
        // Nobody waits on the mutex.
        Once("NoInstanceMutex", "CreateMutexA", "OnInit", {}, 1000, {1000, 1000}, {0, 1000}),
        // The control events reset themselves: the next parameter change comes through.
        Once("ControlEventsResetThemselves", "ResetEvent", "CtrlThreadLoop",
             {{1000, SERVICE_CONTROL_PARAMCHANGE}, {2000, SERVICE_CONTROL_PARAMCHANGE}}, 3000,
             {3000, 3000}, {0, 1000, 2000, 3000}, true),
        // The stop goes on without the further checkpoints.
        Once("StopWaitFails", "WaitForSingleObject", "OnStop", {}, 1000, {1000, 1000}, {0, 1000}),
        // A failed wait is tried again after a second.
        Once("CleanupWaitFailsOnce", "WaitForSingleObject", "SvsBase::Cleanup", {}, 1000,
             {1000, 2000}, {0, 1000}),
        Once("RunLoopWaitFailsOnce", "WaitForMultipleObjects", "CQuilletCtrl::Run", {}, 62000,
             {62000, 62000}, {0, 61000, 62000}),
        // The suspended loop's first test fails at 1 s; after its pause it sees the resume.
        Once("SuspendedWaitFailsOnce", "WaitForSingleObject", "StopRequestedWhileSuspended",
             kSuspendResume, 70000, {70000, 70000}, {0, 62000, 70000})),
    kNameOfRow);

// ---- The fatal report itself -------------------------------------------------------------------

class ServiceReportTest : public ServiceWorld {
 protected:
  // Starts the service afresh, sets `pid` to its process and returns the texts of the events
  // it wrote by its end.
  std::vector<std::string> EventsOfARun(std::uint32_t &pid) {
    world.eventlog().clear();
    pid = StartService();
    EXPECT_TRUE(world.wait_exit(pid, 1000));
    std::vector<std::string> out;
    for (const auto &e : world.eventlog().entries())
      out.insert(out.end(), e.strings.begin(), e.strings.end());
    return out;
  }
};

TEST_F(ServiceReportTest, APendingStatusWithoutCheckpointOrWaitHintIsFatalWithCodeZero) {
  InstallTestService<BadPendingService>();
  for (DWORD checkpoint : {0u, 1u}) {
    BadPendingService::s_dwCheckPoint = checkpoint;
    BadPendingService::s_dwWaitHint = checkpoint == 0 ? 6000 : 0;
    std::uint32_t pid = 0;
    EXPECT_EQ(EventsOfARun(pid),
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
    std::uint32_t pid = 0;
    EXPECT_EQ(EventsOfARun(pid), std::vector<std::string>{written});
    EXPECT_EQ(world.exit_code(pid), 0u);
  }
}

// A failed call of the report itself: the event is lost or plainer, and the process still ends
// with the error code; one that cannot be terminated exits.
TEST_F(ServiceReportTest, EachFailedCallOfTheReportStillEndsTheProcess) {
  struct Case {
    const char *call;
    std::vector<std::string> events;
    winsim::ExitPath path;
  };
  const std::string text = "RegisterDeviceNotification failed: The data is invalid.\r\n";
  const Case cases[] = {
      {"FormatMessageA",
       {"RegisterDeviceNotification failed: Unknown error 13"},
       winsim::ExitPath::Terminated},
      {"RegisterEventSourceA", {}, winsim::ExitPath::Terminated},
      {"ReportEventA", {}, winsim::ExitPath::Terminated},
      {"TerminateProcess", {text}, winsim::ExitPath::ExitProcess},
  };
  InstallDirectly();
  for (const Case &c : cases) {
    SCOPED_TRACE(c.call);
    world.faults().clear();
    world.faults().add({"RegisterDeviceNotificationA", "", 1, false, 13});
    world.faults().add({c.call, "", 1, false, std::nullopt, "ReportError"});
    std::uint32_t pid = 0;
    EXPECT_EQ(EventsOfARun(pid), c.events);
    EXPECT_EQ(world.exit_code(pid), 13u);
    EXPECT_EQ(world.exit_path(pid), c.path);
  }
}

}  // namespace
}  // namespace quillet_test
