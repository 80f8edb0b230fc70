#include "Conformance.h"

#include <cstdio>

#if !defined(_WIN32)
#include "winsim/EventLog.h"
#include "winsim/FileSystem.h"
#include "winsim/Services.h"
#include "winsim/Text.h"
#endif

namespace conformance {

#if defined(_WIN32)

// Under Wine the child program is this executable, copied wherever a test needs an image.
WString ChildImage() {
  WCHAR path[MAX_PATH];
  DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  return WString(path, length);
}

bool PlaceChildImage(const WString &path) {
  return CopyFileW(ChildImage().c_str(), path.c_str(), FALSE) != FALSE;
}

WString TempRoot() {
  static const WString root = [] {
    WCHAR temp[MAX_PATH];
    DWORD length = GetTempPathW(MAX_PATH, temp);
    WString folder =
        WString(temp, length) + L"norvane-conformance-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder + L"\\";
  }();
  return root;
}

bool UnderWine() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::vector<LoggedEvent> LoggedEvents() {
  return {};
}

std::string ServiceDescription(SC_HANDLE service, const std::string &) {
  union {
    SERVICE_DESCRIPTIONA record;
    BYTE bytes[1024];
  } buffer;
  DWORD needed = 0;
  if (!QueryServiceConfig2A(service, SERVICE_CONFIG_DESCRIPTION, buffer.bytes, sizeof buffer,
                            &needed) ||
      buffer.record.lpDescription == nullptr)
    return std::string();
  return buffer.record.lpDescription;
}

#else

namespace {
// The child program is registered under the name of the Windows test executable, and its
// image placed in a folder of its own, as the build folder holds it under Wine.
constexpr const char *kChildProgram = "conformance_tests.exe";
constexpr const char *kChildImage = "C:\\Tests\\conformance_tests.exe";
}  // namespace

Fixture::Fixture() {
  // The child keeps no state of its own: a caller and the child it starts may both run it.
  world.add_program(kChildProgram, &ChildMain, winsim::HostImage::Stateless);
  world.place_program(kChildImage, kChildProgram);
}

WString ChildImage() {
  return winsim::utf8_to_utf16(kChildImage);
}

bool PlaceChildImage(const WString &path) {
  winsim::World &world = winsim::World::get();
  std::string full = winsim::utf16_to_utf8(path);
  if (!world.files().is_directory(winsim::FileSystem::parent_of(full))) return false;
  world.place_program(full, kChildProgram);
  return true;
}

bool UnderWine() {
  return false;
}

std::vector<LoggedEvent> LoggedEvents() {
  std::vector<LoggedEvent> out;
  for (const winsim::EventEntry &e : winsim::World::get().eventlog().entries())
    out.push_back({e.source, e.type, e.id, e.strings});
  return out;
}

std::string ServiceDescription(SC_HANDLE, const std::string &name) {
  auto info = winsim::World::get().services().info(name);
  return info ? winsim::from_utf8(info->description, GetACP()) : std::string();
}

WString TempRoot() {
  CreateDirectoryW(u"C:\\Temp", nullptr);
  return u"C:\\Temp\\";
}

#endif

WString ChildCommandLine(const WString &mode, const WString &arguments, const WString &image) {
  WString line = TEXT("\"") + image + TEXT("\" --child ") + mode;
  if (!arguments.empty()) line += TEXT(" ") + arguments;
  return line;
}

DWORD JoinThread(HANDLE thread) {
  WaitForSingleObject(thread, INFINITE);
  DWORD code = 0xdeadbeef;
  GetExitCodeThread(thread, &code);
  CloseHandle(thread);
  return code;
}

std::string ReadToEnd(HANDLE read_end) {
  std::string out;
  char buffer[512];
  DWORD got = 0;
  while (ReadFile(read_end, buffer, sizeof buffer, &got, nullptr)) out.append(buffer, got);
  return out;
}

long RunCaptured(const WString &command_line, const WString &current_dir, std::string *output,
                 const void *environment, DWORD creation_flags) {
  SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  if (!CreatePipe(&read_end, &write_end, &inheritable, 0)) return -1;
  SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = write_end;
  si.hStdError = write_end;
  PROCESS_INFORMATION pi = {};
  WString line = command_line;  // CreateProcessW may write into its command line
  BOOL started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, creation_flags,
                                const_cast<void *>(environment),
                                current_dir.empty() ? nullptr : current_dir.c_str(), &si, &pi);
  DWORD error = GetLastError();
  CloseHandle(write_end);
  if (!started) {
    CloseHandle(read_end);
    SetLastError(error);
    return -1;
  }
  *output = ReadToEnd(read_end);
  CloseHandle(read_end);
  WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return static_cast<long>(code);
}

// Both convert through a buffer that holds every text the tests pass (paths, command lines).
std::string Narrow(const WString &text) {
  if (text.empty()) return std::string();
  int size = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                 nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                      nullptr, nullptr);
  return out;
}

WString Widen(const std::string &text) {
  if (text.empty()) return WString();
  int size = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  WString out(static_cast<size_t>(size), 0);
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
  return out;
}

std::string Lower(std::string text) {
  if (!text.empty()) CharLowerBuffA(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

// The child program of the process, pipe, object and service tests, the same code on both
// sides: "--child <mode> <arguments...>". Most modes do what their name says with their
// arguments (handles are passed by value, as inherited); the others:
//   --child mainexit <name>     starts a thread that returns 5 once the named event is set,
//                               and ends its main thread with ExitThread(1)
//   --child cmdline ...         writes GetCommandLineA, "|", and GetCommandLineW narrowed
//   --child search <name>       starts "<name> --child whoami" by the system's search
//                               rules, passing its standard output on; on failure it
//                               writes "error <code>"
//   --child service <controls>  runs as a service accepting <controls> (decimal): RUNNING at
//                               once; a stop is answered with STOP_PENDING (checkpoint 1,
//                               wait hint 30000) and STOPPED follows once the named event
//                               kServiceFinishEvent is set; any other control but an
//                               interrogation sets kServiceReachedEvent. Before RUNNING it
//                               registers for device events with its status handle and
//                               unregisters; STOPPED carries the error of what went wrong
//                               there as its exit code (0: nothing)
namespace {

void Write(HANDLE handle, const std::string &text) {
  DWORD written = 0;
  WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

DWORD Number(const WString &text) {
  DWORD value = 0;
  for (WCHAR c : text)
    if (c >= '0' && c <= '9') value = value * 10 + static_cast<DWORD>(c - '0');
  return value;
}

// The thread of "--child mainexit".
DWORD WINAPI WaitForNamedThenFive(LPVOID name) {
  HANDLE event = OpenEventW(SYNCHRONIZE, FALSE, static_cast<const WString *>(name)->c_str());
  WaitForSingleObject(event, INFINITE);
  CloseHandle(event);
  return 5;
}

// The service of "--child service".
SERVICE_STATUS_HANDLE g_hServiceStatus = nullptr;
DWORD g_dwServiceControls = 0;
HANDLE g_hServiceStop = nullptr;

DWORD g_dwServiceExitCode = NO_ERROR;

void ReportService(DWORD state, DWORD checkpoint, DWORD wait_hint) {
  DWORD controls = state == SERVICE_STOPPED ? 0 : g_dwServiceControls;
  DWORD exit_code = state == SERVICE_STOPPED ? g_dwServiceExitCode : NO_ERROR;
  SERVICE_STATUS status = {
      SERVICE_WIN32_OWN_PROCESS, state, controls, exit_code, 0, checkpoint, wait_hint};
  SetServiceStatus(g_hServiceStatus, &status);
}

// Registers for the events of every device interface, as Quillet does, and unregisters: the
// error of the call that failed, or NO_ERROR.
DWORD RoundTripDeviceNotification() {
  DEV_BROADCAST_DEVICEINTERFACE_A filter = {};
  filter.dbcc_size = sizeof filter;
  filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  HDEVNOTIFY notify = RegisterDeviceNotificationA(
      g_hServiceStatus, &filter,
      DEVICE_NOTIFY_SERVICE_HANDLE | DEVICE_NOTIFY_ALL_INTERFACE_CLASSES);
  return notify != nullptr && UnregisterDeviceNotification(notify) ? NO_ERROR : GetLastError();
}

DWORD WINAPI ServiceHandler(DWORD control, DWORD, LPVOID, LPVOID) {
  if (control == SERVICE_CONTROL_STOP) {
    ReportService(SERVICE_STOP_PENDING, 1, 30000);
    SetEvent(g_hServiceStop);
  } else if (control != SERVICE_CONTROL_INTERROGATE) {
    HANDLE reached = OpenEventA(EVENT_MODIFY_STATE, FALSE, kServiceReachedEvent);
    SetEvent(reached);
    CloseHandle(reached);
  }
  return NO_ERROR;
}

void WINAPI ServiceMain(DWORD, LPSTR *argv) {
  g_hServiceStatus = RegisterServiceCtrlHandlerExA(argv[0], ServiceHandler, nullptr);
  g_dwServiceExitCode = RoundTripDeviceNotification();
  ReportService(SERVICE_RUNNING, 0, 0);
  WaitForSingleObject(g_hServiceStop, INFINITE);
  HANDLE finish = OpenEventA(SYNCHRONIZE, FALSE, kServiceFinishEvent);
  if (finish != nullptr) {
    WaitForSingleObject(finish, 60000);
    CloseHandle(finish);
  }
  ReportService(SERVICE_STOPPED, 0, 0);
}

int RunService(DWORD controls) {
  g_dwServiceControls = controls;
  g_hServiceStop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  SERVICE_TABLE_ENTRYA table[] = {{const_cast<LPSTR>("ConformanceService"), ServiceMain},
                                  {nullptr, nullptr}};
  BOOL dispatched = StartServiceCtrlDispatcherA(table);
  CloseHandle(g_hServiceStop);
  return dispatched ? 0 : static_cast<int>(GetLastError());
}

}  // namespace

int ChildMain() {
  int count = 0;
  LPWSTR *argv = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<WString> args(argv, argv + (argv != nullptr ? count : 0));
  LocalFree(argv);
  // The program path may have been split at blanks; the mode follows "--child".
  size_t at = 0;
  while (at < args.size() && args[at] != TEXT("--child")) ++at;
  if (at + 1 >= args.size()) return 100;
  const WString &mode = args[at + 1];
  WString first = args.size() > at + 2 ? args[at + 2] : WString();
  WString second = args.size() > at + 3 ? args[at + 3] : WString();
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (mode == TEXT("exit")) return static_cast<int>(Number(first));
  if (mode == TEXT("exitprocess")) ExitProcess(Number(first));
  if (mode == TEXT("printf")) {
    printf("%s", Narrow(first).c_str());
    fflush(stdout);
    return 0;
  }
  if (mode == TEXT("write")) {
    Write(reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(Number(first))), Narrow(second));
    return 0;
  }
  if (mode == TEXT("hang")) {
    Sleep(INFINITE);
    return 0;
  }
  if (mode == TEXT("mainexit")) {
    static WString s_event;
    s_event = first;
    CloseHandle(CreateThread(nullptr, 0, WaitForNamedThenFive, &s_event, 0, nullptr));
    ExitThread(1);
  }
  if (mode == TEXT("getenv")) {
    WCHAR value[256];
    DWORD length = GetEnvironmentVariableW(first.c_str(), value, 256);
    Write(out, length == 0 || length >= 256 ? std::string("missing") : Narrow(value));
    return 0;
  }
  if (mode == TEXT("whoami")) {
    char path[MAX_PATH];
    Write(out, std::string(path, GetModuleFileNameA(nullptr, path, MAX_PATH)));
    return 0;
  }
  if (mode == TEXT("cmdline")) {
    Write(out, std::string(GetCommandLineA()) + "|" + Narrow(GetCommandLineW()));
    return 0;
  }
  if (mode == TEXT("search")) {
    std::string output;
    if (RunCaptured(first + TEXT(" --child whoami"), WString(), &output) < 0)
      output = "error " + std::to_string(GetLastError());
    Write(out, output);
    return 0;
  }
  if (mode == TEXT("service")) return RunService(Number(first));
  return 101;
}

}  // namespace conformance

#if defined(_WIN32)
// The Windows executable is the test runner and, started with "--child", the child program.
int main(int argc, char **argv) {
  for (int i = 1; i < argc; ++i)
    if (std::string(argv[i]) == "--child") return conformance::ChildMain();
  ::testing::InitGoogleTest(&argc, argv);
  int result = RUN_ALL_TESTS();
  RemoveDirectoryW(conformance::TempRoot().c_str());
  return result;
}
#endif
