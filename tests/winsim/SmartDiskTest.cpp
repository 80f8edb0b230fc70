// Physical drives answering SMART_RCV_DRIVE_DATA, and the SMART records with their Windows
// layout.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "platform/win32.h"
#include "winsim/SmartDisk.h"
#include "winsim/World.h"

namespace {

// The records' Windows layout.
static_assert(SMART_RCV_DRIVE_DATA == 0x7C088 && sizeof(IDEREGS) == 8 &&
              sizeof(DRIVERSTATUS) == 12);
static_assert(sizeof(SENDCMDINPARAMS) == 33 && offsetof(SENDCMDINPARAMS, irDriveRegs) == 4 &&
              offsetof(SENDCMDINPARAMS, bDriveNumber) == 12 &&
              offsetof(SENDCMDINPARAMS, dwReserved) == 16 &&
              offsetof(SENDCMDINPARAMS, bBuffer) == 32);
static_assert(sizeof(SENDCMDOUTPARAMS) == 17 && offsetof(SENDCMDOUTPARAMS, DriverStatus) == 4 &&
              offsetof(SENDCMDOUTPARAMS, bBuffer) == 16);

constexpr DWORD kReplySize = sizeof(SENDCMDOUTPARAMS) - 1 + READ_ATTRIBUTE_BUFFER_SIZE;  // 528

std::vector<std::uint8_t> Sector(std::uint8_t fill) {
  return std::vector<std::uint8_t>(512, fill);
}

SENDCMDINPARAMS Request(BYTE feature) {
  SENDCMDINPARAMS in = {};
  in.cBufferSize = READ_ATTRIBUTE_BUFFER_SIZE;
  in.irDriveRegs.bFeaturesReg = feature;
  in.irDriveRegs.bSectorCountReg = 1;
  in.irDriveRegs.bSectorNumberReg = 1;
  in.irDriveRegs.bCylLowReg = SMART_CYL_LOW;
  in.irDriveRegs.bCylHighReg = SMART_CYL_HI;
  in.irDriveRegs.bDriveHeadReg = 0xA0;
  in.irDriveRegs.bCommandReg = SMART_CMD;
  return in;
}

// What DeviceIoControl answers: its result, the last error (the marker when left alone), the
// count returned (the marker when left alone) and the output buffer, filled with 0xEE before the
// call; without `out_buffer` the call gets no buffer for its output size.
struct Answer {
  BOOL ok;
  DWORD error;
  DWORD returned;
  std::vector<BYTE> out;
  std::tuple<BOOL, DWORD, DWORD> result() const { return {ok, error, returned}; }
};
using Result = std::tuple<BOOL, DWORD, DWORD>;

Answer Control(HANDLE h, DWORD code, const void *in, DWORD in_size, DWORD out_size,
               bool out_buffer = true) {
  Answer a{FALSE, 0, 0xDEAD, std::vector<BYTE>(out_size, 0xEE)};
  SetLastError(0xDEAD);
  a.ok = DeviceIoControl(h, code, const_cast<void *>(in), in_size,
                         out_buffer ? a.out.data() : nullptr, out_size, &a.returned, nullptr);
  a.error = GetLastError();
  return a;
}

// Sends `in` (its first `in_size` bytes) with a reply buffer of `out_size` bytes: 0 or the
// error. A failed call returns no bytes.
DWORD Ioctl(HANDLE drive, const SENDCMDINPARAMS &in, DWORD out_size = kReplySize,
            DWORD in_size = sizeof(SENDCMDINPARAMS), DWORD code = SMART_RCV_DRIVE_DATA) {
  Answer a = Control(drive, code, &in, in_size, out_size);
  if (a.ok) return 0;
  EXPECT_EQ(a.returned, 0u);
  return a.error;
}

HANDLE OpenDrive(const char *path, DWORD disposition = OPEN_EXISTING) {
  return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                     nullptr, disposition, 0, nullptr);
}

// A reply is its header, the sector and nothing beyond: the buffer's last byte stays untouched.
TEST(SmartDisk, AnswersDataAndThresholdRequestsWithTheirSectorAtOffset16PaddedWithZeros) {
  winsim::World world;
  winsim::add_smart_disk(world, 1, Sector(0x11), Sector(0x22));
  winsim::add_smart_disk(world, 0, {0x10, 0x00, 0x05}, {});
  std::vector<BYTE> padded(512, 0);
  padded[0] = 0x10;
  padded[2] = 0x05;
  const struct {
    const char *path;
    BYTE feature;
    std::vector<BYTE> sector;
  } reads[] = {{"\\\\.\\PhysicalDrive1", READ_ATTRIBUTES, Sector(0x11)},
               {"\\\\.\\PhysicalDrive1", READ_THRESHOLDS, Sector(0x22)},
               {"\\\\.\\PHYSICALDRIVE0", READ_ATTRIBUTES, padded}};
  for (const auto &read : reads) {
    SCOPED_TRACE(std::string(read.path) + " feature " + std::to_string(read.feature));
    HANDLE h = OpenDrive(read.path);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    SENDCMDINPARAMS in = Request(read.feature);
    Answer a = Control(h, SMART_RCV_DRIVE_DATA, &in, sizeof in, kReplySize + 1);
    CloseHandle(h);
    ASSERT_TRUE(a.ok);
    EXPECT_EQ(a.returned, kReplySize);
    SENDCMDOUTPARAMS header;
    std::memcpy(&header, a.out.data(), 16);
    EXPECT_EQ(header.cBufferSize, 512u);
    EXPECT_EQ(header.DriverStatus.bDriverError, SMART_NO_ERROR);
    EXPECT_EQ(header.DriverStatus.bIDEError, 0);
    EXPECT_EQ(std::vector<BYTE>(a.out.begin() + 16, a.out.begin() + 528), read.sector);
    EXPECT_EQ(a.out[528], 0xEE);
  }
  EXPECT_EQ(world.trace().select("smart.read", {"device", "feature", "error"}),
            (std::vector<winsim::Trace::Record>{
                {{"device", "\\\\.\\PHYSICALDRIVE1"}, {"feature", 0xD0}, {"error", 0}},
                {{"device", "\\\\.\\PHYSICALDRIVE1"}, {"feature", 0xD1}, {"error", 0}},
                {{"device", "\\\\.\\PHYSICALDRIVE0"}, {"feature", 0xD0}, {"error", 0}}}));
  EXPECT_THROW(winsim::add_smart_disk(world, 2, std::vector<std::uint8_t>(513), {}),
               std::invalid_argument);
}

// Wrong requests are refused as the disk driver does; the failure modes refuse the open, every
// request or the thresholds.
TEST(SmartDisk, RefusesWrongRequestsAndFailsAsItsFailureModeSays) {
  winsim::World world;
  auto disk = winsim::add_smart_disk(world, 0, Sector(1), Sector(2));
  HANDLE h = OpenDrive("\\\\.\\PHYSICALDRIVE0");
  SENDCMDINPARAMS in = Request(READ_ATTRIBUTES);
  EXPECT_EQ(Ioctl(h, in, kReplySize, sizeof in, 0x7C084),
            static_cast<DWORD>(ERROR_INVALID_FUNCTION));
  EXPECT_EQ(Ioctl(h, in, kReplySize, sizeof in - 2), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(Ioctl(h, in, kReplySize - 1), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  SENDCMDINPARAMS identify = Request(0);
  identify.irDriveRegs.bCommandReg = 0xEC;
  EXPECT_EQ(Ioctl(h, identify), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

  disk->set_failure(winsim::SmartDisk::Failure::Ioctl);
  EXPECT_EQ(Ioctl(h, Request(READ_ATTRIBUTES)), static_cast<DWORD>(ERROR_INVALID_FUNCTION));
  disk->set_failure(winsim::SmartDisk::Failure::Thresholds);
  EXPECT_EQ(Ioctl(h, Request(READ_ATTRIBUTES)), 0u);
  EXPECT_EQ(Ioctl(h, Request(READ_THRESHOLDS)), static_cast<DWORD>(ERROR_GEN_FAILURE));
  CloseHandle(h);
  disk->set_failure(winsim::SmartDisk::Failure::Open);
  SetLastError(0xDEAD);
  EXPECT_EQ(OpenDrive("\\\\.\\PHYSICALDRIVE0"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  // A disposition other than the five is refused before the device is asked (the conformance
  // tests hold a file's open to both sides of the five).
  SetLastError(0xDEAD);
  EXPECT_EQ(OpenDrive("\\\\.\\PHYSICALDRIVE0", TRUNCATE_EXISTING + 1), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

static_assert(IOCTL_STORAGE_QUERY_PROPERTY == 0x2D1400 && IOCTL_SCSI_GET_ADDRESS == 0x41018 &&
              sizeof(STORAGE_PROPERTY_QUERY) == 12 && sizeof(SCSI_ADDRESS) == 8);
static_assert(offsetof(STORAGE_DEVICE_DESCRIPTOR, VendorIdOffset) == 12 &&
              offsetof(STORAGE_DEVICE_DESCRIPTOR, BusType) == 28 &&
              offsetof(STORAGE_DEVICE_DESCRIPTOR, RawDeviceProperties) == 36);
static_assert(BusTypeSata == 0x0B && BusTypeUsb == 7 && BusTypeNvme == 0x11);

// The two requests that name a drive need no access rights; the descriptor carries the model
// as its product id and the bus type, cut to the caller's buffer with the whole size in it. A
// request refused before it reaches the drive leaves the count returned alone.
TEST(SmartDisk, NamesItsModelBusTypeAndBayWithoutAccessRights) {
  winsim::World world;
  winsim::add_smart_disk(world, 3, Sector(0), Sector(0))
      ->set_identity({"ST9100821AS", BusTypeSata, 1});
  HANDLE h = CreateFileA("\\\\.\\PHYSICALDRIVE3", 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  STORAGE_PROPERTY_QUERY query = {StorageDeviceProperty, PropertyStandardQuery, {0}};
  Answer a = Control(h, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, 64);
  EXPECT_EQ(a.result(), Result(TRUE, 0xDEAD, 36 + 12 + 1));
  STORAGE_DEVICE_DESCRIPTOR descriptor;
  std::memcpy(&descriptor, a.out.data(), 36);
  EXPECT_EQ(descriptor.Size, 49u);
  EXPECT_EQ(descriptor.VendorIdOffset, 0u);
  EXPECT_EQ(descriptor.BusType, BusTypeSata);
  EXPECT_STREQ(reinterpret_cast<const char *>(&a.out[descriptor.ProductIdOffset]), "ST9100821AS");
  // A buffer of the header's size gets the header: the size the whole needs.
  a = Control(h, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, 8);
  EXPECT_EQ(a.result(), Result(TRUE, 0xDEAD, 8));
  STORAGE_DESCRIPTOR_HEADER header;
  std::memcpy(&header, a.out.data(), 8);
  EXPECT_EQ(header.Size, 49u);
  a = Control(h, IOCTL_SCSI_GET_ADDRESS, nullptr, 0, 8);
  EXPECT_EQ(a.result(), Result(TRUE, 0xDEAD, 8));
  SCSI_ADDRESS address;
  std::memcpy(&address, a.out.data(), 8);
  EXPECT_EQ(address.Length, 8u);
  EXPECT_EQ(address.PathId, 1);

  EXPECT_EQ(Control(h, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, 7).result(),
            Result(FALSE, ERROR_INSUFFICIENT_BUFFER, 0));
  query.PropertyId = StorageAdapterProperty;
  EXPECT_EQ(Control(h, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, 64).result(),
            Result(FALSE, ERROR_INVALID_FUNCTION, 0));
  EXPECT_EQ(Control(h, IOCTL_SCSI_GET_ADDRESS, nullptr, 0, 4).result(),
            Result(FALSE, ERROR_INSUFFICIENT_BUFFER, 0));
  // A size without its buffer is memory the system cannot reach: the request does not reach the
  // drive.
  EXPECT_EQ(Control(h, IOCTL_SCSI_GET_ADDRESS, nullptr, 1, 8).result(),
            Result(FALSE, ERROR_NOACCESS, 0xDEAD));
  EXPECT_EQ(Control(h, IOCTL_SCSI_GET_ADDRESS, nullptr, 0, 8, false).result(),
            Result(FALSE, ERROR_NOACCESS, 0xDEAD));
  CloseHandle(h);
}

// A drive added from files beside their identify dump takes its model from the dump, and its
// bay from its number.
TEST(SmartDisk, TakesItsModelFromTheDumpBesideItsDataFile) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("smartdisk_model_" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  std::ofstream(folder / "X--1.smart_data.bin", std::ios::binary) << std::string(512, '\0');
  std::ofstream(folder / "X--1.smart_thresholds.bin", std::ios::binary) << std::string(512, '\0');
  std::ofstream(folder / "X--1.skdump.txt") << "Device: n/a\nModel: [WDC WD2500JB-00REA0]\n";
  std::ofstream(folder / "Y.smart_data.bin", std::ios::binary) << std::string(512, '\0');
  winsim::World world;
  auto with_dump = winsim::add_smart_disk(world, 1, folder / "X--1.smart_data.bin",
                                          folder / "X--1.smart_thresholds.bin");
  auto without = winsim::add_smart_disk(world, 0, folder / "Y.smart_data.bin",
                                        folder / "X--1.smart_thresholds.bin");
  std::filesystem::remove_all(folder);
  EXPECT_EQ(with_dump->identity().model, "WDC WD2500JB-00REA0");
  EXPECT_EQ(with_dump->identity().path_id, 1);
  EXPECT_EQ(with_dump->identity().bus_type, static_cast<std::uint32_t>(BusTypeSata));
  EXPECT_EQ(without->identity().model, "");
}

}  // namespace
