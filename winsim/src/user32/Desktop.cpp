#include "winsim/Desktop.h"

#include <algorithm>

#include "core/Process.h"
#include "winsim/World.h"

namespace winsim {

Desktop &Desktop::of(World &world) {
  Desktop &desktop = world.part<Desktop>();
  if (desktop.world_ == nullptr) desktop.attach(world);
  return desktop;
}

void Desktop::attach(World &world) {
  world_ = &world;
  world.on_process_exit([this](Process &process) {
    std::vector<std::uint32_t> owned;
    for (const Window &w : windows_)
      if (w.owner_pid == process.pid) owned.push_back(w.handle);
    for (std::uint32_t handle : owned) close(handle);
  });
}

std::uint32_t Desktop::open(std::string class_name, std::string title, bool hung,
                            std::uint32_t owner_pid) {
  Window w;
  // Window handles are even, like user handles on Windows, and never reused within a world.
  w.handle = next_handle_;
  next_handle_ += 2;
  w.class_name = std::move(class_name);
  w.title = std::move(title);
  w.hung = hung;
  w.owner_pid = owner_pid;
  if (hung) w.hung_since = world_->now();
  windows_.push_back(std::move(w));
  return windows_.back().handle;
}

bool Desktop::close(std::uint32_t handle) {
  auto it = std::find_if(windows_.begin(), windows_.end(),
                         [&](const Window &w) { return w.handle == handle; });
  if (it == windows_.end()) return false;
  Trace::Record r;
  r["class"] = it->class_name;
  r["title"] = it->title;
  windows_.erase(it);
  world_->record("window.close", std::move(r));
  return true;
}

const Desktop::Window *Desktop::find(std::uint32_t handle) const {
  for (const Window &w : windows_)
    if (w.handle == handle) return &w;
  return nullptr;
}

const Desktop::Window *Desktop::find(const std::string &class_name,
                                     const std::string &title) const {
  for (const Window &w : windows_)
    if (w.class_name == class_name && w.title == title) return &w;
  return nullptr;
}

void Desktop::deliver(const Window &window, std::uint32_t msg, std::uint64_t wparam,
                      std::int64_t lparam) {
  deliver_copy(window, msg, wparam, lparam);
}

void Desktop::deliver_copy(const Window &window, std::uint32_t msg, std::uint64_t wparam,
                           Trace::Record record) {
  Trace::Record r;
  r["class"] = window.class_name;
  r["title"] = window.title;
  r["msg"] = msg;
  r["wParam"] = wparam;
  r["lParam"] = std::move(record);
  world_->record("window.message", std::move(r));
}

}  // namespace winsim
