#include "sweep/RunChecks.h"

#include <sstream>

#include "installer/file_tables.h"
#include "winsim/FileSystem.h"
#include "winsim/Services.h"
#include "winsim/Text.h"

namespace sweep {
namespace {

constexpr const char *kSystemDrive = "C:";

std::string on_system_drive(LPCWSTR pszPath) {
  return kSystemDrive + winsim::utf16_to_utf8(pszPath);
}

bool is_installer(const std::string &image) {
  std::string name = winsim::fold_case(winsim::FileSystem::file_name(image));
  return name == "qorasetup.exe" || name == "qorasetup-legacy.exe";
}

// The installer's mode: the first word after the program on its command line.
std::string mode_of(const std::string &command_line) {
  std::istringstream words(command_line);
  std::string program, mode;
  words >> program >> mode;
  return mode;
}

std::string seconds(std::uint64_t ms) {
  std::ostringstream out;
  out << ms / 1000 << '.' << (ms % 1000) / 100 << " s";
  return out.str();
}

}  // namespace

bool is_system_program(const std::string &image_name) {
  std::string name = winsim::fold_case(image_name);
  return name == "quillet.exe" || name == "shellbeacon.exe" || name == "qorasetup.exe" ||
         name == "qorasetup-legacy.exe";
}

bool is_swept(const winsim::CallSite &site) {
  static const char *const kReleases[] = {
      "CloseHandle", "RegCloseKey",           "CloseServiceHandle",
      "FindClose",   "DeregisterEventSource", "UnregisterDeviceNotification",
      "LocalFree",   "CoUninitialize",        "PropVariantClear"};
  if (!is_system_program(site.program) || site.call.ends_with("::Release")) return false;
  for (const char *release : kReleases)
    if (site.call == release) return false;
  return true;
}

RunChecks::RunChecks(winsim::World &world) : world_(world) {
  world.trace().attach(*this);
}

bool RunChecks::any_resource() const {
  for (LPCWSTR pszCandidate : kResourceCandidateList)
    if (world_.files().exists(on_system_drive(pszCandidate))) return true;
  return world_.files().exists(on_system_drive(kResourceBackup));
}

void RunChecks::take(const Record &record) {
  const std::string kind = record["kind"];
  std::uint32_t pid = record["pid"];
  if (kind == "process.start") {
    std::string image = record["image"];
    if (is_system_program(winsim::FileSystem::file_name(image))) programs_.insert(pid);
    if (is_installer(image)) installer_started(pid, record["cmdline"]);
  } else if (kind == "process.exit") {
    if (installers_.count(pid) != 0) installer_ended(pid, record["code"]);
    process_ended(pid, record["t"]);
  } else if (kind == "file.reboot_delete") {
    auto it = installers_.find(pid);
    if (it != installers_.end())
      it->second.marked.insert(winsim::fold_case(record["path"].get<std::string>()));
  } else if (kind == "event") {
    if (record["type"] == EVENTLOG_ERROR_TYPE) wrote_error_event_.insert(pid);
  } else if (kind == "svc.control") {
    if (record["control"] == SERVICE_CONTROL_STOP && record["result"] == 0) {
      std::string service = record["service"];
      auto info = world_.services().info(service);
      // The control's record follows its answer: the process may have acted on the stop and
      // ended meanwhile, the last one to end.
      if (info && info->pid == 0 && info->win32_exit_code == ERROR_PROCESS_ABORTED) {
        if (!last_end_fatal_)
          broken_.push_back("service " + service +
                            "'s process ended as it was asked to stop, without reporting "
                            "STOPPED or an error");
        return;
      }
      stops_.push_back({service, record["t"], info ? info->pid : 0});
    }
  } else if (kind == "svc.status") {
    if (record["state"] != SERVICE_STOPPED) return;
    std::uint64_t t = record["t"];
    std::erase_if(stops_, [&](const StopRequest &stop) {
      if (!winsim::equal_nocase(stop.service, record["service"].get<std::string>())) return false;
      if (t > stop.at + kStopLimitMs)
        broken_.push_back("service " + stop.service + " reported STOPPED " + seconds(t - stop.at) +
                          " after it was asked to stop");
      return true;
    });
  }
}

void RunChecks::installer_started(std::uint32_t pid, const std::string &command_line) {
  Installer installer;
  installer.mode = mode_of(command_line);
  installer.had_resource = any_resource();
  installers_[pid] = std::move(installer);
}

void RunChecks::installer_ended(std::uint32_t pid, std::uint32_t code) {
  const Installer &installer = installers_[pid];
  if (installer.mode == "Update" && installer.had_resource && !any_resource())
    broken_.push_back("Update (pid " + std::to_string(pid) + ", exit code " + std::to_string(code) +
                      ") lost the resource file");
  if (code != 0 || (installer.mode != "Install" && installer.mode != "Update")) return;
  std::vector<std::string> required = {on_system_drive(kInstalledDriver)};
  for (const FileTableRow &row : kFileTable)
    if (row.nRequired != 0) required.push_back(on_system_drive(row.szDestination));
  for (const std::string &path : required) {
    bool present = world_.files().exists(path);
    bool marked = installer.marked.count(winsim::fold_case(path)) != 0;
    if (present && !marked) continue;
    broken_.push_back(installer.mode + " (pid " + std::to_string(pid) + ") exited 0 with " + path +
                      (present ? " marked for deletion at the next restart" : " missing"));
  }
}

void RunChecks::process_ended(std::uint32_t pid, std::uint64_t t) {
  // A service's process that ends before reporting STOPPED must have ended through its fatal
  // path: terminated by itself after writing its error event.
  last_end_fatal_ =
      world_.exit_path(pid) == winsim::ExitPath::Terminated && wrote_error_event_.count(pid) != 0;
  std::erase_if(stops_, [&](const StopRequest &stop) {
    if (stop.pid != pid) return false;
    if (!last_end_fatal_)
      broken_.push_back("service " + stop.service + "'s process ended " + seconds(t - stop.at) +
                        " after it was asked to stop, without reporting STOPPED or an error");
    return true;
  });
}

std::vector<std::string> RunChecks::broken() const {
  std::vector<std::string> out = broken_;
  for (const StopRequest &stop : stops_)
    if (world_.now() >= stop.at + kStopLimitMs)
      out.push_back("service " + stop.service + " asked to stop at " + seconds(stop.at) +
                    " has not reported STOPPED 30 s later");
  for (std::uint32_t pid : programs_) {
    if (world_.exit_path(pid) != winsim::ExitPath::Returned) continue;
    auto open = world_.open_handles(pid);
    if (open.empty()) continue;
    std::string list;
    for (const auto &handle : open) list += (list.empty() ? "" : ", ") + handle;
    out.push_back("pid " + std::to_string(pid) + " returned from main with handles open: " + list);
  }
  return out;
}

}  // namespace sweep
