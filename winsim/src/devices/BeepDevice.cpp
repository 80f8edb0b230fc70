#include "devices/BeepDevice.h"

#include "core/Scheduler.h"
#include "winsim/Audio.h"
#include "winsim/World.h"
#include "winsim/win32/errors.h"

namespace winsim {
namespace {

constexpr std::uint32_t kToneSize = 8;

std::uint32_t little_endian_u32(const std::uint8_t *p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

Audio::BeepDevice mode() {
  return Audio::of(World::get()).beep_device();
}

}  // namespace

std::uint32_t BeepDevice::open(std::uint32_t access) {
  (void)access;
  return mode() == Audio::BeepDevice::Absent ? ERROR_FILE_NOT_FOUND : ERROR_SUCCESS;
}

std::uint32_t BeepDevice::write(const std::uint8_t *data, std::uint32_t size,
                                std::uint32_t *written) {
  *written = 0;
  if (mode() != Audio::BeepDevice::Present) return ERROR_GEN_FAILURE;
  if (size != kToneSize || data == nullptr) return ERROR_INVALID_PARAMETER;
  std::uint32_t duration = little_endian_u32(data);
  std::uint32_t frequency = little_endian_u32(data + 4);
  World &world = World::get();
  Trace::Record r;
  r["via"] = "beepdev";
  r["freq"] = frequency;
  r["duration"] = duration;
  world.record("sound", std::move(r));
  // The write returns when the tone has ended.
  if (duration > 0)
    world.scheduler().block("WriteFile(beep device, " + std::to_string(frequency) + " Hz for " +
                                std::to_string(duration) + " ms)",
                            world.now() + duration);
  *written = size;
  return ERROR_SUCCESS;
}

}  // namespace winsim
