// The encryption suite's installation media in the simulated world: the two installers in the
// media folder, the suite's files under its "AP" folder, and the driver "truecrypt.sys" in the
// media folder and in its "Driver" folder.
#pragma once

#include <string>
#include <vector>

#include "winsim/World.h"

namespace standin {

// The media's files relative to its folder. Programs of the world among them (the installers,
// the suite service program "Yarrow.exe") run wherever they are copied; every other file holds
// its own name as text.
const std::vector<std::string> &media_files();

// Registers the installers and the suite service program, and lays the media out in `folder`,
// leaving out the files named in `without` (relative paths, any case).
void lay_out_media(winsim::World &world, const std::string &folder,
                   const std::vector<std::string> &without = {});

}  // namespace standin
