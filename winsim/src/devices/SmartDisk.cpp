#include "winsim/SmartDisk.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "winsim/Trace.h"
#include "winsim/World.h"
#include "winsim/win32.h"

namespace winsim {
namespace {

constexpr std::uint32_t kRequestSize = sizeof(SENDCMDINPARAMS) - 1;
constexpr std::uint32_t kReplyHeaderSize = sizeof(SENDCMDOUTPARAMS) - 1;
constexpr std::uint32_t kReplySize = kReplyHeaderSize + SmartDisk::kSectorSize;

std::vector<std::uint8_t> sector(std::vector<std::uint8_t> bytes, const char *what) {
  if (bytes.size() > SmartDisk::kSectorSize)
    throw std::invalid_argument(std::string("SmartDisk: the ") + what + " sector has " +
                                std::to_string(bytes.size()) + " bytes, more than 512");
  bytes.resize(SmartDisk::kSectorSize, 0);
  return bytes;
}

std::vector<std::uint8_t> read_host_file(const std::filesystem::path &path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("SmartDisk: cannot read \"" + path.string() + "\"");
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string drive_name(unsigned number) {
  return "PHYSICALDRIVE" + std::to_string(number);
}

// The model named by "<name>.skdump.txt" beside "<name>.smart_data.bin": its line
// "Model: [<model>]". Empty when there is no such file or line.
std::string model_beside(const std::filesystem::path &data_file) {
  const std::string kDataSuffix = ".smart_data.bin";
  std::string file = data_file.filename().string();
  if (file.size() <= kDataSuffix.size() ||
      file.compare(file.size() - kDataSuffix.size(), kDataSuffix.size(), kDataSuffix) != 0)
    return {};
  file.resize(file.size() - kDataSuffix.size());
  std::ifstream in(data_file.parent_path() / (file + ".skdump.txt"));
  const std::string kModel = "Model: [";
  for (std::string line; std::getline(in, line);) {
    if (line.compare(0, kModel.size(), kModel) != 0) continue;
    std::size_t end = line.find(']', kModel.size());
    return end == std::string::npos ? std::string()
                                    : line.substr(kModel.size(), end - kModel.size());
  }
  return {};
}

}  // namespace

SmartDisk::SmartDisk(std::string name, std::vector<std::uint8_t> data_sector,
                     std::vector<std::uint8_t> threshold_sector)
    : name_(std::move(name)),
      data_(sector(std::move(data_sector), "data")),
      thresholds_(sector(std::move(threshold_sector), "threshold")) {}

std::string SmartDisk::describe() const {
  return "drive \"\\\\.\\" + name_ + "\"";
}

std::uint32_t SmartDisk::open(std::uint32_t access) {
  (void)access;
  return failure_ == Failure::Open ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
}

std::uint32_t SmartDisk::control(std::uint32_t code, const std::uint8_t *in, std::uint32_t in_size,
                                 std::uint8_t *out, std::uint32_t out_size,
                                 std::uint32_t *returned) {
  *returned = 0;
  switch (code) {
    case SMART_RCV_DRIVE_DATA:
      return smart(in, in_size, out, out_size, returned);
    case IOCTL_STORAGE_QUERY_PROPERTY:
      return describe_device(in, in_size, out, out_size, returned);
    case IOCTL_SCSI_GET_ADDRESS:
      return address(out, out_size, returned);
    default:
      return ERROR_INVALID_FUNCTION;
  }
}

std::uint32_t SmartDisk::smart(const std::uint8_t *in, std::uint32_t in_size, std::uint8_t *out,
                               std::uint32_t out_size, std::uint32_t *returned) {
  if (in == nullptr || in_size < kRequestSize) return ERROR_INVALID_PARAMETER;
  requests_.emplace_back(in, in + in_size);
  SENDCMDINPARAMS request{};
  std::memcpy(&request, in, kRequestSize);
  const IDEREGS &regs = request.irDriveRegs;
  std::uint32_t error = ERROR_SUCCESS;
  if (regs.bCommandReg != SMART_CMD ||
      (regs.bFeaturesReg != READ_ATTRIBUTES && regs.bFeaturesReg != READ_THRESHOLDS))
    error = ERROR_INVALID_PARAMETER;
  else if (out == nullptr || out_size < kReplySize)
    error = ERROR_INSUFFICIENT_BUFFER;
  else
    error = answer(regs.bFeaturesReg, out, returned);

  Trace::Record r;
  r["device"] = "\\\\.\\" + name_;
  r["feature"] = regs.bFeaturesReg;
  r["error"] = error;
  World::get().record("smart.read", std::move(r));
  return error;
}

// The standard query of the device property: the descriptor, the model as its product id and
// an empty revision after it. A buffer too small for the whole descriptor gets what fits, with
// the size the whole would need, as the disk driver does; one smaller than the header gets
// nothing.
std::uint32_t SmartDisk::describe_device(const std::uint8_t *in, std::uint32_t in_size,
                                         std::uint8_t *out, std::uint32_t out_size,
                                         std::uint32_t *returned) const {
  constexpr std::uint32_t kQuerySize = offsetof(STORAGE_PROPERTY_QUERY, AdditionalParameters);
  if (in == nullptr || in_size < kQuerySize) return ERROR_INVALID_PARAMETER;
  STORAGE_PROPERTY_QUERY query{};
  std::memcpy(&query, in, kQuerySize);
  if (query.PropertyId != StorageDeviceProperty || query.QueryType != PropertyStandardQuery)
    return ERROR_INVALID_FUNCTION;
  if (out == nullptr || out_size < sizeof(STORAGE_DESCRIPTOR_HEADER))
    return ERROR_INSUFFICIENT_BUFFER;
  constexpr std::uint32_t kFixed = offsetof(STORAGE_DEVICE_DESCRIPTOR, RawDeviceProperties);
  std::vector<std::uint8_t> whole(kFixed);
  STORAGE_DEVICE_DESCRIPTOR descriptor{};
  descriptor.Version = sizeof(STORAGE_DEVICE_DESCRIPTOR);
  descriptor.ProductIdOffset = kFixed;
  descriptor.ProductRevisionOffset = kFixed + static_cast<DWORD>(identity_.model.size()) + 1;
  descriptor.BusType = static_cast<STORAGE_BUS_TYPE>(identity_.bus_type);
  whole.insert(whole.end(), identity_.model.begin(), identity_.model.end());
  whole.push_back(0);
  whole.push_back(0);  // the revision: empty
  descriptor.Size = static_cast<DWORD>(whole.size());
  std::memcpy(whole.data(), &descriptor, kFixed);
  *returned = std::min<std::uint32_t>(out_size, descriptor.Size);
  std::memcpy(out, whole.data(), *returned);
  return ERROR_SUCCESS;
}

std::uint32_t SmartDisk::address(std::uint8_t *out, std::uint32_t out_size,
                                 std::uint32_t *returned) const {
  if (out == nullptr || out_size < sizeof(SCSI_ADDRESS)) return ERROR_INSUFFICIENT_BUFFER;
  SCSI_ADDRESS scsi{};
  scsi.Length = sizeof scsi;
  scsi.PathId = identity_.path_id;
  std::memcpy(out, &scsi, sizeof scsi);
  *returned = sizeof scsi;
  return ERROR_SUCCESS;
}

bool SmartDisk::set_attribute(std::uint8_t id, std::uint8_t current, std::uint64_t raw) {
  constexpr std::size_t kSlots = 30, kSlotSize = 12, kTable = 2;
  for (std::size_t k = 0; k < kSlots; ++k) {
    std::uint8_t *slot = &data_[kTable + kSlotSize * k];
    if (id == 0 || slot[0] != id) continue;
    slot[3] = current;
    for (int i = 0; i < 6; ++i) slot[5 + i] = static_cast<std::uint8_t>(raw >> (8 * i));
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i + 1 < kSectorSize; ++i)
      sum = static_cast<std::uint8_t>(sum + data_[i]);
    data_[kSectorSize - 1] = static_cast<std::uint8_t>(0x100 - sum);
    return true;
  }
  return false;
}

std::uint32_t SmartDisk::answer(std::uint8_t feature, std::uint8_t *out, std::uint32_t *returned) {
  if (failure_ == Failure::Ioctl) return ERROR_INVALID_FUNCTION;
  if (failure_ == Failure::Thresholds && feature == READ_THRESHOLDS) return ERROR_GEN_FAILURE;
  SENDCMDOUTPARAMS header{};
  header.cBufferSize = kSectorSize;
  std::memcpy(out, &header, kReplyHeaderSize);
  const std::vector<std::uint8_t> &bytes = feature == READ_ATTRIBUTES ? data_ : thresholds_;
  std::memcpy(out + kReplyHeaderSize, bytes.data(), kSectorSize);
  *returned = kReplySize;
  return ERROR_SUCCESS;
}

std::shared_ptr<SmartDisk> add_smart_disk(World &world, unsigned number,
                                          std::vector<std::uint8_t> data_sector,
                                          std::vector<std::uint8_t> threshold_sector) {
  auto disk = std::make_shared<SmartDisk>(drive_name(number), std::move(data_sector),
                                          std::move(threshold_sector));
  SmartDisk::Identity identity;
  identity.path_id = static_cast<std::uint8_t>(number);
  disk->set_identity(identity);
  world.devices().add(drive_name(number), disk);
  return disk;
}

std::shared_ptr<SmartDisk> add_smart_disk(World &world, unsigned number,
                                          const std::filesystem::path &data_file,
                                          const std::filesystem::path &threshold_file) {
  auto disk =
      add_smart_disk(world, number, read_host_file(data_file), read_host_file(threshold_file));
  SmartDisk::Identity identity = disk->identity();
  identity.model = model_beside(data_file);
  disk->set_identity(identity);
  return disk;
}

std::shared_ptr<SmartDisk> find_smart_disk(World &world, unsigned number) {
  return std::dynamic_pointer_cast<SmartDisk>(world.devices().find(drive_name(number)));
}

}  // namespace winsim
