// SendMessageTimeoutA: messages sent to the desktop's top-level windows (winsim/Desktop.h).
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "core/Call.h"
#include "winsim/Desktop.h"
#include "winsim/win32.h"

namespace {

// The system takes a window whose thread has not looked at its messages for this long for
// not responding (IsHungAppWindow); SMTO_ABORTIFHUNG then does not wait for it at all.
constexpr std::uint64_t kHungAfterMs = 5000;

std::string hex_text(std::uint64_t value) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "0x%04llX", static_cast<unsigned long long>(value));
  return buf;
}

// The WM_DEVICECHANGE events whose lParam points to a DEV_BROADCAST_HDR record.
bool carries_record(WPARAM event) {
  return event >= DBT_DEVICEARRIVAL && event <= DBT_DEVICETYPESPECIFIC;
}

// The record the system copies for every receiving window; nothing for a plain number.
std::optional<DEV_BROADCAST_VOLUME> record_of(winsim::Call &call, WPARAM wParam, LPARAM lParam) {
  if (!carries_record(wParam)) return std::nullopt;
  if (lParam == 0) call.not_simulated("with event " + hex_text(wParam) + " and no record");
  const auto *header = reinterpret_cast<const DEV_BROADCAST_HDR *>(lParam);
  if (header->dbch_devicetype != DBT_DEVTYP_VOLUME ||
      header->dbch_size != sizeof(DEV_BROADCAST_VOLUME))
    call.not_simulated("with a device record of type " + std::to_string(header->dbch_devicetype) +
                       " and size " + std::to_string(header->dbch_size));
  return *reinterpret_cast<const DEV_BROADCAST_VOLUME *>(lParam);
}

winsim::Trace::Record copy_for_window(const DEV_BROADCAST_VOLUME &volume) {
  winsim::Trace::Record r;
  r["size"] = volume.dbcv_size;
  r["devicetype"] = volume.dbcv_devicetype;
  r["unitmask"] = volume.dbcv_unitmask;
  r["flags"] = volume.dbcv_flags;
  return r;
}

struct Message {
  UINT msg;
  WPARAM wparam;
  LPARAM lparam;
  std::optional<DEV_BROADCAST_VOLUME> volume;
  UINT flags;
  UINT timeout;
};

bool taken_for_hung(const winsim::World &world, const winsim::Desktop::Window &window) {
  return world.now() - window.hung_since >= kHungAfterMs;
}

// Sends the message to one window: true when it answered. A hung window costs the time-out,
// unless SMTO_ABORTIFHUNG finds it already taken for not responding.
bool send_to(winsim::Call &call, std::uint32_t handle, const Message &m) {
  winsim::Desktop &desktop = winsim::Desktop::of(call.world);
  const winsim::Desktop::Window *window = desktop.find(handle);
  if (window == nullptr) return false;
  if (!window->hung) {
    if (m.volume)
      desktop.deliver_copy(*window, m.msg, m.wparam, copy_for_window(*m.volume));
    else
      desktop.deliver(*window, m.msg, m.wparam, m.lparam);
    return true;
  }
  if ((m.flags & SMTO_ABORTIFHUNG) && taken_for_hung(call.world, *window)) return false;
  if (m.timeout > 0)
    call.world.scheduler().block("SendMessageTimeoutA(\"" + window->title + "\", " +
                                     hex_text(m.msg) + ", " + std::to_string(m.timeout) + ")",
                                 call.world.now() + m.timeout);
  return false;
}

void trace_broadcast(winsim::Call &call, const Message &m) {
  winsim::Trace::Record r;
  r["msg"] = m.msg;
  r["wParam"] = m.wparam;
  if (m.volume) {
    r["devicetype"] = m.volume->dbcv_devicetype;
    r["unitmask"] = m.volume->dbcv_unitmask;
  }
  r["flags"] = m.flags;
  r["timeout"] = m.timeout;
  call.world.record("broadcast", std::move(r));
}

// The top-level windows in z order: the newest one on top.
std::vector<std::uint32_t> windows_in_z_order(winsim::World &world) {
  std::vector<std::uint32_t> handles;
  const auto &windows = winsim::Desktop::of(world).windows();
  for (auto it = windows.rbegin(); it != windows.rend(); ++it) handles.push_back(it->handle);
  return handles;
}

LRESULT finish(PDWORD_PTR lpdwResult, DWORD_PTR result, LRESULT returned) {
  if (lpdwResult != nullptr) *lpdwResult = result;
  return returned;
}

}  // namespace

LRESULT WINAPI SendMessageTimeoutA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam, UINT fuFlags,
                                   UINT uTimeout, PDWORD_PTR lpdwResult) {
  winsim::Call call("SendMessageTimeoutA");
  if (Msg != WM_DEVICECHANGE) call.not_simulated("with message " + hex_text(Msg));
  Message m{Msg, wParam, lParam, record_of(call, wParam, lParam), fuFlags, uTimeout};
  if (auto e = call.fault({}, ERROR_TIMEOUT)) return finish(lpdwResult, 0, call.fail_with(*e, 0));

  if (hWnd == HWND_BROADCAST) {
    // The windows of the moment the broadcast starts; each one may use the whole time-out.
    trace_broadcast(call, m);
    for (std::uint32_t handle : windows_in_z_order(call.world)) send_to(call, handle, m);
    return finish(lpdwResult, 1, 1);
  }
  auto value = reinterpret_cast<std::uintptr_t>(hWnd);
  auto handle = static_cast<std::uint32_t>(value);
  if (value != handle || winsim::Desktop::of(call.world).find(handle) == nullptr)
    return finish(lpdwResult, 0, call.fail_with(ERROR_INVALID_WINDOW_HANDLE, 0));
  if (!send_to(call, handle, m)) return finish(lpdwResult, 0, call.fail_with(ERROR_TIMEOUT, 0));
  return finish(lpdwResult, 0, 1);
}
