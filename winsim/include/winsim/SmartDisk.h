// A physical drive ("\\.\PHYSICALDRIVEn") that answers SMART_RCV_DRIVE_DATA requests with a
// SMART data sector (feature READ_ATTRIBUTES) and a threshold sector (READ_THRESHOLDS), as
// the Windows disk driver does: the reply is a SENDCMDOUTPARAMS record with the buffer size
// 512, a zero driver status and the 512-byte sector at offset 16. It also names itself: its
// device descriptor (IOCTL_STORAGE_QUERY_PROPERTY: the model as the product id, the bus type)
// and its SCSI address (IOCTL_SCSI_GET_ADDRESS: the bay as the path id), as a SATA drive on
// an AHCI controller answers them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "winsim/Devices.h"

namespace winsim {

class World;

class SmartDisk : public Device {
 public:
  static constexpr std::size_t kSectorSize = 512;

  // How the drive misbehaves.
  enum class Failure {
    None,
    Open,        // CreateFile fails with ERROR_ACCESS_DENIED
    Ioctl,       // every SMART request fails with ERROR_INVALID_FUNCTION
    Thresholds,  // the data request succeeds, the threshold request fails
  };

  // What the drive says of itself; the SMART failures do not touch these requests.
  struct Identity {
    std::string model;              // the descriptor's product id (no vendor id)
    std::uint32_t bus_type = 0x0B;  // STORAGE_BUS_TYPE, BusTypeSata by default
    std::uint8_t path_id = 0;       // the bay: SCSI_ADDRESS.PathId
  };

  // Sectors shorter than 512 bytes are padded with zeros; longer ones are refused
  // (std::invalid_argument).
  SmartDisk(std::string name, std::vector<std::uint8_t> data_sector,
            std::vector<std::uint8_t> threshold_sector);

  void set_failure(Failure failure) { failure_ = failure; }
  // The drive reports attribute `id` with this current value and this raw value (six bytes)
  // from now on, as a drive's readings change; the sector's checksum is kept valid. False when
  // the attribute table (30 slots) has no such attribute.
  bool set_attribute(std::uint8_t id, std::uint8_t current, std::uint64_t raw);
  Failure failure() const { return failure_; }
  void set_identity(Identity identity) { identity_ = std::move(identity); }
  const Identity &identity() const { return identity_; }
  // Every request the drive received, as the bytes of its input buffer, in order.
  const std::vector<std::vector<std::uint8_t>> &requests() const { return requests_; }

  std::string describe() const override;
  std::uint32_t open(std::uint32_t access) override;
  std::uint32_t control(std::uint32_t code, const std::uint8_t *in, std::uint32_t in_size,
                        std::uint8_t *out, std::uint32_t out_size,
                        std::uint32_t *returned) override;

 private:
  std::uint32_t answer(std::uint8_t feature, std::uint8_t *out, std::uint32_t *returned);
  std::uint32_t smart(const std::uint8_t *in, std::uint32_t in_size, std::uint8_t *out,
                      std::uint32_t out_size, std::uint32_t *returned);
  std::uint32_t describe_device(const std::uint8_t *in, std::uint32_t in_size, std::uint8_t *out,
                                std::uint32_t out_size, std::uint32_t *returned) const;
  std::uint32_t address(std::uint8_t *out, std::uint32_t out_size, std::uint32_t *returned) const;

  std::string name_;
  std::vector<std::uint8_t> data_;
  std::vector<std::uint8_t> thresholds_;
  Failure failure_ = Failure::None;
  Identity identity_;
  std::vector<std::vector<std::uint8_t>> requests_;
};

// Control face: adds the drive "\\.\PHYSICALDRIVE<number>" to the world's devices (replacing
// one of that number) and returns it. The drive sits in the bay of its number (path id =
// number) and has no model until one is set.
std::shared_ptr<SmartDisk> add_smart_disk(World &world, unsigned number,
                                          std::vector<std::uint8_t> data_sector,
                                          std::vector<std::uint8_t> threshold_sector);
// The same with the sectors read from two host files (std::runtime_error when one cannot be
// read). The model is that of the "Model: [...]" line of a "<name>.skdump.txt" beside a data
// file named "<name>.smart_data.bin", when there is one.
std::shared_ptr<SmartDisk> add_smart_disk(World &world, unsigned number,
                                          const std::filesystem::path &data_file,
                                          const std::filesystem::path &threshold_file);
// The drive of that number, or null when there is none (or it is another kind of device).
std::shared_ptr<SmartDisk> find_smart_disk(World &world, unsigned number);

}  // namespace winsim
