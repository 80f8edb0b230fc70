// Runs a program that misuses Windows and returns the report of the run it stopped as a fault
// of the program; a run that goes on fails the test.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "winsim/World.h"

inline std::string ProgramFaultReport(winsim::ProgramEntry entry) {
  winsim::World world;
  world.add_program("misuse.exe", entry);
  world.place_program("C:\\misuse.exe", "misuse.exe");
  std::uint32_t pid = world.start("C:\\misuse.exe");
  try {
    world.wait_exit(pid);
  } catch (const winsim::RunStopped &stop) {
    EXPECT_EQ(stop.reason(), winsim::RunStopped::Reason::ProgramFault);
    return stop.what();
  }
  ADD_FAILURE() << "the run went on";
  return {};
}
