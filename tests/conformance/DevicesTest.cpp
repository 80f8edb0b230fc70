// Devices as the monitor opens them: a drive or device that is not there, and a SMART read
// sent where no disk answers it. The count of bytes returned is left alone by a request that
// never reached a device.
#include "Scratch.h"

namespace {

using conformance::kMarker;
using conformance::WString;

class Devices : public conformance::Fixture {};

HANDLE OpenDevice(const char *path) {
  return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                     nullptr, OPEN_EXISTING, 0, nullptr);
}

// The last error of a SMART data request on `handle`, kMarker when it succeeds; the count
// returned must stay as it was.
DWORD SmartReadError(HANDLE handle) {
  SENDCMDINPARAMS request = {};
  request.cBufferSize = sizeof request;
  request.irDriveRegs.bFeaturesReg = READ_ATTRIBUTES;
  request.irDriveRegs.bCylLowReg = SMART_CYL_LOW;
  request.irDriveRegs.bCylHighReg = SMART_CYL_HI;
  request.irDriveRegs.bCommandReg = SMART_CMD;
  BYTE reply[sizeof(SENDCMDOUTPARAMS) - 1 + READ_ATTRIBUTE_BUFFER_SIZE];
  DWORD returned = kMarker;
  SetLastError(kMarker);
  BOOL done = DeviceIoControl(handle, SMART_RCV_DRIVE_DATA, &request, sizeof request, reply,
                              sizeof reply, &returned, nullptr);
  EXPECT_EQ(returned, kMarker);
  return done ? kMarker : GetLastError();
}

TEST_F(Devices, AMissingDeviceIsNotFoundAndASmartReadWithoutADiskIsRefusedBeforeAnswering) {
  for (const char *path : {"\\\\.\\PHYSICALDRIVE9", "\\\\.\\NorvaneNoSuchDevice"}) {
    SetLastError(kMarker);
    EXPECT_EQ(OpenDevice(path), INVALID_HANDLE_VALUE) << path;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND)) << path;
  }

  if (!conformance::HandleMisuseStops()) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    EXPECT_EQ(SmartReadError(event), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    CloseHandle(event);
    for (HANDLE bad : {event, static_cast<HANDLE>(nullptr), INVALID_HANDLE_VALUE})
      EXPECT_EQ(SmartReadError(bad), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  }
  // The request asks for read and write access: a handle opened for reading is refused first.
  conformance::Scratch scratch(TEXT("devices"));
  WString file = scratch.child_image(scratch.root() + TEXT("\\data.bin"));
  HANDLE reader =
      CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  EXPECT_EQ(SmartReadError(reader), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  CloseHandle(reader);
}

}  // namespace
