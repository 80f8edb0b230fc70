// The shell's lightweight path functions.
#include <string>

#include "core/Call.h"
#include "kernel32/Files.h"
#include "winsim/Text.h"
#include "winsim/win32.h"

using winsim::Call;

namespace {

std::string narrow(Call &call, LPCSTR text) {
  return text == nullptr ? std::string() : winsim::to_utf8(text, call.world.acp());
}

std::string wide(LPCWSTR text) {
  return text == nullptr ? std::string() : winsim::utf16_to_utf8(text);
}

// PathFileExists: the file's attributes can be read. No path at all is no file, and leaves
// the last error alone; otherwise a failure leaves the reading's error.
BOOL path_exists(Call &call, const void *given, const std::string &path) {
  if (given == nullptr) return FALSE;
  return winsim::file_attributes(call, path) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

BOOL WINAPI PathFileExistsA(LPCSTR pszPath) {
  Call call("PathFileExistsA");
  return path_exists(call, pszPath, narrow(call, pszPath));
}

BOOL WINAPI PathFileExistsW(LPCWSTR pszPath) {
  Call call("PathFileExistsW");
  return path_exists(call, pszPath, wide(pszPath));
}
