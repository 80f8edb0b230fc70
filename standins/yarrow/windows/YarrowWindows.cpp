// The Windows form of the suite service program's stand-in (yarrow/YarrowSettings.h), for
// end-to-end runs under Wine. Its behaviour comes from values under
// HKEY_LOCAL_MACHINE\SOFTWARE\YarrowStandIn, read each time they are used:
//   "InstallExit"          DWORD  exit code of " -install"; nonzero: nothing is registered
//   "SwitchHang"           DWORD  nonzero: " -install" and " -remove" never end
//   "StartPendingSeconds"  DWORD  START_PENDING this long, the check point growing each second
//   "StopPendingSeconds"   DWORD  STOP_PENDING this long after a stop request, likewise
//   "StopStuck"            DWORD  nonzero: STOP_PENDING for ever after a stop request
//   "StopRefuse"           DWORD  nonzero: a stop request is refused with this error
//   "WaitHint"             DWORD  the wait hint of every pending report in ms (default 3000)
//   "ExitAfterStart"       DWORD  nonzero: stops again right after reporting RUNNING
//   "StopDialogSeconds"    DWORD  a "#32770" dialog titled "Microsoft Windows" shows this
//                                 long into a stop (missing: no dialog)
// Missing values mean the defaults: no pending phases, no refusal, no dialog.
#include "yarrow/YarrowSettings.h"

namespace standin {
namespace {

constexpr const char *kKeyPath = "SOFTWARE\\YarrowStandIn";

std::optional<DWORD> ReadDword(HKEY hKey, const char *pszName) {
  DWORD dwValue = 0;
  DWORD cbValue = sizeof dwValue;
  DWORD dwType = 0;
  if (RegQueryValueExA(hKey, pszName, nullptr, &dwType, reinterpret_cast<BYTE *>(&dwValue),
                       &cbValue) != ERROR_SUCCESS ||
      dwType != REG_DWORD)
    return std::nullopt;
  return dwValue;
}

// Closes the dialog when it is told to (WM_CLOSE arrives as a cancel) and ends the thread's
// message loop with it.
INT_PTR CALLBACK StopDialogProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM) {
  switch (uMsg) {
    case WM_INITDIALOG:
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDCANCEL) DestroyWindow(hwnd);
      return TRUE;
    case WM_DESTROY:
      PostQuitMessage(0);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

YarrowSettings ReadYarrowSettings() {
  YarrowSettings settings;
  HKEY hKey = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKeyPath, 0, KEY_READ, &hKey) != ERROR_SUCCESS)
    return settings;
  settings.install_exit = ReadDword(hKey, "InstallExit").value_or(0);
  settings.switch_hang = ReadDword(hKey, "SwitchHang").value_or(0) != 0;
  settings.start_pending_s = ReadDword(hKey, "StartPendingSeconds").value_or(0);
  settings.stop_pending_s = ReadDword(hKey, "StopPendingSeconds").value_or(0);
  settings.stop_stuck = ReadDword(hKey, "StopStuck").value_or(0) != 0;
  settings.stop_refuse = ReadDword(hKey, "StopRefuse").value_or(0);
  settings.wait_hint_ms = ReadDword(hKey, "WaitHint").value_or(settings.wait_hint_ms);
  settings.exit_after_start = ReadDword(hKey, "ExitAfterStart").value_or(0) != 0;
  settings.stop_dialog_s = ReadDword(hKey, "StopDialogSeconds");
  RegCloseKey(hKey);
  return settings;
}

void ShowStopDialog() {
  // A dialog template without controls, menu or class (the standard dialog class); the title
  // is set once the dialog exists.
  struct {
    DLGTEMPLATE header;
    WORD wMenu, wClass, wTitle;
  } dialog{};
  dialog.header.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE;
  dialog.header.cx = 200;
  dialog.header.cy = 60;
  HWND hwnd = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), &dialog.header, nullptr,
                                         StopDialogProc, 0);
  if (hwnd == nullptr) return;
  SetWindowTextW(hwnd, L"Microsoft Windows");
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (!IsDialogMessageW(hwnd, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
}

}  // namespace standin

int main() {
  return standin::YarrowMain();
}
