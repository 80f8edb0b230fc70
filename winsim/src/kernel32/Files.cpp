// Opening files and devices, file attributes and folders.
#include <algorithm>

#include "core/Call.h"
#include "kernel32/FileObject.h"
#include "kernel32/Files.h"
#include "winsim/Devices.h"
#include "winsim/FileSystem.h"
#include "winsim/Registry.h"
#include "winsim/Text.h"
#include "winsim/win32.h"

using winsim::Call;
using winsim::ObjectType;

namespace {

constexpr const char *kDevicePrefix = "\\\\.\\";
constexpr const char *kSessionManagerKey = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr const char *kPendingOperations = "PendingFileRenameOperations";

std::string narrow(Call &call, LPCSTR text) {
  return text == nullptr ? std::string() : winsim::to_utf8(text, call.world.acp());
}

std::string wide(LPCWSTR text) {
  return text == nullptr ? std::string() : winsim::utf16_to_utf8(text);
}

// The full path of `path`; none when it cannot name a file: characters no name may hold.
std::optional<std::string> full_path(Call &call, const std::string &path) {
  if (path.find_first_of("<>\"|?*") != std::string::npos) return std::nullopt;
  return winsim::FileSystem::resolve(path, call.process.current_dir);
}

// The error for a missing file: 3 when its folder is missing as well.
DWORD missing_error(Call &call, const std::string &full) {
  return call.world.files().is_directory(winsim::FileSystem::parent_of(full))
             ? ERROR_FILE_NOT_FOUND
             : ERROR_PATH_NOT_FOUND;
}

HANDLE open_device(Call &call, const std::string &path, DWORD access) {
  std::string name = path.substr(4);
  auto device = call.world.devices().find(name);
  if (!device) return call.fail_with<HANDLE>(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
  if (DWORD error = device->open(access))
    return call.fail_with<HANDLE>(error, INVALID_HANDLE_VALUE);
  auto object = std::make_shared<winsim::DeviceObject>(path, device);
  call.set_error(ERROR_SUCCESS);
  return call.process.handles.insert(object, access, false);
}

HANDLE create_file(Call &call, const std::string &path, DWORD access, DWORD disposition) {
  if (auto e = call.fault({path}, ERROR_ACCESS_DENIED))
    return call.fail_with<HANDLE>(*e, INVALID_HANDLE_VALUE);
  // The disposition is one of the five, for a device as for a file.
  if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING)
    return call.fail_with<HANDLE>(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
  if (path.rfind(kDevicePrefix, 0) == 0) return open_device(call, path, access);
  auto full = full_path(call, path);
  if (!full) return call.fail_with<HANDLE>(ERROR_INVALID_NAME, INVALID_HANDLE_VALUE);
  winsim::FileSystem &fs = call.world.files();
  winsim::FileNode *node = fs.find(*full);
  if (node != nullptr && node->directory)
    return call.fail_with<HANDLE>(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
  DWORD error_after = ERROR_SUCCESS;
  switch (disposition) {
    case OPEN_EXISTING:
      if (node == nullptr)
        return call.fail_with<HANDLE>(missing_error(call, *full), INVALID_HANDLE_VALUE);
      break;
    case TRUNCATE_EXISTING:
      if (node == nullptr)
        return call.fail_with<HANDLE>(missing_error(call, *full), INVALID_HANDLE_VALUE);
      node->data.clear();
      break;
    case CREATE_NEW:
      if (node != nullptr) return call.fail_with<HANDLE>(ERROR_FILE_EXISTS, INVALID_HANDLE_VALUE);
      [[fallthrough]];
    case CREATE_ALWAYS:
    case OPEN_ALWAYS:
      if (node == nullptr) {
        if (!fs.is_directory(winsim::FileSystem::parent_of(*full)))
          return call.fail_with<HANDLE>(ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);
        fs.add_file(*full);
      } else {
        error_after = ERROR_ALREADY_EXISTS;
        if (disposition == CREATE_ALWAYS) node->data.clear();
      }
      break;
    default:
      return call.fail_with<HANDLE>(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
  }
  auto object = std::make_shared<winsim::FileObject>(fs.find(*full)->path, access);
  call.set_error(error_after);
  return call.process.handles.insert(object, access, false);
}

DWORD attributes(Call &call, const std::string &path) {
  if (auto e = call.fault({path}, ERROR_ACCESS_DENIED))
    return call.fail_with<DWORD>(*e, INVALID_FILE_ATTRIBUTES);
  if (path.empty()) return call.fail_with<DWORD>(ERROR_PATH_NOT_FOUND, INVALID_FILE_ATTRIBUTES);
  auto full = full_path(call, path);
  if (!full) return call.fail_with<DWORD>(ERROR_INVALID_NAME, INVALID_FILE_ATTRIBUTES);
  const winsim::FileNode *node = call.world.files().find(*full);
  if (node == nullptr)
    return call.fail_with<DWORD>(missing_error(call, *full), INVALID_FILE_ATTRIBUTES);
  return node->attributes;
}

// Whether a process that has not ended runs from the file: Windows keeps such an image open.
bool image_in_use(Call &call, const std::string &full) {
  for (const winsim::Process *p : call.world.running_processes())
    if (!p->ended && winsim::equal_nocase(p->image, full)) return true;
  return false;
}

// Why the file cannot be deleted or written over now, or 0: a process runs from it (5), or
// another process holds it open without delete sharing (32).
DWORD in_use_error(Call &call, const winsim::FileNode &node, DWORD image_error) {
  if (node.busy) return ERROR_SHARING_VIOLATION;
  if (image_in_use(call, node.path)) return image_error;
  return ERROR_SUCCESS;
}

// A trace record of a file operation with its outcome (error 0: done).
BOOL record_outcome(Call &call, const char *kind, winsim::Trace::Record r, DWORD error) {
  r["error"] = error;
  call.world.record(kind, std::move(r));
  return error == ERROR_SUCCESS ? TRUE : call.fail(error);
}

winsim::Trace::Record path_record(const std::string &path) {
  winsim::Trace::Record r;
  r["path"] = path;
  return r;
}

// The path as the trace shows it: as the file system spells it when it exists.
std::string shown_path(Call &call, const std::optional<std::string> &full,
                       const std::string &path) {
  if (!full) return path;
  const winsim::FileNode *node = call.world.files().find(*full);
  return node != nullptr ? node->path : *full;
}

DWORD delete_error(Call &call, const std::optional<std::string> &full) {
  if (!full) return ERROR_INVALID_NAME;
  const winsim::FileNode *node = call.world.files().find(*full);
  if (node == nullptr) return missing_error(call, *full);
  if (node->directory) return ERROR_ACCESS_DENIED;
  return in_use_error(call, *node, ERROR_ACCESS_DENIED);
}

// One operation on the file or folder at `path`: the fault plan first, then `error_of` decides
// whether it can be done, and `apply` does it; the outcome is recorded as `kind`.
template <typename ErrorOf, typename Apply>
BOOL path_operation(Call &call, const char *kind, const std::string &path, ErrorOf error_of,
                    Apply apply) {
  auto full = full_path(call, path);
  winsim::Trace::Record r = path_record(shown_path(call, full, path));
  if (auto e = call.fault({path}, ERROR_ACCESS_DENIED)) return record_outcome(call, kind, r, *e);
  DWORD error = error_of(call, full);
  if (error == ERROR_SUCCESS) apply(call.world.files(), *full);
  return record_outcome(call, kind, std::move(r), error);
}

void remove_node(winsim::FileSystem &fs, const std::string &full) {
  fs.remove(full);
}

BOOL delete_file(Call &call, const std::string &path) {
  return path_operation(call, "file.delete", path, delete_error, remove_node);
}

DWORD create_directory_error(Call &call, const std::optional<std::string> &full) {
  if (!full) return ERROR_INVALID_NAME;
  winsim::FileSystem &fs = call.world.files();
  if (fs.exists(*full)) return ERROR_ALREADY_EXISTS;
  if (!fs.is_directory(winsim::FileSystem::parent_of(*full))) return ERROR_PATH_NOT_FOUND;
  return ERROR_SUCCESS;
}

BOOL create_directory(Call &call, const std::string &path) {
  return path_operation(
      call, "dir.create", path, create_directory_error,
      [](winsim::FileSystem &fs, const std::string &full) { fs.add_directory(full); });
}

DWORD remove_directory_error(Call &call, const std::optional<std::string> &full) {
  if (!full) return ERROR_INVALID_NAME;
  winsim::FileSystem &fs = call.world.files();
  const winsim::FileNode *node = fs.find(*full);
  if (node == nullptr) return missing_error(call, *full);
  if (!node->directory) return ERROR_DIRECTORY;
  if (!fs.list(*full).empty()) return ERROR_DIR_NOT_EMPTY;
  return ERROR_SUCCESS;
}

BOOL remove_directory(Call &call, const std::string &path) {
  return path_operation(call, "dir.delete", path, remove_directory_error, remove_node);
}

// Why `from` cannot be copied onto `to`, or 0.
DWORD copy_error(Call &call, const std::optional<std::string> &from,
                 const std::optional<std::string> &to, bool fail_if_exists) {
  if (!from || !to) return ERROR_INVALID_NAME;
  winsim::FileSystem &fs = call.world.files();
  const winsim::FileNode *source = fs.find(*from);
  if (source == nullptr) return missing_error(call, *from);
  if (source->directory) return ERROR_ACCESS_DENIED;
  const winsim::FileNode *target = fs.find(*to);
  if (target == nullptr)
    return fs.is_directory(winsim::FileSystem::parent_of(*to)) ? ERROR_SUCCESS
                                                               : ERROR_PATH_NOT_FOUND;
  if (target->directory) return ERROR_ACCESS_DENIED;
  if (fail_if_exists) return ERROR_FILE_EXISTS;
  return in_use_error(call, *target, ERROR_SHARING_VIOLATION);
}

BOOL copy_file(Call &call, const std::string &from, const std::string &to, bool fail_if_exists) {
  auto full_from = full_path(call, from);
  auto full_to = full_path(call, to);
  winsim::Trace::Record r;
  r["from"] = shown_path(call, full_from, from);
  r["to"] = shown_path(call, full_to, to);
  if (auto e = call.fault({from, to}, ERROR_ACCESS_DENIED))
    return record_outcome(call, "file.copy", r, *e);
  DWORD error = copy_error(call, full_from, full_to, fail_if_exists);
  if (error == ERROR_SUCCESS) {
    winsim::FileSystem &fs = call.world.files();
    winsim::FileNode copy = *fs.find(*full_from);
    const winsim::FileNode *old = fs.find(*full_to);
    winsim::FileNode &target = fs.add_file(old != nullptr ? old->path : *full_to);
    target.data = std::move(copy.data);
    target.program = std::move(copy.program);
    target.play_ms = copy.play_ms;
    r["to"] = target.path;
  }
  return record_outcome(call, "file.copy", std::move(r), error);
}

// Appends the deletion of `full` to the operations the system carries out at its next start:
// the multi-string PendingFileRenameOperations of the session manager's key, each operation
// the file's NT path and an empty target. Writing there takes full access to the key, which
// only administrators have; the trace shows the request as file.reboot_delete.
DWORD add_restart_operation(Call &call, const std::string &full) {
  winsim::Registry &registry = call.world.registry();
  bool created = false;
  auto key = registry.create(registry.root("HKLM"), kSessionManagerKey, &created);
  if (key->deny_full_access) return ERROR_ACCESS_DENIED;
  std::vector<std::uint8_t> data;
  if (const winsim::RegValue *pending = key->value(kPendingOperations)) {
    if (pending->type != REG_MULTI_SZ)
      call.not_simulated("while PendingFileRenameOperations holds no multi-string");
    data = pending->data;
    if (data.size() >= 2) data.resize(data.size() - 2);  // its closing terminator
  }
  std::u16string operation = winsim::utf8_to_utf16("\\??\\" + full);
  operation.append(3, u'\0');  // the path's terminator, the empty target, the list's end
  const auto *bytes = reinterpret_cast<const std::uint8_t *>(operation.data());
  data.insert(data.end(), bytes, bytes + operation.size() * sizeof(char16_t));
  registry.set_value(key->path, kPendingOperations, REG_MULTI_SZ, std::move(data));
  return ERROR_SUCCESS;
}

// Whether the handle was opened with the access the control code asks for: bit 14 of the code
// asks for read access, bit 15 for write access.
bool grants_control(Call &call, HANDLE handle, DWORD code) {
  const DWORD granted = call.process.handles.find(handle)->access;
  const bool read = granted & (GENERIC_READ | GENERIC_ALL | FILE_READ_DATA);
  const bool write = granted & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA);
  return (!(code & (1u << 14)) || read) && (!(code & (1u << 15)) || write);
}

}  // namespace

DWORD winsim::file_attributes(Call &call, const std::string &path) {
  return attributes(call, path);
}

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
  (void)dwShareMode;
  (void)lpSecurityAttributes;
  (void)dwFlagsAndAttributes;
  (void)hTemplateFile;
  Call call("CreateFileA");
  return create_file(call, narrow(call, lpFileName), dwDesiredAccess, dwCreationDisposition);
}

HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
  (void)dwShareMode;
  (void)lpSecurityAttributes;
  (void)dwFlagsAndAttributes;
  (void)hTemplateFile;
  Call call("CreateFileW");
  return create_file(call, wide(lpFileName), dwDesiredAccess, dwCreationDisposition);
}

DWORD WINAPI GetFileAttributesA(LPCSTR lpFileName) {
  Call call("GetFileAttributesA");
  return attributes(call, narrow(call, lpFileName));
}

DWORD WINAPI GetFileAttributesW(LPCWSTR lpFileName) {
  Call call("GetFileAttributesW");
  return attributes(call, wide(lpFileName));
}

BOOL WINAPI DeleteFileA(LPCSTR lpFileName) {
  Call call("DeleteFileA");
  return delete_file(call, narrow(call, lpFileName));
}

BOOL WINAPI DeleteFileW(LPCWSTR lpFileName) {
  Call call("DeleteFileW");
  return delete_file(call, wide(lpFileName));
}

BOOL WINAPI CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes) {
  (void)lpSecurityAttributes;
  Call call("CreateDirectoryA");
  return create_directory(call, narrow(call, lpPathName));
}

BOOL WINAPI CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes) {
  (void)lpSecurityAttributes;
  Call call("CreateDirectoryW");
  return create_directory(call, wide(lpPathName));
}

BOOL WINAPI RemoveDirectoryA(LPCSTR lpPathName) {
  Call call("RemoveDirectoryA");
  return remove_directory(call, narrow(call, lpPathName));
}

BOOL WINAPI RemoveDirectoryW(LPCWSTR lpPathName) {
  Call call("RemoveDirectoryW");
  return remove_directory(call, wide(lpPathName));
}

BOOL WINAPI CopyFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, BOOL bFailIfExists) {
  Call call("CopyFileW");
  return copy_file(call, wide(lpExistingFileName), wide(lpNewFileName), bFailIfExists != FALSE);
}

BOOL WINAPI MoveFileExW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, DWORD dwFlags) {
  Call call("MoveFileExW");
  std::string path = wide(lpExistingFileName);
  if (auto e = call.fault({path}, ERROR_ACCESS_DENIED)) return call.fail(*e);
  constexpr DWORD kKnownFlags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED |
                                MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_WRITE_THROUGH |
                                MOVEFILE_CREATE_HARDLINK | MOVEFILE_FAIL_IF_NOT_TRACKABLE;
  if (dwFlags & ~kKnownFlags) return call.fail(ERROR_INVALID_PARAMETER);
  if (lpNewFileName != nullptr || dwFlags != MOVEFILE_DELAY_UNTIL_REBOOT)
    winsim::unsupported(call, "MoveFileExW is emulated only to delete a file at the next restart");
  auto full = full_path(call, path);
  if (!full) return call.fail(ERROR_INVALID_NAME);
  if (DWORD error = add_restart_operation(call, *full)) return call.fail(error);
  std::string shown = shown_path(call, full, path);
  call.world.files().delete_at_restart(shown);
  call.world.record("file.reboot_delete", path_record(shown));
  return TRUE;
}

HANDLE WINAPI FindFirstFileW(LPCWSTR lpFileName, LPWIN32_FIND_DATAW lpFindFileData) {
  Call call("FindFirstFileW");
  std::string path = wide(lpFileName);
  if (auto e = call.fault({path}, ERROR_ACCESS_DENIED))
    return call.fail_with<HANDLE>(*e, INVALID_HANDLE_VALUE);
  if (path.find_first_of("*?") != std::string::npos)
    winsim::unsupported(call,
                        "FindFirstFileW is emulated for exact names only, not \"" + path + "\"");
  auto full = full_path(call, path);
  if (!full) return call.fail_with<HANDLE>(ERROR_INVALID_NAME, INVALID_HANDLE_VALUE);
  const winsim::FileNode *node = call.world.files().find(*full);
  if (node == nullptr)
    return call.fail_with<HANDLE>(missing_error(call, *full), INVALID_HANDLE_VALUE);
  *lpFindFileData = WIN32_FIND_DATAW{};
  lpFindFileData->dwFileAttributes = node->attributes;
  lpFindFileData->nFileSizeLow = static_cast<DWORD>(node->data.size());
  std::u16string name = winsim::utf8_to_utf16(winsim::FileSystem::file_name(node->path));
  name.resize(std::min<std::size_t>(name.size(), MAX_PATH - 1));
  std::copy(name.begin(), name.end(), lpFindFileData->cFileName);
  call.set_error(ERROR_SUCCESS);
  return call.process.handles.insert(std::make_shared<winsim::FindObject>(node->path), 0, false);
}

BOOL WINAPI FindClose(HANDLE hFindFile) {
  Call call("FindClose");
  winsim::checked_as<winsim::FindObject>(call, hFindFile, ObjectType::FindSearch, "a search");
  winsim::close_handle(call.world, call.process, hFindFile);
  return TRUE;
}

BOOL WINAPI DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer,
                            DWORD nInBufferSize, LPVOID lpOutBuffer, DWORD nOutBufferSize,
                            LPDWORD lpBytesReturned, LPOVERLAPPED lpOverlapped) {
  Call call("DeviceIoControl");
  auto device = winsim::object_as<winsim::DeviceObject>(call, hDevice, ObjectType::Device);
  std::string subject = device ? device->path : std::string();
  if (auto e = call.fault({subject}, ERROR_GEN_FAILURE)) {
    if (device && lpBytesReturned != nullptr) *lpBytesReturned = 0;  // the device refused
    return call.fail(*e);
  }
  if (lpOverlapped != nullptr) call.not_simulated("with an OVERLAPPED structure");
  winsim::checked_object(call, hDevice, {ObjectType::Device, ObjectType::File},
                         "a device or file handle");
  if (!grants_control(call, hDevice, dwIoControlCode)) return call.fail(ERROR_ACCESS_DENIED);
  // The system copies a buffered request's input in and its output out through the buffers
  // the sizes describe (and maps a direct one's); a missing buffer with a size is memory the
  // caller cannot reach.
  constexpr DWORD kMethodNeither = 3;  // the low two bits of a control code: its method
  if ((dwIoControlCode & 3) != kMethodNeither && ((lpInBuffer == nullptr && nInBufferSize != 0) ||
                                                  (lpOutBuffer == nullptr && nOutBufferSize != 0)))
    return call.fail(ERROR_NOACCESS);
  if (!device) call.not_simulated("on a file of the file system");
  // The count is written once the device has answered (none when it refused); a request that
  // never reached it leaves the count alone.
  std::uint32_t returned = 0;
  DWORD error = device->device->control(
      dwIoControlCode, static_cast<const std::uint8_t *>(lpInBuffer), nInBufferSize,
      static_cast<std::uint8_t *>(lpOutBuffer), nOutBufferSize, &returned);
  if (lpBytesReturned != nullptr) *lpBytesReturned = returned;
  if (error != 0) return call.fail(error);
  return TRUE;
}
