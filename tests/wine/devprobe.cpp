// A window for the end-to-end runs under Wine: a top-level window that logs every
// WM_DEVICECHANGE it receives, so that a run can check what a broadcast reached.
//
//   devprobe watch <log file>   opens the window, appends "ready" to the log, then one line per
//                               WM_DEVICECHANGE: "<event> <devicetype> <unitmask>" in hex, the
//                               last two 0 unless a volume arrived; ends on WM_CLOSE
//   devprobe close              asks the watching probe's window to close
#include <windows.h>

#include <dbt.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr const char *kClassName = "NorvaneDeviceProbe";
constexpr const char *kTitle = "Device probe";
const char *g_pszLog = nullptr;

void AppendLine(const std::string &strLine) {
  HANDLE hFile = CreateFileA(g_pszLog, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (hFile == INVALID_HANDLE_VALUE) return;
  std::string strText = strLine + "\n";
  DWORD dwWritten = 0;
  WriteFile(hFile, strText.data(), static_cast<DWORD>(strText.size()), &dwWritten, nullptr);
  CloseHandle(hFile);
}

void LogDeviceChange(WPARAM wParam, LPARAM lParam) {
  const auto *pVolume = reinterpret_cast<const DEV_BROADCAST_VOLUME *>(lParam);
  bool bVolume = wParam == DBT_DEVICEARRIVAL && pVolume != nullptr &&
                 pVolume->dbcv_devicetype == DBT_DEVTYP_VOLUME;
  char szLine[64];
  std::snprintf(szLine, sizeof szLine, "%llx %lx %lx", static_cast<unsigned long long>(wParam),
                bVolume ? static_cast<unsigned long>(pVolume->dbcv_devicetype) : 0ul,
                bVolume ? static_cast<unsigned long>(pVolume->dbcv_unitmask) : 0ul);
  AppendLine(szLine);
}

LRESULT CALLBACK ProbeProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
  switch (uMsg) {
    case WM_DEVICECHANGE:
      LogDeviceChange(wParam, lParam);
      return TRUE;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(hWnd, uMsg, wParam, lParam);
  }
}

int Watch(const char *pszLog) {
  g_pszLog = pszLog;
  WNDCLASSA wc{};
  wc.lpfnWndProc = ProbeProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = kClassName;
  if (RegisterClassA(&wc) == 0) return 1;
  HWND hWnd = CreateWindowExA(0, kClassName, kTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                              CW_USEDEFAULT, 200, 100, nullptr, nullptr, wc.hInstance, nullptr);
  if (hWnd == nullptr) return 1;
  AppendLine("ready");
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return 0;
}

int Close() {
  HWND hWnd = FindWindowA(kClassName, kTitle);
  if (hWnd == nullptr) return 1;
  return PostMessageA(hWnd, WM_CLOSE, 0, 0) ? 0 : 1;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc == 3 && std::strcmp(argv[1], "watch") == 0) return Watch(argv[2]);
  if (argc == 2 && std::strcmp(argv[1], "close") == 0) return Close();
  std::printf("usage: devprobe watch <log file> | devprobe close\n");
  return 2;
}
