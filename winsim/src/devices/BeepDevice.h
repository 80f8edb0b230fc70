// The appliance's beep device "\\.\BeepDev": each 8-byte tone record written to it (duration,
// then frequency, both unsigned 32-bit little-endian) sounds for its duration. Whether it is
// there, or refuses writes, follows the world's audio settings (winsim/Audio.h).
#pragma once

#include <string>

#include "winsim/Devices.h"

namespace winsim {

class BeepDevice : public Device {
 public:
  static constexpr const char *kName = "BeepDev";

  std::string describe() const override { return "beep device"; }
  std::uint32_t open(std::uint32_t access) override;
  std::uint32_t write(const std::uint8_t *data, std::uint32_t size,
                      std::uint32_t *written) override;
};

}  // namespace winsim
