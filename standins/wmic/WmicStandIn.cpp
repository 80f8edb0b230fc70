#include "wmic/WmicStandIn.h"

#include <algorithm>

#include "platform/win32.h"
#include "winsim/FileSystem.h"

namespace standin {

int WmicMain() {
  const WmicStandIn behaviour = winsim::World::get().part<WmicStandIn>();
  if (!behaviour.output.empty()) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), behaviour.output.data(),
              static_cast<DWORD>(behaviour.output.size()), &written, nullptr);
  }
  if (behaviour.hang) Sleep(INFINITE);
  for (std::uint64_t left = behaviour.delay_ms; left > 0;) {
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
