#include "core/EndedProcesses.h"

#include <algorithm>

#include "winsim/Text.h"

namespace winsim {

void EndedProcesses::add(std::uint32_t pid, const std::string &image_name, std::uint32_t exit_code,
                         ExitPath path, std::string console, std::vector<std::string> open_handles,
                         std::vector<std::string> memory_left) {
  std::uint32_t image = 0;
  while (image < images_.size() && !equal_nocase(images_[image], image_name)) ++image;
  if (image == images_.size()) {
    images_.push_back(image_name);
    last_pid_of_image_.push_back(pid);
  }
  last_pid_of_image_[image] = std::max(last_pid_of_image_[image], pid);
  auto at = std::upper_bound(entries_.begin(), entries_.end(), pid,
                             [](std::uint32_t p, const Entry &e) { return p < e.pid; });
  entries_.insert(at, Entry{pid, exit_code, image, path});
  if (!console.empty()) consoles_[pid] = std::move(console);
  if (!open_handles.empty()) open_handles_[pid] = std::move(open_handles);
  if (!memory_left.empty()) memory_left_[pid] = std::move(memory_left);
}

const EndedProcesses::Entry *EndedProcesses::find(std::uint32_t pid) const {
  auto at = std::lower_bound(entries_.begin(), entries_.end(), pid,
                             [](const Entry &e, std::uint32_t p) { return e.pid < p; });
  return at != entries_.end() && at->pid == pid ? &*at : nullptr;
}

std::optional<std::uint32_t> EndedProcesses::exit_code(std::uint32_t pid) const {
  const Entry *e = find(pid);
  if (e == nullptr) return std::nullopt;
  return e->exit_code;
}

std::optional<ExitPath> EndedProcesses::exit_path(std::uint32_t pid) const {
  const Entry *e = find(pid);
  if (e == nullptr) return std::nullopt;
  return e->path;
}

std::string EndedProcesses::image_name(std::uint32_t pid) const {
  const Entry *e = find(pid);
  return e == nullptr ? std::string() : images_[e->image];
}

std::string EndedProcesses::console(std::uint32_t pid) const {
  auto it = consoles_.find(pid);
  return it == consoles_.end() ? std::string() : it->second;
}

std::vector<std::string> EndedProcesses::open_handles(std::uint32_t pid) const {
  auto it = open_handles_.find(pid);
  return it == open_handles_.end() ? std::vector<std::string>() : it->second;
}

std::vector<std::string> EndedProcesses::memory_left(std::uint32_t pid) const {
  auto it = memory_left_.find(pid);
  return it == memory_left_.end() ? std::vector<std::string>() : it->second;
}

std::vector<std::uint32_t> EndedProcesses::pids() const {
  std::vector<std::uint32_t> out;
  out.reserve(entries_.size());
  for (const Entry &e : entries_) out.push_back(e.pid);
  return out;
}

std::optional<std::uint32_t> EndedProcesses::last_of(const std::string &image_name) const {
  for (std::size_t i = 0; i < images_.size(); ++i)
    if (equal_nocase(images_[i], image_name)) return last_pid_of_image_[i];
  return std::nullopt;
}

}  // namespace winsim
