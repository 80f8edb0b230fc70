// Starting a process the way CreateProcess does, on behalf of any process (a program, or the
// service control manager starting a service).
#pragma once

#include <map>
#include <optional>
#include <string>

#include "core/Call.h"

namespace winsim {

struct LaunchRequest {
  std::string application;      // UTF-8; empty: take the program from the command line
  std::u16string command_line;  // as given
  bool inherit_handles = false;
  DWORD creation_flags = 0;
  std::string current_dir;  // UTF-8; empty: the caller's
  DWORD startup_flags = 0;
  HANDLE std_handles[3] = {nullptr, nullptr, nullptr};
  // The new process's variables (folded name -> value); none: the caller's.
  std::optional<std::map<std::string, std::string>> environment;
};

// Creates the process with the search rules of CreateProcess seen from `caller` (its folder,
// its current folder, the system folders, PATH). Returns ERROR_SUCCESS and the new process and
// its main thread, or the error code.
DWORD launch_process(Call &call, Process &caller, const LaunchRequest &request, Process **process,
                     SimThread **main_thread);

}  // namespace winsim
