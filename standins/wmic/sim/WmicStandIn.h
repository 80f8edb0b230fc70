// The simulated stand-in for the WMI command-line tool: a program "wmic.exe" whose image sits
// at C:\Windows\System32\wbem\wmic.exe. Started, it writes the set output bytes to its
// standard output exactly as given ("\r\r\n" line ends included), then ends after the set
// virtual delay, or never when it hangs. Its arguments are not looked at.
#pragma once

#include <cstdint>
#include <string>

#include "winsim/World.h"

namespace standin {

// The tool's behaviour: one per world (world.part<WmicStandIn>()), read when the tool starts.
struct WmicStandIn {
  std::string output;          // bytes written to standard output
  std::uint64_t delay_ms = 0;  // virtual time between the output and the end
  bool hang = false;           // never ends (until terminated)
};

constexpr const char *kWmicImagePath = "C:\\Windows\\System32\\wbem\\wmic.exe";

// The program's entry, registered as "wmic.exe".
int WmicMain();

// Registers the program and places its image at kWmicImagePath; returns the behaviour to set.
WmicStandIn &install_wmic(winsim::World &world);
// Removes the image, so that starting the tool fails as for a missing file.
void remove_wmic(winsim::World &world);

}  // namespace standin
