#include "Conformance.h"

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

bool HandleMisuseStops() {
  return false;
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

bool HandleMisuseStops() {
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

WString ChildCommandLine(const WString &image, const WString &mode, const WString &arguments) {
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
