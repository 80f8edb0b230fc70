// Processes: creation with the Windows search rules, exit and termination, command lines,
// modules, folders and environment variables.
#include <cstring>

#include "core/Call.h"
#include "core/ThreadObject.h"
#include "crt/Crt.h"
#include "kernel32/CommandLine.h"
#include "kernel32/ConsoleObject.h"
#include "kernel32/Launch.h"
#include "winsim/FileSystem.h"
#include "winsim/Text.h"
#include "winsim/win32.h"

using winsim::Call;
using winsim::FileSystem;
using winsim::ObjectType;

namespace {

const auto kImageBase = reinterpret_cast<HMODULE>(static_cast<ULONG_PTR>(0x140000000));
// The one system module a program may look up.
const auto kKernel32Base = reinterpret_cast<HMODULE>(static_cast<ULONG_PTR>(0x7FF800000000));

bool has_folder(const std::string &name) {
  return name.find('\\') != std::string::npos || name.find('/') != std::string::npos ||
         name.find(':') != std::string::npos;
}

std::string with_exe(const std::string &name) {
  std::string file = FileSystem::file_name(name);
  return file.find('.') == std::string::npos ? name + ".exe" : name;
}

std::string folder_of(const std::string &path) {
  return FileSystem::parent_of(path);
}

std::vector<std::string> search_folders(winsim::World &world, winsim::Process &caller) {
  std::vector<std::string> folders = {folder_of(caller.image), caller.current_dir,
                                      winsim::World::kSystemDir, "C:\\Windows\\System",
                                      winsim::World::kWindowsDir};
  auto path = caller.environment.find("path");
  if (path != caller.environment.end()) {
    const std::string &list = path->second;
    size_t i = 0;
    while (i <= list.size()) {
      size_t j = list.find(';', i);
      if (j == std::string::npos) j = list.size();
      if (j > i) folders.push_back(list.substr(i, j - i));
      i = j + 1;
    }
  } else {
    for (const auto &dir : world.path()) folders.push_back(dir);
  }
  return folders;
}

// Finds the image file for a command line (or an application name), as CreateProcess does.
const winsim::FileNode *find_image(winsim::World &world, winsim::Process &caller,
                                   const std::string &application,
                                   const std::u16string &command_line, DWORD *error) {
  FileSystem &fs = world.files();
  *error = ERROR_FILE_NOT_FOUND;
  if (!application.empty()) {
    auto full = FileSystem::resolve(application, caller.current_dir);
    const winsim::FileNode *node = full ? fs.find(*full) : nullptr;
    if (node == nullptr && full && !fs.is_directory(FileSystem::parent_of(*full)))
      *error = ERROR_PATH_NOT_FOUND;
    return node != nullptr && !node->directory ? node : nullptr;
  }
  for (const auto &candidate : winsim::program_candidates(command_line)) {
    if (candidate.empty()) continue;
    std::string name = with_exe(candidate);
    if (has_folder(name)) {
      auto full = FileSystem::resolve(name, caller.current_dir);
      const winsim::FileNode *node = full ? fs.find(*full) : nullptr;
      if (node != nullptr && !node->directory) return node;
      continue;
    }
    for (const auto &folder : search_folders(world, caller)) {
      auto full = FileSystem::resolve(folder + "\\" + name, caller.current_dir);
      const winsim::FileNode *node = full ? fs.find(*full) : nullptr;
      if (node != nullptr && !node->directory) return node;
    }
  }
  return nullptr;
}

BOOL create_process(Call &call, const winsim::LaunchRequest &request, LPPROCESS_INFORMATION info) {
  if (info == nullptr) return call.fail(ERROR_INVALID_PARAMETER);
  winsim::Process *child = nullptr;
  winsim::SimThread *main = nullptr;
  DWORD error = winsim::launch_process(call, call.process, request, &child, &main);
  if (error != ERROR_SUCCESS) return call.fail(error);
  info->hProcess = call.process.handles.insert(child->object, PROCESS_ALL_ACCESS, false);
  info->hThread = call.process.handles.insert(main->object, 0x1FFFFF, false);
  info->dwProcessId = child->pid;
  info->dwThreadId = main->tid;
  call.set_error(ERROR_SUCCESS);
  return TRUE;
}

template <typename Char>
DWORD copy_out(Call &call, const std::basic_string<Char> &text, Char *buffer, DWORD size) {
  (void)call;
  DWORD length = static_cast<DWORD>(text.size());
  if (buffer == nullptr || size <= length) return length + 1;
  std::memcpy(buffer, text.c_str(), (length + 1) * sizeof(Char));
  return length;
}

// GetSystemDirectory and GetWindowsDirectory: a folder of the system, in the caller's text.
template <typename Char>
UINT folder_out(Call &call, const std::basic_string<Char> &folder, Char *buffer, UINT size) {
  if (auto e = call.fault({}, ERROR_INVALID_PARAMETER)) return call.fail_with<UINT>(*e, 0);
  return copy_out<Char>(call, folder, buffer, size);
}

template <typename Char>
DWORD module_file_name(Call &call, HMODULE module, const std::basic_string<Char> &path,
                       Char *buffer, DWORD size) {
  if (auto e = call.fault({call.process.image}, ERROR_INSUFFICIENT_BUFFER))
    return call.fail_with<DWORD>(*e, 0);
  if (module != nullptr && module != kImageBase)
    return call.fail_with<DWORD>(ERROR_MOD_NOT_FOUND, 0);
  DWORD length = static_cast<DWORD>(path.size());
  if (size == 0) return call.fail_with<DWORD>(ERROR_INSUFFICIENT_BUFFER, 0);
  if (buffer == nullptr)
    call.program_fault("with a size of " + std::to_string(size) + " and no buffer");
  if (size <= length) {
    std::memcpy(buffer, path.data(), (size - 1) * sizeof(Char));
    buffer[size - 1] = 0;
    return call.fail_with<DWORD>(ERROR_INSUFFICIENT_BUFFER, size);
  }
  std::memcpy(buffer, path.c_str(), (length + 1) * sizeof(Char));
  call.set_error(ERROR_SUCCESS);
  return length;
}

HMODULE module_handle(Call &call, const std::string *name) {
  if (auto e = call.fault({}, ERROR_MOD_NOT_FOUND)) return call.fail_with<HMODULE>(*e, nullptr);
  if (name == nullptr) return kImageBase;
  if (winsim::equal_nocase(*name, "kernel32") || winsim::equal_nocase(*name, "kernel32.dll"))
    return kKernel32Base;
  std::string image = call.process.image_name();
  if (winsim::equal_nocase(*name, image) || winsim::equal_nocase(with_exe(*name), image))
    return kImageBase;
  return call.fail_with<HMODULE>(ERROR_MOD_NOT_FOUND, nullptr);
}

BOOL set_current_directory(Call &call, const std::string &path) {
  auto full = FileSystem::resolve(path, call.process.current_dir);
  if (!full) return call.fail(ERROR_INVALID_NAME);
  const winsim::FileNode *node = call.world.files().find(*full);
  if (node == nullptr) return call.fail(ERROR_FILE_NOT_FOUND);
  if (!node->directory) return call.fail(ERROR_DIRECTORY);
  call.process.current_dir = node->path;
  return TRUE;
}

// Sets the variable, or removes it when there is no value.
BOOL set_variable(Call &call, const std::string &name, const std::string *value) {
  if (value == nullptr)
    call.process.environment.erase(winsim::fold_case(name));
  else
    call.process.environment[winsim::fold_case(name)] = *value;
  return TRUE;
}

const std::string *environment_value(Call &call, const std::string &name) {
  auto it = call.process.environment.find(winsim::fold_case(name));
  return it == call.process.environment.end() ? nullptr : &it->second;
}

// One variable of an environment block: "name=value"; a name may begin with "=" (the current
// folder of a drive, "=C:=C:\Work"). An entry without "=" names nothing.
void add_variable(std::map<std::string, std::string> &variables, const std::string &entry) {
  std::size_t equals = entry.find('=', 1);
  if (equals == std::string::npos) return;
  variables[winsim::fold_case(entry.substr(0, equals))] = entry.substr(equals + 1);
}

// The variables of the environment block CreateProcess was given: strings each ended by a NUL,
// the block by an empty one; wide with CREATE_UNICODE_ENVIRONMENT, else in the code page.
std::map<std::string, std::string> environment_block(const void *block, DWORD flags,
                                                     unsigned codepage) {
  std::map<std::string, std::string> variables;
  if (flags & CREATE_UNICODE_ENVIRONMENT) {
    for (auto *entry = static_cast<const char16_t *>(block); *entry != u'\0';) {
      std::u16string_view text(entry);
      add_variable(variables, winsim::utf16_to_utf8(text));
      entry += text.size() + 1;
    }
  } else {
    for (auto *entry = static_cast<const char *>(block); *entry != '\0';) {
      std::string_view text(entry);
      add_variable(variables, winsim::to_utf8(text, codepage));
      entry += text.size() + 1;
    }
  }
  return variables;
}

// CreateProcessW's work, which CreateProcessA does too once it has converted its texts: the
// two startup structures differ only in their texts, which are not read here.
template <typename StartupInfo>
BOOL create_process_w(Call &call, const std::string &application, const std::u16string &line,
                      BOOL inherit, DWORD flags, LPVOID environment, const std::string &dir,
                      const StartupInfo *startup, LPPROCESS_INFORMATION info) {
  winsim::LaunchRequest request{application, line, inherit != FALSE, flags, dir};
  if (environment != nullptr)
    request.environment = environment_block(environment, flags, call.world.acp());
  if (startup != nullptr) {
    request.startup_flags = startup->dwFlags;
    request.std_handles[0] = startup->hStdInput;
    request.std_handles[1] = startup->hStdOutput;
    request.std_handles[2] = startup->hStdError;
  }
  return create_process(call, request, info);
}

}  // namespace

BOOL WINAPI CreateProcessA(LPCSTR lpApplicationName, LPSTR lpCommandLine,
                           LPSECURITY_ATTRIBUTES lpProcessAttributes,
                           LPSECURITY_ATTRIBUTES lpThreadAttributes, BOOL bInheritHandles,
                           DWORD dwCreationFlags, LPVOID lpEnvironment, LPCSTR lpCurrentDirectory,
                           LPSTARTUPINFOA lpStartupInfo,
                           LPPROCESS_INFORMATION lpProcessInformation) {
  (void)lpProcessAttributes;
  (void)lpThreadAttributes;
  Call call("CreateProcessA");
  unsigned cp = call.world.acp();
  std::string application = lpApplicationName ? winsim::to_utf8(lpApplicationName, cp) : "";
  std::u16string line =
      lpCommandLine ? winsim::utf8_to_utf16(winsim::to_utf8(lpCommandLine, cp)) : std::u16string();
  std::string dir = lpCurrentDirectory ? winsim::to_utf8(lpCurrentDirectory, cp) : "";
  return create_process_w(call, application, line, bInheritHandles, dwCreationFlags, lpEnvironment,
                          dir, lpStartupInfo, lpProcessInformation);
}

BOOL WINAPI CreateProcessW(LPCWSTR lpApplicationName, LPWSTR lpCommandLine,
                           LPSECURITY_ATTRIBUTES lpProcessAttributes,
                           LPSECURITY_ATTRIBUTES lpThreadAttributes, BOOL bInheritHandles,
                           DWORD dwCreationFlags, LPVOID lpEnvironment, LPCWSTR lpCurrentDirectory,
                           LPSTARTUPINFOW lpStartupInfo,
                           LPPROCESS_INFORMATION lpProcessInformation) {
  (void)lpProcessAttributes;
  (void)lpThreadAttributes;
  Call call("CreateProcessW");
  std::string application = lpApplicationName ? winsim::utf16_to_utf8(lpApplicationName) : "";
  std::u16string line = lpCommandLine ? std::u16string(lpCommandLine) : std::u16string();
  std::string dir = lpCurrentDirectory ? winsim::utf16_to_utf8(lpCurrentDirectory) : "";
  return create_process_w(call, application, line, bInheritHandles, dwCreationFlags, lpEnvironment,
                          dir, lpStartupInfo, lpProcessInformation);
}

BOOL WINAPI GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode) {
  Call call("GetExitCodeProcess");
  if (auto e = call.fault({}, ERROR_ACCESS_DENIED)) return call.fail(*e);
  auto p =
      winsim::checked_as<winsim::ProcessObject>(call, hProcess, ObjectType::Process, "a process");
  *lpExitCode = p->exit_code;
  return TRUE;
}

BOOL WINAPI TerminateProcess(HANDLE hProcess, UINT uExitCode) {
  Call call("TerminateProcess");
  if (auto e = call.fault({}, ERROR_ACCESS_DENIED)) return call.fail(*e);
  auto p =
      winsim::checked_as<winsim::ProcessObject>(call, hProcess, ObjectType::Process, "a process");
  if (p->ended) return call.fail(ERROR_ACCESS_DENIED);
  winsim::World &world = call.world;
  bool self = p->process == &call.process;
  world.end_process(*p->process, uExitCode, winsim::ExitPath::Terminated);
  if (self) world.scheduler().park_current();
  return TRUE;
}

void WINAPI ExitProcess(UINT uExitCode) {
  winsim::World &world = winsim::World::get();
  {
    Call call("ExitProcess");
    world.end_process(call.process, uExitCode, winsim::ExitPath::ExitProcess);
  }
  world.scheduler().park_current();
}

HANDLE WINAPI GetCurrentProcess() {
  return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1));
}

DWORD WINAPI GetCurrentProcessId() {
  Call call("GetCurrentProcessId");
  return call.process.pid;
}

DWORD WINAPI GetProcessId(HANDLE Process) {
  Call call("GetProcessId");
  auto p =
      winsim::checked_as<winsim::ProcessObject>(call, Process, ObjectType::Process, "a process");
  return p->pid;
}

LPSTR WINAPI GetCommandLineA() {
  Call call("GetCommandLineA");
  if (call.process.command_line_a.empty())
    call.process.command_line_a = winsim::from_utf8(call.process.command_line, call.world.acp());
  return call.process.command_line_a.data();
}

LPWSTR WINAPI GetCommandLineW() {
  Call call("GetCommandLineW");
  if (call.process.command_line_w.empty())
    call.process.command_line_w = winsim::utf8_to_utf16(call.process.command_line);
  return call.process.command_line_w.data();
}

DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize) {
  Call call("GetModuleFileNameA");
  return module_file_name<char>(
      call, hModule, winsim::from_utf8(call.process.image, call.world.acp()), lpFilename, nSize);
}

DWORD WINAPI GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize) {
  Call call("GetModuleFileNameW");
  return module_file_name<char16_t>(call, hModule, winsim::utf8_to_utf16(call.process.image),
                                    lpFilename, nSize);
}

HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName) {
  Call call("GetModuleHandleA");
  std::string name = lpModuleName ? winsim::to_utf8(lpModuleName, call.world.acp()) : "";
  return module_handle(call, lpModuleName ? &name : nullptr);
}

HMODULE WINAPI GetModuleHandleW(LPCWSTR lpModuleName) {
  Call call("GetModuleHandleW");
  std::string name = lpModuleName ? winsim::utf16_to_utf8(lpModuleName) : "";
  return module_handle(call, lpModuleName ? &name : nullptr);
}

FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
  Call call("GetProcAddress");
  // An ordinal (a number below 0x10000 in place of the name) names no function here.
  bool named = reinterpret_cast<ULONG_PTR>(lpProcName) > 0xFFFF;
  std::string name = named ? lpProcName : std::string();
  if (auto e = call.fault({name}, ERROR_PROC_NOT_FOUND))
    return call.fail_with<FARPROC>(*e, nullptr);
  if (hModule != kKernel32Base)
    winsim::unsupported(call, "only kernel32's functions are looked up, not \"" + name + "\"");
  if (name != "IsWow64Process") return call.fail_with<FARPROC>(ERROR_PROC_NOT_FOUND, nullptr);
  call.set_error(ERROR_SUCCESS);
  return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&IsWow64Process));
}

BOOL WINAPI IsWow64Process(HANDLE hProcess, LPBOOL Wow64Process) {
  Call call("IsWow64Process");
  if (auto e = call.fault({}, ERROR_ACCESS_DENIED)) return call.fail(*e);
  winsim::checked_as<winsim::ProcessObject>(call, hProcess, ObjectType::Process, "a process");
  *Wow64Process = FALSE;
  return TRUE;
}

UINT WINAPI GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize) {
  Call call("GetSystemDirectoryA");
  return folder_out<char>(call, winsim::from_utf8(winsim::World::kSystemDir, call.world.acp()),
                          lpBuffer, uSize);
}

UINT WINAPI GetSystemDirectoryW(LPWSTR lpBuffer, UINT uSize) {
  Call call("GetSystemDirectoryW");
  return folder_out<char16_t>(call, winsim::utf8_to_utf16(winsim::World::kSystemDir), lpBuffer,
                              uSize);
}

UINT WINAPI GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize) {
  Call call("GetWindowsDirectoryA");
  return folder_out<char>(call, winsim::from_utf8(winsim::World::kWindowsDir, call.world.acp()),
                          lpBuffer, uSize);
}

UINT WINAPI GetWindowsDirectoryW(LPWSTR lpBuffer, UINT uSize) {
  Call call("GetWindowsDirectoryW");
  return folder_out<char16_t>(call, winsim::utf8_to_utf16(winsim::World::kWindowsDir), lpBuffer,
                              uSize);
}

DWORD WINAPI GetCurrentDirectoryA(DWORD nBufferLength, LPSTR lpBuffer) {
  Call call("GetCurrentDirectoryA");
  return copy_out<char>(call, winsim::from_utf8(call.process.current_dir, call.world.acp()),
                        lpBuffer, nBufferLength);
}

DWORD WINAPI GetCurrentDirectoryW(DWORD nBufferLength, LPWSTR lpBuffer) {
  Call call("GetCurrentDirectoryW");
  return copy_out<char16_t>(call, winsim::utf8_to_utf16(call.process.current_dir), lpBuffer,
                            nBufferLength);
}

BOOL WINAPI SetCurrentDirectoryA(LPCSTR lpPathName) {
  Call call("SetCurrentDirectoryA");
  return set_current_directory(call, winsim::to_utf8(lpPathName, call.world.acp()));
}

BOOL WINAPI SetCurrentDirectoryW(LPCWSTR lpPathName) {
  Call call("SetCurrentDirectoryW");
  return set_current_directory(call, winsim::utf16_to_utf8(lpPathName));
}

DWORD WINAPI GetEnvironmentVariableA(LPCSTR lpName, LPSTR lpBuffer, DWORD nSize) {
  Call call("GetEnvironmentVariableA");
  const std::string *value = environment_value(call, winsim::to_utf8(lpName, call.world.acp()));
  if (value == nullptr) return call.fail_with<DWORD>(ERROR_ENVVAR_NOT_FOUND, 0);
  return copy_out<char>(call, winsim::from_utf8(*value, call.world.acp()), lpBuffer, nSize);
}

DWORD WINAPI GetEnvironmentVariableW(LPCWSTR lpName, LPWSTR lpBuffer, DWORD nSize) {
  Call call("GetEnvironmentVariableW");
  const std::string *value = environment_value(call, winsim::utf16_to_utf8(lpName));
  if (value == nullptr) return call.fail_with<DWORD>(ERROR_ENVVAR_NOT_FOUND, 0);
  return copy_out<char16_t>(call, winsim::utf8_to_utf16(*value), lpBuffer, nSize);
}

BOOL WINAPI SetEnvironmentVariableA(LPCSTR lpName, LPCSTR lpValue) {
  Call call("SetEnvironmentVariableA");
  std::string value = lpValue ? winsim::to_utf8(lpValue, call.world.acp()) : "";
  return set_variable(call, winsim::to_utf8(lpName, call.world.acp()), lpValue ? &value : nullptr);
}

BOOL WINAPI SetEnvironmentVariableW(LPCWSTR lpName, LPCWSTR lpValue) {
  Call call("SetEnvironmentVariableW");
  std::string value = lpValue ? winsim::utf16_to_utf8(lpValue) : "";
  return set_variable(call, winsim::utf16_to_utf8(lpName), lpValue ? &value : nullptr);
}

namespace winsim {
namespace {

// A program in the host's image has one copy of its globals for all of its processes: a second
// process while one runs would share them with it, which no two Windows processes do. The run
// stops instead of going on with a trace that no machine could give.
bool shares_globals(Call &call, const Program &program, const std::string &image_name,
                    const std::string &command_line) {
  if (program.entry == nullptr || program.host_image == HostImage::Stateless) return false;
  Process *running = call.world.running_process_of(program.entry);
  if (running == nullptr) return false;
  call.world.scheduler().stop_run(
      RunStopped::Reason::Isolation,
      "winsim: isolation: \"" + command_line + "\" would start a second process of " + image_name +
          " while pid " + std::to_string(running->pid) +
          " runs it. The program is registered by its entry function and lives in the host's "
          "image, so the two processes would share its globals; build it as a program image "
          "(norvane_sim_program), or register it as HostImage::Stateless if it keeps no state "
          "of its own.\n");
  call.world.scheduler().check_stop();
  return true;
}

// The arguments the C runtime hands to main, from the process's command line in the ANSI code
// page.
class MainArguments {
 public:
  MainArguments(const std::string &command_line, unsigned codepage) {
    for (const auto &argument : split_arguments(utf8_to_utf16(command_line)))
      texts_.push_back(from_utf8(utf16_to_utf8(argument), codepage));
    for (auto &text : texts_) pointers_.push_back(text.data());
    pointers_.push_back(nullptr);
  }
  int argc() const { return static_cast<int>(texts_.size()); }
  char **argv() { return pointers_.data(); }

 private:
  std::vector<std::string> texts_;
  std::vector<char *> pointers_;
};

// The main thread of a process of a program image: loads the process's own copy of the image
// (its static constructors run here, in the process), runs main, then the static destructors,
// as the C runtime does on Windows before the process ends.
DWORD run_image(World &world, Process &process, const std::string &module) {
  std::string error;
  process.image_copy = LoadedImage::load(module, &error);
  if (!process.image_copy) {
    world.scheduler().stop_run(RunStopped::Reason::Isolation,
                               "winsim: isolation: pid " + std::to_string(process.pid) + " (" +
                                   process.image_name() + ") cannot load its image: " + error +
                                   "\n");
    world.scheduler().check_stop();
    return ERROR_BAD_EXE_FORMAT;
  }
  MainArguments arguments(process.command_line, world.acp());
  int code = process.image_copy->main()(arguments.argc(), arguments.argv());
  run_exit_handlers(process);
  return static_cast<DWORD>(code);
}

}  // namespace

DWORD launch_process(Call &call, Process &caller, const LaunchRequest &request, Process **process,
                     SimThread **main_thread) {
  World &world = call.world;
  std::string line_utf8 = utf16_to_utf8(request.command_line);
  if (auto e = call.fault({request.application, line_utf8}, ERROR_FILE_NOT_FOUND)) return *e;
  if (request.application.empty() && request.command_line.empty()) return ERROR_INVALID_PARAMETER;
  // A new console and no console at all exclude each other.
  if ((request.creation_flags & (CREATE_NEW_CONSOLE | DETACHED_PROCESS)) ==
      (CREATE_NEW_CONSOLE | DETACHED_PROCESS))
    return ERROR_INVALID_PARAMETER;
  if (request.creation_flags & CREATE_SUSPENDED) call.not_simulated("with CREATE_SUSPENDED");
  DWORD error = 0;
  const FileNode *node =
      find_image(world, caller, request.application, request.command_line, &error);
  if (node == nullptr) return error;
  const Program *program = node->program.empty() ? nullptr : world.program(node->program);
  if (program == nullptr) return ERROR_BAD_EXE_FORMAT;
  std::string command_line = request.command_line.empty() ? request.application : line_utf8;
  if (shares_globals(call, *program, node->program, command_line)) return ERROR_NOT_SUPPORTED;
  std::string dir = caller.current_dir;
  if (!request.current_dir.empty()) {
    auto full = FileSystem::resolve(request.current_dir, caller.current_dir);
    if (!full || !world.files().is_directory(*full)) return ERROR_DIRECTORY;
    dir = *full;
  }

  Process &child = world.create_process(node->path, command_line, program->entry, caller.pid);
  child.current_dir = dir;
  child.environment = request.environment ? *request.environment : caller.environment;
  if (request.inherit_handles)
    for (const auto &[handle, e] : caller.handles.entries())
      if (e.inherit && !e.system) {
        HandleTable::Entry copy = e;
        copy.inherited = true;
        child.handles.insert_at(handle, copy);
      }
  if (request.startup_flags & STARTF_USESTDHANDLES) {
    for (int i = 0; i < 3; ++i) child.std_handles[i] = request.std_handles[i];
  } else if (!(request.creation_flags & DETACHED_PROCESS)) {
    auto console = std::make_shared<ConsoleObject>();
    for (int i = 0; i < 3; ++i)
      child.std_handles[i] =
          child.handles.insert(console, GENERIC_READ | GENERIC_WRITE, false, true);
  }
  std::function<DWORD()> body;
  if (program->entry != nullptr)
    body = [entry = program->entry] { return static_cast<DWORD>(entry()); };
  else
    body = [&world, &child, module = program->image_path] {
      return run_image(world, child, module);
    };
  SimThread *main = world.create_thread(child, std::move(body), true);

  Trace::Record r;
  r["image"] = child.image;
  r["cmdline"] = child.command_line;
  r["parent"] = caller.pid;
  world.trace().add(world.now(), child.pid, main->tid, "process.start", std::move(r));
  *process = &child;
  *main_thread = main;
  return ERROR_SUCCESS;
}

}  // namespace winsim
