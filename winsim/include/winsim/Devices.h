// Devices reached through "\\.\NAME" paths (the beep device, physical drives). Each device
// decides how it answers opens, writes and control requests; answers are Win32 error codes.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace winsim {

class Device {
 public:
  virtual ~Device() = default;
  virtual std::string describe() const = 0;
  virtual std::uint32_t open(std::uint32_t access) {
    (void)access;
    return 0;
  }
  virtual std::uint32_t write(const std::uint8_t *data, std::uint32_t size,
                              std::uint32_t *written) {
    (void)data;
    *written = size;
    return 0;
  }
  virtual std::uint32_t read(std::uint8_t *data, std::uint32_t size, std::uint32_t *read) {
    (void)data;
    (void)size;
    *read = 0;
    return 0;
  }
  virtual std::uint32_t control(std::uint32_t code, const std::uint8_t *in, std::uint32_t in_size,
                                std::uint8_t *out, std::uint32_t out_size,
                                std::uint32_t *returned) {
    (void)code;
    (void)in;
    (void)in_size;
    (void)out;
    (void)out_size;
    *returned = 0;
    return 1;  // ERROR_INVALID_FUNCTION
  }
};

class Devices {
 public:
  // `name` without the "\\.\" prefix, any case: "BeepDev", "PHYSICALDRIVE0".
  void add(std::string_view name, std::shared_ptr<Device> device);
  void remove(std::string_view name);
  std::shared_ptr<Device> find(std::string_view name) const;

 private:
  std::map<std::string, std::shared_ptr<Device>> devices_;
};

}  // namespace winsim
