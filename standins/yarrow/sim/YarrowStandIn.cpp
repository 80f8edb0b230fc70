#include "yarrow/sim/YarrowStandIn.h"

#include "winsim/Desktop.h"

namespace standin {

YarrowSettings ReadYarrowSettings() {
  return winsim::World::get().part<YarrowSettings>();
}

// The dialog belongs to the service's process: it goes when the process ends.
void ShowStopDialog() {
  winsim::Desktop::of(winsim::World::get())
      .open("#32770", "Microsoft Windows", false, GetCurrentProcessId());
}

YarrowSettings &install_yarrow(winsim::World &world) {
  world.add_program("Yarrow.exe", YarrowMain);
  return world.part<YarrowSettings>();
}

}  // namespace standin
