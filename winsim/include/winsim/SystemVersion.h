// The version of Windows the world runs, as GetVersionExA reports it to a program without a
// compatibility manifest: by default 6.1, build 7601, "Service Pack 1". Scenarios and tests
// pick another release of 64-bit Windows by its major and minor version; the build number and
// service pack are that release's last.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace winsim {

class World;

struct WindowsRelease {
  std::uint32_t major = 6;
  std::uint32_t minor = 1;
  std::uint32_t build = 7601;
  std::string service_pack = "Service Pack 1";  // the CSD version text
  std::uint16_t service_pack_major = 1;
};

class SystemVersion {
 public:
  // The version of `world`, the default until set.
  static SystemVersion &of(World &world);
  // The release with this version, if winsim knows it: 5.2, 6.0, 6.1, 6.2, 6.3 or 10.0.
  static std::optional<WindowsRelease> release(std::uint32_t major, std::uint32_t minor);

  const WindowsRelease &current() const { return current_; }
  void set(WindowsRelease release) { current_ = std::move(release); }

 private:
  WindowsRelease current_;
};

}  // namespace winsim
