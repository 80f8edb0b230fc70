#include "wmic/sim/WmicStandIn.h"

#include <algorithm>

#include "platform/win32.h"
#include "winsim/FileSystem.h"

namespace standin {

// The behaviour is read at the start. The output is written from a copy that is gone before
// the tool waits: a tool terminated while it hangs leaves nothing of its own on the host's heap.
int WmicMain() {
  const WmicStandIn &settings = winsim::World::get().part<WmicStandIn>();
  const bool hang = settings.hang;
  const std::uint64_t delay_ms = settings.delay_ms;
  if (!settings.output.empty()) {
    const std::string output = settings.output;
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), output.data(), static_cast<DWORD>(output.size()),
              &written, nullptr);
  }
  if (hang) Sleep(INFINITE);
  for (std::uint64_t left = delay_ms; left > 0;) {
    DWORD step = static_cast<DWORD>(std::min<std::uint64_t>(left, 0x7FFFFFFF));
    Sleep(step);
    left -= step;
  }
  return 0;
}

WmicStandIn &install_wmic(winsim::World &world) {
  // It keeps nothing between starts: its processes may run side by side in the host's image.
  world.add_program("wmic.exe", WmicMain, winsim::HostImage::Stateless);
  world.place_program(kWmicImagePath, "wmic.exe");
  return world.part<WmicStandIn>();
}

void remove_wmic(winsim::World &world) {
  world.files().remove(kWmicImagePath);
}

}  // namespace standin
