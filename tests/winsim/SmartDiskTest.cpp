// Physical drives answering SMART_RCV_DRIVE_DATA, and the SMART records with their Windows
// layout.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
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

// Sends `in` (its first `in_size` bytes) with a reply buffer of `out_size` bytes: 0 or the
// error, with the marker as the last error before the call. A failed call returns no bytes.
DWORD Ioctl(HANDLE drive, const SENDCMDINPARAMS &in, DWORD out_size = kReplySize,
            DWORD in_size = sizeof(SENDCMDINPARAMS), DWORD code = SMART_RCV_DRIVE_DATA) {
  std::vector<BYTE> out(out_size);
  DWORD returned = 0xDEAD;
  SetLastError(0xDEAD);
  if (DeviceIoControl(drive, code, const_cast<SENDCMDINPARAMS *>(&in), in_size, out.data(),
                      out_size, &returned, nullptr))
    return 0;
  EXPECT_EQ(returned, 0u);
  return GetLastError();
}

HANDLE OpenDrive(const char *path, DWORD disposition = OPEN_EXISTING) {
  return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                     nullptr, disposition, 0, nullptr);
}

TEST(SmartDisk, AnswersDataAndThresholdRequestsWithTheirSectorAtOffset16PaddedWithZeros) {
  winsim::World world;
  winsim::add_smart_disk(world, 1, Sector(0x11), Sector(0x22));
  HANDLE h = OpenDrive("\\\\.\\PhysicalDrive1");
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  for (BYTE feature : {BYTE{READ_ATTRIBUTES}, BYTE{READ_THRESHOLDS}}) {
    SCOPED_TRACE(feature);
    SENDCMDINPARAMS in = Request(feature);
    std::vector<BYTE> out(kReplySize + 1, 0xEE);
    DWORD returned = 0;
    SetLastError(0xDEAD);
    ASSERT_TRUE(DeviceIoControl(h, SMART_RCV_DRIVE_DATA, &in, sizeof in, out.data(),
                                static_cast<DWORD>(out.size()), &returned, nullptr));
    EXPECT_EQ(returned, kReplySize);
    SENDCMDOUTPARAMS header;
    std::memcpy(&header, out.data(), 16);
    EXPECT_EQ(header.cBufferSize, 512u);
    EXPECT_EQ(header.DriverStatus.bDriverError, SMART_NO_ERROR);
    EXPECT_EQ(header.DriverStatus.bIDEError, 0);
    BYTE fill = feature == READ_ATTRIBUTES ? 0x11 : 0x22;
    EXPECT_EQ(std::vector<BYTE>(out.begin() + 16, out.begin() + 528), std::vector<BYTE>(512, fill));
    EXPECT_EQ(out[528], 0xEE);  // beyond the reply: untouched
  }
  CloseHandle(h);
  auto reads = world.trace().select("smart.read", {"device", "feature", "error"});
  ASSERT_EQ(reads.size(), 2u);
  EXPECT_EQ(reads[0]["device"], "\\\\.\\PHYSICALDRIVE1");
  EXPECT_EQ(reads[0]["feature"], 0xD0);
  EXPECT_EQ(reads[1]["feature"], 0xD1);
  EXPECT_EQ(reads[1]["error"], 0);

  // Short sectors are padded with zeros.
  winsim::add_smart_disk(world, 0, {0x10, 0x00, 0x05}, {});
  h = OpenDrive("\\\\.\\PHYSICALDRIVE0");
  SENDCMDINPARAMS in = Request(READ_ATTRIBUTES);
  std::vector<BYTE> out(kReplySize, 0xEE);
  DWORD returned = 0;
  ASSERT_TRUE(DeviceIoControl(h, SMART_RCV_DRIVE_DATA, &in, sizeof in, out.data(), kReplySize,
                              &returned, nullptr));
  std::vector<BYTE> sector(512, 0);
  sector[0] = 0x10;
  sector[2] = 0x05;
  EXPECT_EQ(std::vector<BYTE>(out.begin() + 16, out.end()), sector);
  CloseHandle(h);
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
  // A disposition other than the five is refused before the device is asked.
  for (DWORD disposition : {0, TRUNCATE_EXISTING + 1}) {
    SetLastError(0xDEAD);
    EXPECT_EQ(OpenDrive("\\\\.\\PHYSICALDRIVE0", disposition), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  }
}

static_assert(IOCTL_STORAGE_QUERY_PROPERTY == 0x2D1400 && IOCTL_SCSI_GET_ADDRESS == 0x41018 &&
              sizeof(STORAGE_PROPERTY_QUERY) == 12 && sizeof(SCSI_ADDRESS) == 8);
static_assert(offsetof(STORAGE_DEVICE_DESCRIPTOR, VendorIdOffset) == 12 &&
              offsetof(STORAGE_DEVICE_DESCRIPTOR, BusType) == 28 &&
              offsetof(STORAGE_DEVICE_DESCRIPTOR, RawDeviceProperties) == 36);
static_assert(BusTypeSata == 0x0B && BusTypeUsb == 7 && BusTypeNvme == 0x11);

// The two requests that name a drive need no access rights; the descriptor carries the model
// as its product id and the bus type, cut to the caller's buffer with the whole size in it.
TEST(SmartDisk, NamesItsModelBusTypeAndBayWithoutAccessRights) {
  winsim::World world;
  winsim::add_smart_disk(world, 3, Sector(0), Sector(0))
      ->set_identity({"ST9100821AS", BusTypeSata, 1});
  HANDLE h = CreateFileA("\\\\.\\PHYSICALDRIVE3", 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  STORAGE_PROPERTY_QUERY query = {StorageDeviceProperty, PropertyStandardQuery, {0}};
  std::vector<BYTE> out(64, 0xEE);
  DWORD returned = 0xDEAD;
  SetLastError(0xDEAD);
  ASSERT_TRUE(DeviceIoControl(h, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, out.data(),
                              static_cast<DWORD>(out.size()), &returned, nullptr));
  EXPECT_EQ(GetLastError(), 0xDEADu);
  STORAGE_DEVICE_DESCRIPTOR descriptor;
  std::memcpy(&descriptor, out.data(), 36);
  EXPECT_EQ(returned, 36u + 12u + 1u);
  EXPECT_EQ(descriptor.Size, returned);
  EXPECT_EQ(descriptor.VendorIdOffset, 0u);
  EXPECT_EQ(descriptor.BusType, BusTypeSata);
  EXPECT_STREQ(reinterpret_cast<const char *>(&out[descriptor.ProductIdOffset]), "ST9100821AS");
  // A buffer of the header's size gets the header: the size the whole needs.
  ASSERT_TRUE(DeviceIoControl(h, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, out.data(), 8,
                              &returned, nullptr));
  EXPECT_EQ(returned, 8u);
  STORAGE_DESCRIPTOR_HEADER header;
  std::memcpy(&header, out.data(), 8);
  EXPECT_EQ(header.Size, 49u);
  EXPECT_FALSE(DeviceIoControl(h, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, out.data(), 7,
                               &returned, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  query.PropertyId = StorageAdapterProperty;
  EXPECT_FALSE(DeviceIoControl(h, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, out.data(),
                               64, &returned, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FUNCTION));

  SCSI_ADDRESS address = {};
  ASSERT_TRUE(DeviceIoControl(h, IOCTL_SCSI_GET_ADDRESS, nullptr, 0, &address, sizeof address,
                              &returned, nullptr));
  EXPECT_EQ(returned, 8u);
  EXPECT_EQ(address.Length, 8u);
  EXPECT_EQ(address.PathId, 1);
  EXPECT_FALSE(
      DeviceIoControl(h, IOCTL_SCSI_GET_ADDRESS, nullptr, 0, &address, 4, &returned, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  // A size without its buffer is memory the system cannot reach: refused before the drive.
  for (DWORD in_size : {1u, 0u}) {
    SetLastError(0xDEAD);
    returned = 0xDEAD;
    EXPECT_FALSE(DeviceIoControl(h, IOCTL_SCSI_GET_ADDRESS, nullptr, in_size,
                                 in_size != 0 ? &address : nullptr, sizeof address, &returned,
                                 nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOACCESS));
    EXPECT_EQ(returned, 0xDEADu);
  }
  // Without rights the SMART request is refused.
  SENDCMDINPARAMS in = Request(READ_ATTRIBUTES);
  std::vector<BYTE> reply(kReplySize);
  EXPECT_FALSE(DeviceIoControl(h, SMART_RCV_DRIVE_DATA, &in, sizeof in, reply.data(), kReplySize,
                               &returned, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
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
