// A simulated machine for the installer's steps: the suite's service program (the stand-in
// Yarrow.exe) installed as "QORAService", and a small program "steps.exe" that runs one step
// in a process of its own with the "Debug" messages on:
//   steps.exe stop | stop-delete | start [Debug]
// Its exit code is the step's result; its console holds the step's messages.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../WorldSeed.h"
#include "platform/win32.h"
#include "winsim/World.h"
#include "yarrow/sim/YarrowStandIn.h"

namespace installer_test {

using Record = winsim::Trace::Record;
using Records = std::vector<Record>;

// The `nth` call of `call` (naming `match`) fails with `error`.
inline winsim::Fault Failing(const char *call, DWORD error, std::uint32_t nth = 1,
                             const char *match = "") {
  return {call, match, nth, false, error};
}
// The first call of `call` made from the installer's function `function` fails with `error`;
// with `every`, every call from there.
inline winsim::Fault FailingIn(const char *call, const char *function, DWORD error,
                               bool every = false) {
  return {call, "", 1, every, error, function};
}

constexpr const char *kYarrowPath = "C:\\Program Files\\Pellam\\QORA\\Yarrow.exe";
constexpr const char *kServiceName = "QORAService";

class InstallerWorld : public ::testing::Test {
 public:
  InstallerWorld();

  standin::YarrowSettings &Suite() { return world.part<standin::YarrowSettings>(); }
  // Registers "QORAService" for the stand-in, as its " -install" run does.
  void RegisterSuite();
  // Starts the service from the host and lets its start-up finish.
  void StartSuiteFromHost();
  // Sends the stop control from the host; returns 0 or the error.
  DWORD StopSuiteFromHost();

  // Runs "steps.exe <arguments>" to its end (at most `limit_ms` of virtual time).
  std::uint32_t RunStep(const std::string &arguments, std::uint64_t limit_ms = 600000);
  // The process's "stdout" records reduced to time and text.
  Records Output(std::uint32_t pid);

  winsim::World world;
};

}  // namespace installer_test
