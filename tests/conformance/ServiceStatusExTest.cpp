// QueryServiceStatusEx: the 36-byte record of a service that never ran, the size a buffer too
// small is told, and the refusals. The test's demand-start service is never started.
#include <cstring>

#include "Conformance.h"

namespace {

using conformance::kMarker;

class ServiceStatusEx : public conformance::Fixture {
 protected:
  void SetUp() override {
    manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    service = CreateServiceA(manager, "NorvaneConformanceStatusEx", nullptr, SERVICE_ALL_ACCESS,
                             SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                             "C:\\NorvaneConformance\\none.exe", nullptr, nullptr, nullptr, nullptr,
                             nullptr);
    ASSERT_NE(service, nullptr) << GetLastError();
  }
  void TearDown() override {
    if (service != nullptr) {
      EXPECT_TRUE(DeleteService(service));
    }
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
  }
  BOOL Query(SC_HANDLE handle, SC_STATUS_TYPE level, void *buffer, DWORD size, DWORD *needed) {
    SetLastError(kMarker);
    return QueryServiceStatusEx(handle, level, static_cast<BYTE *>(buffer), size, needed);
  }

  SC_HANDLE manager = nullptr;
  SC_HANDLE service = nullptr;
};

TEST_F(ServiceStatusEx, ANeverStartedServiceGivesTheWholeRecordAndABufferTooSmallItsSize) {
  DWORD record[9];
  std::memset(record, 0xCC, sizeof record);
  DWORD needed = kMarker;
  ASSERT_TRUE(Query(service, SC_STATUS_PROCESS_INFO, record, sizeof record, &needed));
  EXPECT_EQ(GetLastError(), kMarker);
  EXPECT_EQ(needed, 0u);
  EXPECT_EQ(sizeof(SERVICE_STATUS_PROCESS), sizeof record);
  // Type, state, controls, exit code 1077 (never started), specific exit code, check point,
  // wait hint, process id, flags.
  const DWORD expected[9] = {SERVICE_WIN32_OWN_PROCESS, SERVICE_STOPPED, 0, 1077, 0, 0, 0, 0, 0};
  EXPECT_EQ(std::memcmp(record, expected, sizeof record), 0);

  std::memset(record, 0xCC, sizeof record);
  EXPECT_FALSE(Query(service, SC_STATUS_PROCESS_INFO, record, 35, &needed));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(needed, 36u);
  EXPECT_EQ(record[0], 0xCCCCCCCCu);
  needed = kMarker;
  EXPECT_FALSE(Query(service, SC_STATUS_PROCESS_INFO, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(needed, 36u);
}

TEST_F(ServiceStatusEx, OtherLevelsAMissingSizeAndAHandleWithoutTheRightAreRefused) {
  SERVICE_STATUS_PROCESS status{};
  DWORD needed = kMarker;
  EXPECT_FALSE(Query(service, static_cast<SC_STATUS_TYPE>(1), &status, sizeof status, &needed));
  EXPECT_EQ(GetLastError(), 124u);  // ERROR_INVALID_LEVEL
  EXPECT_EQ(needed, kMarker);
  EXPECT_FALSE(Query(service, SC_STATUS_PROCESS_INFO, &status, sizeof status, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_ADDRESS));

  SC_HANDLE stop_only = OpenServiceA(manager, "NorvaneConformanceStatusEx", SERVICE_STOP);
  EXPECT_FALSE(Query(stop_only, SC_STATUS_PROCESS_INFO, &status, sizeof status, &needed));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  CloseServiceHandle(stop_only);
}

}  // namespace
