// The top-level windows of the logged-on user's desktop, as the control face sets them up and
// the window functions (user32) see them.
//
// A window has a class name, a title, and either answers the messages sent to it or hangs (it
// never answers). Windows of programs outside the simulation are opened from the control face;
// a window opened for a simulated process goes away when that process ends. What a window
// receives is traced as `window.message` {class, title, msg, wParam, lParam}, where lParam is
// the number, or for a message that carries a record (WM_DEVICECHANGE's DEV_BROADCAST_VOLUME)
// the copy of the record the window receives; a window that goes away is traced as
// `window.close` {class, title}.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "winsim/Trace.h"

namespace winsim {

class World;

class Desktop {
 public:
  struct Window {
    std::uint32_t handle = 0;      // the HWND's value
    std::string class_name;        // UTF-8
    std::string title;             // UTF-8
    bool hung = false;             // never answers a message
    std::uint32_t owner_pid = 0;   // 0: a program outside the simulation
    std::uint64_t hung_since = 0;  // virtual ms from which a hung window stopped answering
  };

  // The desktop of `world`, empty on first use; it forgets the windows of ended processes.
  static Desktop &of(World &world);

  // A top-level window appears; returns its handle. Windows are kept in the order they opened.
  // A hung window stops answering as it appears.
  std::uint32_t open(std::string class_name, std::string title, bool hung = false,
                     std::uint32_t owner_pid = 0);
  // The window goes away (traced); false when there is no such window.
  bool close(std::uint32_t handle);
  // The window with this handle, or null.
  const Window *find(std::uint32_t handle) const;
  // The first window with this class and title (exact, case-sensitive as stored), or null.
  const Window *find(const std::string &class_name, const std::string &title) const;
  // The open top-level windows, oldest first.
  const std::vector<Window> &windows() const { return windows_; }

  // Traces the delivery of a message to `window` (one that answers) as window.message.
  void deliver(const Window &window, std::uint32_t msg, std::uint64_t wparam, std::int64_t lparam);
  // The same for a message whose lParam points to a record the system copies for the window:
  // `record` is that copy's fields.
  void deliver_copy(const Window &window, std::uint32_t msg, std::uint64_t wparam,
                    Trace::Record record);

  // Used by `of`: ties the desktop to its world (exit of owning processes).
  void attach(World &world);

 private:
  World *world_ = nullptr;
  std::vector<Window> windows_;
  std::uint32_t next_handle_ = 0x10010;
};

}  // namespace winsim
