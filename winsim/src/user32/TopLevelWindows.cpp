// FindWindowW and PostMessageW on the desktop's top-level windows (winsim/Desktop.h).
#include <string>
#include <vector>

#include "core/Call.h"
#include "winsim/Desktop.h"
#include "winsim/Text.h"
#include "winsim/win32.h"

namespace {

HWND as_hwnd(std::uint32_t handle) {
  return reinterpret_cast<HWND>(static_cast<ULONG_PTR>(handle));
}

bool matches(LPCWSTR wanted, const std::string &actual) {
  return wanted == nullptr || winsim::equal_nocase(winsim::utf16_to_utf8(wanted), actual);
}

// Hands the message to the window; a WM_CLOSE closes a window that answers.
void post(winsim::Desktop &desktop, const winsim::Desktop::Window &window, UINT msg, WPARAM wparam,
          LPARAM lparam) {
  if (window.hung) return;
  std::uint32_t handle = window.handle;
  desktop.deliver(window, msg, wparam, lparam);
  if (msg == WM_CLOSE) desktop.close(handle);
}

}  // namespace

HWND WINAPI FindWindowW(LPCWSTR lpClassName, LPCWSTR lpWindowName) {
  winsim::Call call("FindWindowW");
  std::string subject = lpWindowName != nullptr ? winsim::utf16_to_utf8(lpWindowName) : "";
  if (auto e = call.fault({subject}, ERROR_INVALID_WINDOW_HANDLE))
    return call.fail_with<HWND>(*e, nullptr);
  for (const auto &window : winsim::Desktop::of(call.world).windows())
    if (matches(lpClassName, window.class_name) && matches(lpWindowName, window.title))
      return as_hwnd(window.handle);
  return nullptr;
}

BOOL WINAPI PostMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  winsim::Call call("PostMessageW");
  if (auto e = call.fault({}, ERROR_INVALID_WINDOW_HANDLE)) return call.fail(*e);
  winsim::Desktop &desktop = winsim::Desktop::of(call.world);
  if (hWnd == HWND_BROADCAST) {
    std::vector<winsim::Desktop::Window> windows = desktop.windows();
    for (const auto &window : windows) post(desktop, window, Msg, wParam, lParam);
    return TRUE;
  }
  const auto *window = desktop.find(static_cast<std::uint32_t>(reinterpret_cast<ULONG_PTR>(hWnd)));
  if (window == nullptr) return call.fail(ERROR_INVALID_WINDOW_HANDLE);
  post(desktop, *window, Msg, wParam, lParam);
  return TRUE;
}
