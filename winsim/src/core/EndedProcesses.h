// What the world keeps of the processes that ended, for the control face: a small fixed record
// each (id, exit code, how it ended, image name), and of those that had any, the console output,
// the handles left open and the memory the system handed out and did not get back. Everything
// else of an ended process is given back when it ends.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "winsim/World.h"

namespace winsim {

class EndedProcesses {
 public:
  void add(std::uint32_t pid, const std::string &image_name, std::uint32_t exit_code, ExitPath path,
           std::string console, std::vector<std::string> open_handles,
           std::vector<std::string> memory_left);

  bool contains(std::uint32_t pid) const { return find(pid) != nullptr; }
  std::optional<std::uint32_t> exit_code(std::uint32_t pid) const;
  std::optional<ExitPath> exit_path(std::uint32_t pid) const;
  std::string image_name(std::uint32_t pid) const;
  std::string console(std::uint32_t pid) const;
  std::vector<std::string> open_handles(std::uint32_t pid) const;
  // Blocks the system handed to the process that it had not given back when it ended.
  std::vector<std::string> memory_left(std::uint32_t pid) const;
  // The ids, lowest first.
  std::vector<std::uint32_t> pids() const;
  // The highest id of a process of that image (compared without case), if any ended.
  std::optional<std::uint32_t> last_of(const std::string &image_name) const;

 private:
  struct Entry {
    std::uint32_t pid;
    std::uint32_t exit_code;
    std::uint32_t image;  // index into images_
    ExitPath path;
  };
  const Entry *find(std::uint32_t pid) const;

  std::vector<Entry> entries_;  // by id; processes end mostly in the order they started
  std::vector<std::string> images_;
  std::vector<std::uint32_t> last_pid_of_image_;
  std::unordered_map<std::uint32_t, std::string> consoles_;
  std::unordered_map<std::uint32_t, std::vector<std::string>> open_handles_;
  std::unordered_map<std::uint32_t, std::vector<std::string>> memory_left_;
};

}  // namespace winsim
