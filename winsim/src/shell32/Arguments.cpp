// CommandLineToArgvW: a command line split into its arguments, handed to the program in one
// block that it frees with LocalFree.
#include <cstring>

#include "core/Call.h"
#include "core/ProcessMemory.h"
#include "kernel32/CommandLine.h"
#include "winsim/Text.h"
#include "winsim/win32.h"

using winsim::Call;

LPWSTR *WINAPI CommandLineToArgvW(LPCWSTR lpCmdLine, int *pNumArgs) {
  Call call("CommandLineToArgvW");
  if (auto e = call.fault({}, ERROR_NOT_ENOUGH_MEMORY))
    return call.fail_with<LPWSTR *>(*e, nullptr);
  if (pNumArgs == nullptr) return call.fail_with<LPWSTR *>(ERROR_INVALID_PARAMETER, nullptr);
  std::vector<std::u16string> args;
  if (lpCmdLine == nullptr || *lpCmdLine == u'\0')
    args.push_back(winsim::utf8_to_utf16(call.process.image));
  else
    args = winsim::split_arguments(lpCmdLine);
  size_t chars = 0;
  for (const auto &a : args) chars += a.size() + 1;
  size_t table = (args.size() + 1) * sizeof(LPWSTR);
  auto *block = static_cast<std::uint8_t *>(winsim::hand_out(
      table + chars * sizeof(WCHAR), false, "the argument vector CommandLineToArgvW handed out"));
  if (block == nullptr) return nullptr;
  auto **argv = reinterpret_cast<LPWSTR *>(block);
  auto *text = reinterpret_cast<WCHAR *>(block + table);
  for (size_t i = 0; i < args.size(); ++i) {
    argv[i] = text;
    std::memcpy(text, args[i].c_str(), (args[i].size() + 1) * sizeof(WCHAR));
    text += args[i].size() + 1;
  }
  argv[args.size()] = nullptr;
  *pNumArgs = static_cast<int>(args.size());
  return argv;
}
