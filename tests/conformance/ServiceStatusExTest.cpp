// QueryServiceStatusEx: the 36-byte record with the process id, the one information level, the
// size a buffer too small is told, and the record of a service that never ran. Each test works
// on a demand-start service of its own that is never started.
#include <cstring>

#include "Conformance.h"

namespace {

using conformance::kMarker;

class ServiceStatusEx : public conformance::Fixture {
 protected:
  void SetUp() override {
    manager_ = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ASSERT_NE(manager_, nullptr);
    service = CreateServiceA(manager_, "NorvaneConformanceStatusEx", nullptr, SERVICE_ALL_ACCESS,
                             SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                             "C:\\NorvaneConformance\\none.exe", nullptr, nullptr, nullptr, nullptr,
                             nullptr);
    ASSERT_NE(service, nullptr) << GetLastError();
  }
  void TearDown() override {
    if (service != nullptr) {
      EXPECT_TRUE(DeleteService(service));
      CloseServiceHandle(service);
    }
    if (manager_ != nullptr) CloseServiceHandle(manager_);
  }

  SC_HANDLE service = nullptr;

 private:
  SC_HANDLE manager_ = nullptr;
};

TEST_F(ServiceStatusEx, ANeverStartedServiceGivesTheWholeRecordAndNoSizeNeeded) {
  BYTE buffer[sizeof(SERVICE_STATUS_PROCESS)];
  std::memset(buffer, 0xCC, sizeof buffer);
  DWORD needed = kMarker;
  SetLastError(kMarker);
  ASSERT_TRUE(
      QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, buffer, sizeof buffer, &needed));
  EXPECT_EQ(GetLastError(), kMarker);
  EXPECT_EQ(needed, 0u);
  SERVICE_STATUS_PROCESS status;
  std::memcpy(&status, buffer, sizeof status);
  EXPECT_EQ(sizeof status, 36u);
  EXPECT_EQ(status.dwServiceType, static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS));
  EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
  EXPECT_EQ(status.dwControlsAccepted, 0u);
  EXPECT_EQ(status.dwWin32ExitCode, 1077u);  // ERROR_SERVICE_NEVER_STARTED
  EXPECT_EQ(status.dwServiceSpecificExitCode, 0u);
  EXPECT_EQ(status.dwCheckPoint, 0u);
  EXPECT_EQ(status.dwWaitHint, 0u);
  EXPECT_EQ(status.dwProcessId, 0u);
  EXPECT_EQ(status.dwServiceFlags, 0u);
}

TEST_F(ServiceStatusEx, ABufferTooSmallIsToldTheSizeAndLeftAlone) {
  BYTE buffer[sizeof(SERVICE_STATUS_PROCESS)];
  std::memset(buffer, 0xCC, sizeof buffer);
  DWORD needed = kMarker;
  SetLastError(kMarker);
  EXPECT_FALSE(QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, buffer, 35, &needed));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(needed, 36u);
  EXPECT_EQ(buffer[0], 0xCC);
  needed = kMarker;
  EXPECT_FALSE(QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(needed, 36u);
}

TEST_F(ServiceStatusEx, OtherLevelsAMissingSizeAndAHandleWithoutTheRightAreRefused) {
  SERVICE_STATUS_PROCESS status{};
  auto *buffer = reinterpret_cast<BYTE *>(&status);
  DWORD needed = kMarker;
  SetLastError(kMarker);
  EXPECT_FALSE(QueryServiceStatusEx(service, static_cast<SC_STATUS_TYPE>(1), buffer, sizeof status,
                                    &needed));
  EXPECT_EQ(GetLastError(), 124u);  // ERROR_INVALID_LEVEL
  EXPECT_EQ(needed, kMarker);
  SetLastError(kMarker);
  EXPECT_FALSE(
      QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, buffer, sizeof status, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_ADDRESS));

  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE stop_only = OpenServiceA(manager, "NorvaneConformanceStatusEx", SERVICE_STOP);
  ASSERT_NE(stop_only, nullptr);
  SetLastError(kMarker);
  EXPECT_FALSE(
      QueryServiceStatusEx(stop_only, SC_STATUS_PROCESS_INFO, buffer, sizeof status, &needed));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  CloseServiceHandle(stop_only);
  CloseServiceHandle(manager);
}

}  // namespace
