#include "media/InstallationMedia.h"

#include <algorithm>

#include "winsim/FileSystem.h"
#include "winsim/Text.h"
#include "yarrow/sim/YarrowStandIn.h"

namespace standin {

const std::vector<std::string> &media_files() {
  static const std::vector<std::string> files = {
      "QORASetup.exe",         "QORASetup-legacy.exe",        "AP\\X64\\mfc140chs.dll",
      "AP\\X64\\mfc140u.dll",  "AP\\X64\\msvcp140.dll",       "AP\\X64\\vcruntime140.dll",
      "AP\\X64\\Brimwell.exe", "AP\\Language\\Sorrel_JP.ini", "AP\\Language\\Hesper.chm",
      "AP\\X64\\Kelpie.dll",   "AP\\X64\\Palmo.dll",          "AP\\X64\\Tressel.exe",
      "AP\\X64\\Hollin.dll",   "AP\\X64\\Brayle.dll",         "AP\\X64\\Cindle.dll",
      "AP\\X64\\Yarrow.exe",   "AP\\X64\\QORASetup.exe",      "AP\\X64\\ShellBeacon.exe",
      "truecrypt.sys",         "Driver\\truecrypt.sys",
  };
  return files;
}

void lay_out_media(winsim::World &world, const std::string &folder,
                   const std::vector<std::string> &without) {
  world.add_program("QORASetup.exe", winsim::ProgramImage{NORVANE_PROGRAMS_DIR "/QORASetup.so"});
  world.add_program("QORASetup-legacy.exe",
                    winsim::ProgramImage{NORVANE_PROGRAMS_DIR "/QORASetup-legacy.so"});
  install_yarrow(world);
  for (const std::string &file : media_files()) {
    auto left_out = [&](const std::string &w) { return winsim::equal_nocase(w, file); };
    if (std::any_of(without.begin(), without.end(), left_out)) continue;
    std::string path = folder + "\\" + file;
    std::string name = winsim::FileSystem::file_name(file);
    if (world.program(name) != nullptr)
      world.place_program(path, name);
    else
      world.files().add_text_file(path, name);
  }
}

}  // namespace standin
