#include "scenario/Programs.h"

#include "scenario/TimelineView.h"
#include "scenario/verbs/AudioVerbs.h"
#include "scenario/verbs/BoardVerbs.h"
#include "scenario/verbs/CoreVerbs.h"
#include "scenario/verbs/DiskVerbs.h"
#include "scenario/verbs/FileVerbs.h"
#include "scenario/verbs/KelpieVerbs.h"
#include "scenario/verbs/OsVerbs.h"
#include "scenario/verbs/ServiceVerbs.h"
#include "scenario/verbs/SuiteVerbs.h"
#include "scenario/verbs/WindowVerbs.h"
#include "wmic/sim/WmicStandIn.h"
#include "yarrow/sim/YarrowStandIn.h"

namespace scenario {

// The system's programs are images of their own (CMake: norvane_sim_program); the stand-ins of
// programs outside the system live in the host's image.
void register_programs(winsim::World &world) {
  world.add_program("Quillet.exe", winsim::ProgramImage{NORVANE_PROGRAMS_DIR "/Quillet.so"});
  world.add_program("ShellBeacon.exe",
                    winsim::ProgramImage{NORVANE_PROGRAMS_DIR "/ShellBeacon.so"});
  world.add_program("QORASetup.exe", winsim::ProgramImage{NORVANE_PROGRAMS_DIR "/QORASetup.so"});
  world.add_program("QORASetup-legacy.exe",
                    winsim::ProgramImage{NORVANE_PROGRAMS_DIR "/QORASetup-legacy.so"});
  // The WMI command-line tool is part of every machine; it prints nothing until told.
  standin::install_wmic(world);
  // The suite's service program, wherever its image is placed.
  standin::install_yarrow(world);
}

void register_verbs(Verbs &verbs) {
  add_machine_verbs(verbs);
  add_registry_verbs(verbs);
  add_fault_verbs(verbs);
  add_process_verbs(verbs);
  add_timeline_verbs(verbs);
  add_service_verbs(verbs);
  add_board_verbs(verbs);
  add_audio_verbs(verbs);
  add_disk_verbs(verbs);
  add_file_verbs(verbs);
  add_window_verbs(verbs);
  add_kelpie_verbs(verbs);
  add_os_verbs(verbs);
  add_suite_verbs(verbs);
}

}  // namespace scenario
