// The simulated form of the suite service program's stand-in (yarrow/YarrowSettings.h): the
// program "Yarrow.exe" of the world, its behaviour one part of the world.
#pragma once

#include "winsim/World.h"
#include "yarrow/YarrowSettings.h"

namespace standin {

// Registers "Yarrow.exe"; returns the behaviour to set. The image is placed by whoever installs
// it (world.place_program, the scenario's run verb, or a copy of placed media).
YarrowSettings &install_yarrow(winsim::World &world);

}  // namespace standin
