// A simulated machine for whole runs of QORASetup.exe: the installation media in "C:\Media"
// (standins/media), the suite service program's stand-in, and the run's console output and
// file operations read back from the trace.
#pragma once

#include <string>
#include <vector>

#include "InstallerWorld.h"

namespace installer_test {

constexpr const char *kMedia = "C:\\Media";
constexpr const char *kDriverKey = "HKLM\\SYSTEM\\CurrentControlSet\\Services\\truecrypt";
constexpr const char *kRunKey = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const char *kInstallFolder = "C:\\Program Files\\Pellam\\QORA";

class SetupWorld : public InstallerWorld {
 public:
  // A machine without the suite: the installed stand-in of the base fixture goes.
  SetupWorld();
  // Lays out the media, less the files named (relative to the media folder).
  void LayOutMedia(const std::vector<std::string> &without = {});
  // Runs "<folder>\<program> <arguments>" to its end; returns its pid.
  std::uint32_t RunSetup(const std::string &arguments, const std::string &program = "QORASetup.exe",
                         const std::string &folder = kMedia);
  // The copy lines the installer prints for rows `first` to `last` (1-based) of the file table,
  // each copied from `media` without error.
  static std::string CopyLines(int first, int last, const std::string &media = kMedia);
  // The file.copy records of rows `first` to `last`, copied from `media` without error.
  static Records TableCopies(int first, int last, const std::string &media = kMedia);
  // What the trace shows of `kind` (file.copy, file.delete, dir.create, ...) with `fields`.
  Records Files(const char *kind, const std::vector<std::string> &fields);
  bool Installed(const std::string &file);
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
inline std::string DriverLine(const std::string &source = std::string(kMedia) + "\\Driver") {
  return "\ncopy " + source +
         "\\truecrypt.sys to C:\\Program Files\\Pellam\\QORA\\truecrypt-x64.sys...\t---OK.";
}
// Install's output on a machine without the suite, up to its exit code.
inline std::string InstallOutput() {
  return kNoService + SetupWorld::CopyLines(1, 16) + DriverLine() + kStarted;
}

}  // namespace installer_test
