// Helpers of winsim's own tests for runs that a program or the host stops, for starting the
// test's programs, and for the COM object they use.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "platform/win32.h"
#include "winsim/World.h"

// Runs `run` and returns the report of the run it stopped, whose reason must be `reason`; a run
// that goes on fails the test.
inline std::string StopReport(winsim::RunStopped::Reason reason, const std::function<void()> &run) {
  try {
    run();
  } catch (const winsim::RunStopped &stop) {
    EXPECT_EQ(stop.reason(), reason);
    return stop.what();
  }
  ADD_FAILURE() << "the run went on";
  return {};
}

// Registers `entry` as the program `name`, placed at C:\<name>, and starts it with `arguments`.
inline std::uint32_t StartProgram(winsim::World &world, const std::string &name,
                                  winsim::ProgramEntry entry, const std::string &arguments = "") {
  world.add_program(name, entry);
  world.place_program("C:\\" + name, name);
  return world.start("C:\\" + name + arguments);
}

// Starts `line` through CreateProcessA with no handles but the standard ones unless `inherit`.
inline PROCESS_INFORMATION CreateChild(std::string line, BOOL inherit = FALSE, DWORD flags = 0) {
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  EXPECT_TRUE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, inherit, flags, nullptr,
                             nullptr, &si, &pi))
      << line;
  return pi;
}

// Runs a program that misuses Windows and returns the report of the run it stopped as a fault
// of the program.
inline std::string ProgramFaultReport(winsim::ProgramEntry entry) {
  winsim::World world;
  std::uint32_t pid = StartProgram(world, "misuse.exe", entry);
  return StopReport(winsim::RunStopped::Reason::ProgramFault, [&] { world.wait_exit(pid); });
}

// Creates the audio endpoint enumerator through COM, which the calling thread has initialised.
inline IMMDeviceEnumerator *CreateEnumerator() {
  const CLSID clsid = {
      0xBCDE0395, 0xE52F, 0x467C, {0x8E, 0x3D, 0xC4, 0x57, 0x92, 0x91, 0x69, 0x2E}};
  const IID iid = {0xA95664D2, 0x9614, 0x4F35, {0xA7, 0x46, 0xDE, 0x8D, 0xB6, 0x36, 0x17, 0xE6}};
  IMMDeviceEnumerator *enumerator = nullptr;
  EXPECT_EQ(
      CoCreateInstance(clsid, nullptr, CLSCTX_ALL, iid, reinterpret_cast<void **>(&enumerator)),
      S_OK);
  return enumerator;
}
