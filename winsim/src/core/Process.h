// A simulated process: its image and command line, its copy of a program image, handle table,
// threads, standard handles, console output and exit code.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/HandleTable.h"
#include "core/LoadedImage.h"
#include "core/ProcessObject.h"
#include "winsim/World.h"

namespace winsim {

class SimThread;

class Process {
 public:
  Process() = default;
  ~Process();
  Process(const Process &) = delete;
  Process &operator=(const Process &) = delete;

  std::uint32_t pid = 0;
  std::uint32_t parent = 0;
  std::string image;             // full path of the image, UTF-8
  std::string command_line;      // UTF-8
  std::string current_dir;       // UTF-8, with a trailing backslash only for a drive root
  ProgramEntry entry = nullptr;  // a program in the host's image
  std::unique_ptr<LoadedImage> image_copy;  // or the process's own copy of a program image
  // The static destructors its image registered, in order; run when its main returns.
  std::vector<std::pair<void (*)(void *), void *>> exit_handlers;
  HandleTable handles;
  std::vector<SimThread *> threads;
  std::shared_ptr<ProcessObject> object;
  HANDLE std_handles[3] = {nullptr, nullptr, nullptr};  // input, output, error
  std::map<std::string, std::string> environment;       // folded name -> value

  bool ended = false;
  DWORD exit_code = 259;  // STILL_ACTIVE
  ExitPath exit_path = ExitPath::Returned;
  std::string console;  // what the process wrote to its console, in the code page's bytes
  std::vector<std::string> leaked_at_exit;  // handles the program still held when it ended
  // Blocks the system handed to the program and objects it made for it, not yet given back,
  // with what each is (ProcessMemory.h); what is left goes when the process ends.
  struct Held {
    std::string what;
    bool block = false;  // memory of hand_out, freed with the process
  };
  std::map<const void *, Held> memory;
  std::vector<std::string> memory_at_exit;  // what was left when it ended
  std::string service_name;  // the service it was started for by the service control manager
  bool system = false;       // a process of the system itself, not listed
  // The logon session: 0 for the system's processes, the services and what they start (they
  // inherit it), 1 for the logged-on user's.
  unsigned session = 1;
  std::uint64_t started_at = 0;  // virtual ms

  // Stable buffers behind GetCommandLineA/W.
  std::string command_line_a;
  std::u16string command_line_w;

  std::string image_name() const;
};

}  // namespace winsim
