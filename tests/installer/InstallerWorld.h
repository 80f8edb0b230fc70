// Simulated machines for the installer. InstallerWorld: the suite's service program (the stand-in
// Yarrow.exe) installed as "QORAService", and a small program "steps.exe" that runs one step in a
// process of its own with the "Debug" messages on:
//   steps.exe stop | stop-delete | start
// Its exit code is the step's result; its console holds the step's messages. SetupWorld: whole
// runs of QORASetup.exe, with the installation media in "C:\Media" (standins/media), and the
// run's console output and file operations read back from the trace.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../WorldSeed.h"
#include "media/InstallationMedia.h"
#include "platform/win32.h"
#include "winsim/FileSystem.h"
#include "winsim/Services.h"
#include "winsim/World.h"
#include "yarrow/sim/YarrowStandIn.h"

namespace installer_test {

using Record = winsim::Trace::Record;
using Records = std::vector<Record>;

// The `nth` call of `call` (naming `match`, made from the installer's function `function`) fails
// with `error`.
inline winsim::Fault Failing(const char *call, DWORD error, std::uint32_t nth = 1,
                             const char *match = "", const char *function = "") {
  return {call, match, nth, false, error, function};
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
  void RegisterSuite() {
    world.services().install(kServiceName, kServiceName, std::string("\"") + kYarrowPath + "\"", 3);
  }
  // Starts the service from the host and lets its start-up finish.
  void StartSuiteFromHost();

  std::uint32_t RunStep(const std::string &arguments) {
    std::uint32_t pid = world.start("C:\\steps.exe " + arguments);
    EXPECT_TRUE(world.wait_exit(pid, 600000)) << "steps.exe " << arguments << " did not end";
    return pid;
  }
  // The process's "stdout" records reduced to time and text.
  Records Output(std::uint32_t pid) {
    Records out;
    for (const auto &r : world.trace().of_kind("stdout"))
      if (r["pid"] == pid) out.push_back({{"t", r["t"]}, {"text", r["text"]}});
    return out;
  }

  winsim::World world;
};

constexpr const char *kMedia = "C:\\Media";
constexpr const char *kDriverKey = "HKLM\\SYSTEM\\CurrentControlSet\\Services\\truecrypt";
constexpr const char *kRunKey = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const char *kInstallFolder = "C:\\Program Files\\Pellam\\QORA";
constexpr const char *kVersionKey = "HKCU\\Software\\QORA";
// The disk class, whose "LowerFilters" show a predecessor.
constexpr const char *kClassKey =
    "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E967-E325-11CE-BFC1-08002BE10318}";

class SetupWorld : public InstallerWorld {
 public:
  // A machine without the suite: the installed stand-in of the base fixture goes.
  SetupWorld();
  // Lays out the media, less the files named (relative to the media folder).
  void LayOutMedia(const std::vector<std::string> &without = {}) {
    standin::lay_out_media(world, kMedia, without);
  }
  std::uint32_t RunSetup(const std::string &arguments, const std::string &program = "QORASetup.exe",
                         const std::string &folder = kMedia) {
    std::uint32_t pid = world.start("\"" + folder + "\\" + program + "\" " + arguments);
    EXPECT_TRUE(world.wait_exit(pid, 3600000)) << program << " " << arguments << " did not end";
    return pid;
  }
  // The copy lines the installer prints for rows `first` to `last` (1-based) of the file table,
  // each copied from `media` without error.
  static std::string CopyLines(int first, int last, const std::string &media = kMedia);
  // The file.copy records of rows `first` to `last`, copied from `media` without error.
  static Records TableCopies(int first, int last, const std::string &media = kMedia);
  // What the trace shows of `kind` (file.copy, file.delete, dir.create, ...) with `fields`.
  Records Files(const char *kind, const std::vector<std::string> &fields) {
    return world.trace().select(kind, fields);
  }
};

// The usage text.
inline const char *const kUsage =
    "USAGE: QORASetup.exe [Install[WinXP[Path]]] [Remove[WinXP[Path]]]\nOptions:\n\tInstall: "
    ".......\n\tRemove: ........\n\tUpdate: ........\n\t      WinXP: bWinXP or nWinXP.\n\t      "
    "Path: driver file where located.\n";
// What the service stop of a run prints on a machine without the suite's service.
inline const char *const kNoService =
    "OpenService failed w/err 0x00000424\nThe QORAService service is not exist.\n";
// Install's line after a failed file step.
inline const std::string kInstallFailed =
    "some error during Install/Uninstall,such as install service/driver failure,copy file "
    "failure,etc.\n";
inline const char *const kStarted = "Service start pending...\nService started successfully.\n";

// The driver's copy line from the media's "Driver" folder.
inline const std::string kDriverLine =
    "\ncopy C:\\Media\\Driver\\truecrypt.sys to "
    "C:\\Program Files\\Pellam\\QORA\\truecrypt-x64.sys...\t---OK.";
// Install's output on a machine without the suite, up to its exit code.
inline std::string InstallOutput() {
  return kNoService + SetupWorld::CopyLines(1, 16) + kDriverLine + kStarted;
}

}  // namespace installer_test
