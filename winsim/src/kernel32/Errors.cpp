// The thread's last error and the system's message texts.
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/Call.h"
#include "core/ProcessMemory.h"
#include "winsim/Text.h"
#include "winsim/win32.h"

namespace {

struct SystemMessage {
  DWORD code;
  const char *text;
};

// English system texts, each ending in the line break Windows gives them.
const SystemMessage kMessages[] = {
    {0, "The operation completed successfully.\r\n"},
    {1, "Incorrect function.\r\n"},
    {2, "The system cannot find the file specified.\r\n"},
    {3, "The system cannot find the path specified.\r\n"},
    {5, "Access is denied.\r\n"},
    {6, "The handle is invalid.\r\n"},
    {8, "Not enough memory resources are available to process this command.\r\n"},
    {13, "The data is invalid.\r\n"},
    {14, "Not enough memory resources are available to complete this operation.\r\n"},
    {21, "The device is not ready.\r\n"},
    {31, "A device attached to the system is not functioning.\r\n"},
    {32, "The process cannot access the file because it is being used by another process.\r\n"},
    {50, "The request is not supported.\r\n"},
    {80, "The file exists.\r\n"},
    {87, "The parameter is incorrect.\r\n"},
    {109, "The pipe has been ended.\r\n"},
    {122, "The data area passed to a system call is too small.\r\n"},
    {123, "The filename, directory name, or volume label syntax is incorrect.\r\n"},
    {145, "The directory is not empty.\r\n"},
    {183, "Cannot create a file when that file already exists.\r\n"},
    {193, "%1 is not a valid Win32 application.\r\n"},
    {232, "The pipe is being closed.\r\n"},
    {234, "More data is available.\r\n"},
    {259, "No more data is available.\r\n"},
    {1004, "Invalid flags.\r\n"},
    {1018, "Illegal operation attempted on a registry key that has been marked for deletion.\r\n"},
    {1052, "The requested control is not valid for this service.\r\n"},
    {1053, "The service did not respond to the start or control request in a timely fashion.\r\n"},
    {1054, "A thread could not be created for the service.\r\n"},
    {1056, "An instance of the service is already running.\r\n"},
    {1058,
     "The service cannot be started, either because it is disabled or because it has no "
     "enabled devices associated with it.\r\n"},
    {1060, "The specified service does not exist as an installed service.\r\n"},
    {1061, "The service cannot accept control messages at this time.\r\n"},
    {1062, "The service has not been started.\r\n"},
    {1063, "The service process could not connect to the service controller.\r\n"},
    {1066, "The service has returned a service-specific error code.\r\n"},
    {1067, "The process terminated unexpectedly.\r\n"},
    {1072, "The specified service has been marked for deletion.\r\n"},
    {1073, "The specified service already exists.\r\n"},
    {1078, "The name is already in use as either a service name or a service display name.\r\n"},
    {1115, "A system shutdown is in progress.\r\n"},
    {1400, "Invalid window handle.\r\n"},
    {1450, "Insufficient system resources exist to complete the requested service.\r\n"},
    {1460, "This operation returned because the timeout period expired.\r\n"},
    {1722, "The RPC server is unavailable.\r\n"},
};

const char *system_text(DWORD code) {
  for (const auto &m : kMessages)
    if (m.code == code) return m.text;
  return nullptr;
}

constexpr DWORD kMessageNotFound = 317;  // ERROR_MR_MID_NOT_FOUND

// Copies `text` (already in the caller's encoding) into the caller's buffer or a LocalAlloc'd
// one; returns the character count without the terminator, 0 on failure.
template <typename Char>
DWORD deliver(winsim::Call &call, DWORD flags, const std::basic_string<Char> &text, Char *buffer,
              DWORD size) {
  DWORD length = static_cast<DWORD>(text.size());
  if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
    auto *block = static_cast<Char *>(
        winsim::hand_out((length + 1) * sizeof(Char), false,
                         std::string("the message text ") + call.name + " handed out"));
    if (block == nullptr) return call.fail_with<DWORD>(ERROR_NOT_ENOUGH_MEMORY, 0);
    std::memcpy(block, text.c_str(), (length + 1) * sizeof(Char));
    *reinterpret_cast<Char **>(buffer) = block;
    return length;
  }
  if (buffer == nullptr || size < length + 1)
    return call.fail_with<DWORD>(ERROR_INSUFFICIENT_BUFFER, 0);
  std::memcpy(buffer, text.c_str(), (length + 1) * sizeof(Char));
  return length;
}

// The message goes to the buffer, or its allocated copy's address to the pointer lpBuffer
// points at: without either, Windows writes through a null pointer.
void check_buffer(winsim::Call &call, DWORD flags, const void *buffer, DWORD size) {
  if (buffer != nullptr) return;
  if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER)
    call.program_fault("with FORMAT_MESSAGE_ALLOCATE_BUFFER and no pointer to take the buffer");
  if (size != 0) call.program_fault("with a size of " + std::to_string(size) + " and no buffer");
}

// Whether the message is to come from the system's table, and from nowhere else: a string as
// the message excludes the system and a module as its source.
bool from_system_only(DWORD flags) {
  return (flags & FORMAT_MESSAGE_FROM_SYSTEM) && !(flags & FORMAT_MESSAGE_FROM_STRING);
}

// FormatMessage in either form, the message's text converted to the caller's. An allocated
// buffer's pointer is cleared first, so a failed call leaves nothing to free.
template <typename Char, typename Convert>
DWORD format_message(winsim::Call &call, DWORD flags, DWORD id, Char *buffer, DWORD size,
                     Convert convert) {
  check_buffer(call, flags, buffer, size);
  if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) *reinterpret_cast<Char **>(buffer) = nullptr;
  if (auto e = call.fault({}, kMessageNotFound)) return call.fail_with<DWORD>(*e, 0);
  if (!from_system_only(flags)) return call.fail_with<DWORD>(ERROR_INVALID_PARAMETER, 0);
  const char *text = system_text(id);
  if (text == nullptr) return call.fail_with<DWORD>(kMessageNotFound, 0);
  return deliver<Char>(call, flags, convert(text), buffer, size);
}

}  // namespace

DWORD WINAPI GetLastError() {
  winsim::SimThread *t = winsim::current_thread();
  return t == nullptr ? 0 : t->last_error;
}

void WINAPI SetLastError(DWORD dwErrCode) {
  if (winsim::SimThread *t = winsim::current_thread()) t->last_error = dwErrCode;
}

DWORD WINAPI FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId,
                            LPSTR lpBuffer, DWORD nSize, void *Arguments) {
  (void)lpSource;
  (void)dwLanguageId;
  (void)Arguments;
  winsim::Call call("FormatMessageA");
  return format_message<char>(
      call, dwFlags, dwMessageId, lpBuffer, nSize,
      [&call](const char *text) { return winsim::from_utf8(text, call.world.acp()); });
}

DWORD WINAPI FormatMessageW(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId,
                            LPWSTR lpBuffer, DWORD nSize, void *Arguments) {
  (void)lpSource;
  (void)dwLanguageId;
  (void)Arguments;
  winsim::Call call("FormatMessageW");
  return format_message<char16_t>(call, dwFlags, dwMessageId, lpBuffer, nSize,
                                  [](const char *text) { return winsim::utf8_to_utf16(text); });
}

HLOCAL WINAPI LocalAlloc(UINT uFlags, SIZE_T uBytes) {
  void *block = winsim::hand_out(uBytes, (uFlags & LMEM_ZEROINIT) != 0,
                                 "a block of " + std::to_string(uBytes) + " bytes LocalAlloc gave");
  if (block == nullptr) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return block;
}

HLOCAL WINAPI LocalFree(HLOCAL hMem) {
  winsim::take_back(hMem);
  return nullptr;
}
