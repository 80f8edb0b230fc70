// A physical drive ("\\.\PHYSICALDRIVEn") that answers SMART_RCV_DRIVE_DATA requests with a
// SMART data sector (feature READ_ATTRIBUTES) and a threshold sector (READ_THRESHOLDS), as
// the Windows disk driver does: the reply is a SENDCMDOUTPARAMS record with the buffer size
// 512, a zero driver status and the 512-byte sector at offset 16.
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
  // Every request the drive received, as the bytes of its input buffer, in order.
  const std::vector<std::vector<std::uint8_t>> &requests() const { return requests_; }

  std::string describe() const override;
  std::uint32_t open(std::uint32_t access) override;
  std::uint32_t control(std::uint32_t code, const std::uint8_t *in, std::uint32_t in_size,
                        std::uint8_t *out, std::uint32_t out_size,
                        std::uint32_t *returned) override;

 private:
  std::uint32_t answer(std::uint8_t feature, std::uint8_t *out, std::uint32_t *returned);

  std::string name_;
  std::vector<std::uint8_t> data_;
  std::vector<std::uint8_t> thresholds_;
  Failure failure_ = Failure::None;
  std::vector<std::vector<std::uint8_t>> requests_;
};

// Control face: adds the drive "\\.\PHYSICALDRIVE<number>" to the world's devices (replacing
// one of that number) and returns it.
std::shared_ptr<SmartDisk> add_smart_disk(World &world, unsigned number,
                                          std::vector<std::uint8_t> data_sector,
                                          std::vector<std::uint8_t> threshold_sector);
// The same with the sectors read from two host files (std::runtime_error when one cannot be
// read).
std::shared_ptr<SmartDisk> add_smart_disk(World &world, unsigned number,
                                          const std::filesystem::path &data_file,
                                          const std::filesystem::path &threshold_file);
// The drive of that number, or null when there is none (or it is another kind of device).
std::shared_ptr<SmartDisk> find_smart_disk(World &world, unsigned number);

}  // namespace winsim
