// The service control manager as its clients see it: which controls it refuses, by the
// service's state and by the controls the service accepts, before any reaches the handler;
// starting a running service; a service marked for deletion. The service is the child
// program's service mode.
// QueryServiceStatusEx: the 36-byte record of a service that never ran, the size a buffer too
// small is told, and the refusals.
#include <cstring>

#include "Conformance.h"

namespace {

using conformance::kMarker;

// The service accepts only stop; each test makes its own, demand-start (a deleted service may
// linger until its process is gone).
class ServiceManager : public conformance::Fixture {
 protected:
  void SetUp() override {
    name_ =
        std::string("Norvane") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    finish_ = CreateEventA(nullptr, TRUE, FALSE, conformance::kServiceFinishEvent);
    reached_ = CreateEventA(nullptr, TRUE, FALSE, conformance::kServiceReachedEvent);
    manager_ = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    std::string path = conformance::Narrow(conformance::ChildCommandLine(
        conformance::ChildImage(), TEXT("service"), TEXT("1")));  // SERVICE_ACCEPT_STOP
    service_ = CreateServiceA(manager_, name_.c_str(), name_.c_str(), SERVICE_ALL_ACCESS,
                              SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                              path.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(service_, nullptr) << GetLastError();
  }
  void TearDown() override {
    SetEvent(finish_);
    if (service_ != nullptr) {
      WaitForState(SERVICE_STOPPED);
      DeleteService(service_);
      CloseServiceHandle(service_);
    }
    CloseServiceHandle(manager_);
    CloseHandle(reached_);
    CloseHandle(finish_);
  }

  // 0 when the call succeeded, else its error.
  DWORD Control(DWORD control, SERVICE_STATUS *status = nullptr) {
    SERVICE_STATUS ignored{};
    SetLastError(kMarker);
    return ControlService(service_, control, status != nullptr ? status : &ignored)
               ? 0
               : GetLastError();
  }
  DWORD Start() {
    SetLastError(kMarker);
    return StartServiceA(service_, 0, nullptr) ? 0 : GetLastError();
  }
  SERVICE_STATUS Query() {
    SERVICE_STATUS status{};
    EXPECT_TRUE(QueryServiceStatus(service_, &status));
    return status;
  }
  BOOL QueryEx(SC_HANDLE handle, SC_STATUS_TYPE level, void *buffer, DWORD size, DWORD *needed) {
    SetLastError(kMarker);
    return QueryServiceStatusEx(handle, level, static_cast<BYTE *>(buffer), size, needed);
  }
  bool WaitForState(DWORD state) {
    for (int i = 0; i < 3000 && Query().dwCurrentState != state; ++i) Sleep(10);
    return Query().dwCurrentState == state;
  }

  std::string name_;
  HANDLE finish_ = nullptr;
  HANDLE reached_ = nullptr;
  SC_HANDLE manager_ = nullptr;
  SC_HANDLE service_ = nullptr;
};

TEST_F(ServiceManager, ControlsAreRefusedByTheStateAndByWhatTheServiceAccepts) {
  EXPECT_EQ(Control(SERVICE_CONTROL_STOP), static_cast<DWORD>(ERROR_SERVICE_NOT_ACTIVE));
  ASSERT_EQ(Start(), 0u);
  ASSERT_TRUE(WaitForState(SERVICE_RUNNING));

  // Controls the service does not accept never reach its handler.
  EXPECT_EQ(Control(SERVICE_CONTROL_PAUSE), static_cast<DWORD>(ERROR_INVALID_SERVICE_CONTROL));
  EXPECT_EQ(Control(SERVICE_CONTROL_PARAMCHANGE),
            static_cast<DWORD>(ERROR_INVALID_SERVICE_CONTROL));
  EXPECT_EQ(WaitForSingleObject(reached_, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  // A user-defined control needs no accepted bit.
  EXPECT_EQ(Control(200), 0u);
  EXPECT_EQ(WaitForSingleObject(reached_, 0), static_cast<DWORD>(WAIT_OBJECT_0));

  SERVICE_STATUS status{};
  ASSERT_EQ(Control(SERVICE_CONTROL_STOP, &status), 0u);
  EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOP_PENDING));
  status = Query();
  EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOP_PENDING));
  EXPECT_EQ(status.dwCheckPoint, 1u);
  EXPECT_EQ(status.dwWaitHint, 30000u);
  EXPECT_EQ(status.dwControlsAccepted, static_cast<DWORD>(SERVICE_ACCEPT_STOP));
  // While it stops, the manager takes no control for it, not even an interrogation.
  EXPECT_EQ(Control(SERVICE_CONTROL_STOP), static_cast<DWORD>(ERROR_SERVICE_CANNOT_ACCEPT_CTRL));
  EXPECT_EQ(Control(SERVICE_CONTROL_INTERROGATE),
            static_cast<DWORD>(ERROR_SERVICE_CANNOT_ACCEPT_CTRL));

  SetEvent(finish_);
  ASSERT_TRUE(WaitForState(SERVICE_STOPPED));
  EXPECT_EQ(Control(SERVICE_CONTROL_INTERROGATE), static_cast<DWORD>(ERROR_SERVICE_NOT_ACTIVE));
}

TEST_F(ServiceManager, ARunningServiceIsNotStartedAgainAndAMarkedOneNotAtAll) {
  ASSERT_EQ(Start(), 0u);
  ASSERT_TRUE(WaitForState(SERVICE_RUNNING));
  EXPECT_EQ(Start(), static_cast<DWORD>(ERROR_SERVICE_ALREADY_RUNNING));

  SetLastError(kMarker);
  ASSERT_TRUE(DeleteService(service_));
  SetLastError(kMarker);
  EXPECT_FALSE(DeleteService(service_));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_MARKED_FOR_DELETE));

  // Marked, the service runs on until it stops; then it cannot be started again. (StartService
  // documents ERROR_SERVICE_MARKED_FOR_DELETE; Wine starts such a service again.)
  ASSERT_EQ(Control(SERVICE_CONTROL_STOP), 0u);
  SetEvent(finish_);
  ASSERT_TRUE(WaitForState(SERVICE_STOPPED));
  if (!conformance::UnderWine()) {
    EXPECT_EQ(Start(), static_cast<DWORD>(ERROR_SERVICE_MARKED_FOR_DELETE));
  }

  // It goes with the last handle (under Wine a moment later, while its process ends).
  CloseServiceHandle(service_);
  service_ = nullptr;
  SC_HANDLE reopened = nullptr;
  for (int i = 0; i < 300; ++i, Sleep(10)) {
    SetLastError(kMarker);
    reopened = OpenServiceA(manager_, name_.c_str(), SERVICE_QUERY_STATUS);
    if (reopened == nullptr) break;
    CloseServiceHandle(reopened);
  }
  EXPECT_EQ(reopened, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
}

TEST_F(ServiceManager, ANeverStartedServicesRecordIsWholeAndBadQueriesAreRefused) {
  DWORD record[9];
  std::memset(record, 0xCC, sizeof record);
  DWORD needed = kMarker;
  ASSERT_TRUE(QueryEx(service_, SC_STATUS_PROCESS_INFO, record, sizeof record, &needed));
  EXPECT_EQ(GetLastError(), kMarker);
  EXPECT_EQ(needed, 0u);
  EXPECT_EQ(sizeof(SERVICE_STATUS_PROCESS), sizeof record);
  // Type, state, controls, exit code 1077 (never started), specific exit code, check point,
  // wait hint, process id, flags.
  const DWORD expected[9] = {SERVICE_WIN32_OWN_PROCESS, SERVICE_STOPPED, 0, 1077, 0, 0, 0, 0, 0};
  EXPECT_EQ(std::memcmp(record, expected, sizeof record), 0);

  std::memset(record, 0xCC, sizeof record);
  EXPECT_FALSE(QueryEx(service_, SC_STATUS_PROCESS_INFO, record, 35, &needed));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(needed, 36u);
  EXPECT_EQ(record[0], 0xCCCCCCCCu);
  needed = kMarker;
  EXPECT_FALSE(QueryEx(service_, SC_STATUS_PROCESS_INFO, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(needed, 36u);
  // Other levels, a missing size and a handle without the right are refused.
  SERVICE_STATUS_PROCESS status{};
  needed = kMarker;
  EXPECT_FALSE(QueryEx(service_, static_cast<SC_STATUS_TYPE>(1), &status, sizeof status, &needed));
  EXPECT_EQ(GetLastError(), 124u);  // ERROR_INVALID_LEVEL
  EXPECT_EQ(needed, kMarker);
  EXPECT_FALSE(QueryEx(service_, SC_STATUS_PROCESS_INFO, &status, sizeof status, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_ADDRESS));

  SC_HANDLE stop_only = OpenServiceA(manager_, name_.c_str(), SERVICE_STOP);
  EXPECT_FALSE(QueryEx(stop_only, SC_STATUS_PROCESS_INFO, &status, sizeof status, &needed));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  CloseServiceHandle(stop_only);
}

}  // namespace
