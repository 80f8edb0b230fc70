// Opening files and devices, file attributes and folders.
#include "core/Call.h"
#include "kernel32/FileObject.h"
#include "winsim/Devices.h"
#include "winsim/FileSystem.h"
#include "winsim/Text.h"
#include "winsim/win32.h"

using winsim::Call;
using winsim::ObjectType;

namespace {

constexpr const char *kDevicePrefix = "\\\\.\\";

std::string narrow(Call &call, LPCSTR text) {
  return text == nullptr ? std::string() : winsim::to_utf8(text, call.world.acp());
}

std::string wide(LPCWSTR text) {
  return text == nullptr ? std::string() : winsim::utf16_to_utf8(text);
}

std::optional<std::string> full_path(Call &call, const std::string &path) {
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
  auto full = full_path(call, path);
  if (!full) return call.fail_with<DWORD>(ERROR_INVALID_NAME, INVALID_FILE_ATTRIBUTES);
  const winsim::FileNode *node = call.world.files().find(*full);
  if (node == nullptr)
    return call.fail_with<DWORD>(missing_error(call, *full), INVALID_FILE_ATTRIBUTES);
  return node->attributes;
}

BOOL delete_file(Call &call, const std::string &path) {
  if (auto e = call.fault({path}, ERROR_ACCESS_DENIED)) return call.fail(*e);
  auto full = full_path(call, path);
  if (!full) return call.fail(ERROR_INVALID_NAME);
  winsim::FileSystem &fs = call.world.files();
  const winsim::FileNode *node = fs.find(*full);
  if (node == nullptr) return call.fail(missing_error(call, *full));
  if (node->directory) return call.fail(ERROR_ACCESS_DENIED);
  std::string shown = node->path;
  fs.remove(*full);
  winsim::Trace::Record r;
  r["path"] = shown;
  call.world.record("file.delete", std::move(r));
  return TRUE;
}

BOOL create_directory(Call &call, const std::string &path) {
  if (auto e = call.fault({path}, ERROR_ACCESS_DENIED)) return call.fail(*e);
  auto full = full_path(call, path);
  if (!full) return call.fail(ERROR_INVALID_NAME);
  winsim::FileSystem &fs = call.world.files();
  if (fs.exists(*full)) return call.fail(ERROR_ALREADY_EXISTS);
  if (!fs.is_directory(winsim::FileSystem::parent_of(*full)))
    return call.fail(ERROR_PATH_NOT_FOUND);
  fs.add_directory(*full);
  winsim::Trace::Record r;
  r["path"] = fs.find(*full)->path;
  call.world.record("dir.create", std::move(r));
  return TRUE;
}

BOOL remove_directory(Call &call, const std::string &path) {
  if (auto e = call.fault({path}, ERROR_ACCESS_DENIED)) return call.fail(*e);
  auto full = full_path(call, path);
  if (!full) return call.fail(ERROR_INVALID_NAME);
  winsim::FileSystem &fs = call.world.files();
  const winsim::FileNode *node = fs.find(*full);
  if (node == nullptr) return call.fail(missing_error(call, *full));
  if (!node->directory) return call.fail(ERROR_DIRECTORY);
  if (!fs.list(*full).empty()) return call.fail(ERROR_DIR_NOT_EMPTY);
  std::string shown = node->path;
  fs.remove(*full);
  winsim::Trace::Record r;
  r["path"] = shown;
  call.world.record("dir.delete", std::move(r));
  return TRUE;
}

BOOL path_exists(Call &call, const std::string &path) {
  auto full = full_path(call, path);
  if (!full) return FALSE;
  return call.world.files().exists(*full) ? TRUE : FALSE;
}

}  // namespace

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

BOOL WINAPI PathFileExistsA(LPCSTR pszPath) {
  Call call("PathFileExistsA");
  return path_exists(call, narrow(call, pszPath));
}

BOOL WINAPI PathFileExistsW(LPCWSTR pszPath) {
  Call call("PathFileExistsW");
  return path_exists(call, wide(pszPath));
}

BOOL WINAPI DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer,
                            DWORD nInBufferSize, LPVOID lpOutBuffer, DWORD nOutBufferSize,
                            LPDWORD lpBytesReturned, LPOVERLAPPED lpOverlapped) {
  Call call("DeviceIoControl");
  if (lpBytesReturned != nullptr) *lpBytesReturned = 0;
  auto device = winsim::object_as<winsim::DeviceObject>(call, hDevice, ObjectType::Device);
  std::string subject = device ? device->path : std::string();
  if (auto e = call.fault({subject}, ERROR_GEN_FAILURE)) return call.fail(*e);
  if (lpOverlapped != nullptr) return call.fail(ERROR_NOT_SUPPORTED);
  if (!device) return call.fail(ERROR_INVALID_HANDLE);
  std::uint32_t returned = 0;
  DWORD error = device->device->control(
      dwIoControlCode, static_cast<const std::uint8_t *>(lpInBuffer), nInBufferSize,
      static_cast<std::uint8_t *>(lpOutBuffer), nOutBufferSize, &returned);
  if (lpBytesReturned != nullptr) *lpBytesReturned = returned;
  if (error != 0) return call.fail(error);
  return TRUE;
}
