// A simulated machine for whole runs of QORASetup.exe: the installation media in "C:\Media"
// (standins/media), the suite service program's stand-in, and the run's console output and
// file operations read back from the trace.
#pragma once

#include <string>
#include <vector>

#include "InstallerWorld.h"

namespace installer_test {

constexpr const char *kMedia = "C:\\Media";
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
extern const char *const kUsage;
// What the service stop of a run prints on a machine without the suite's service.
extern const char *const kNoService;
// The driver's copy line from the media's "Driver" folder.
std::string DriverLine(const std::string &source = std::string(kMedia) + "\\Driver");
// Install's output up to the driver copy on a machine without the suite, and after it.
std::string InstallOutput();
extern const char *const kStarted;
// Install's line after a failed file step.
extern const std::string kInstallFailed;

}  // namespace installer_test
