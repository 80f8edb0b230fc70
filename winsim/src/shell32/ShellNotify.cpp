// SHChangeNotify: the shell hears of a change; the world traces what it heard.
#include <cstdio>
#include <string>

#include "core/Call.h"
#include "winsim/Text.h"
#include "winsim/win32.h"

namespace {

std::string flags_text(UINT flags) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%04X", flags);
  return buf;
}

}  // namespace

void WINAPI SHChangeNotify(LONG wEventId, UINT uFlags, LPCVOID dwItem1, LPCVOID dwItem2) {
  winsim::Call call("SHChangeNotify");
  winsim::Trace::Record path;  // null without a first item
  switch (uFlags & SHCNF_TYPE) {
    case SHCNF_PATHA:
      if (dwItem1 != nullptr)
        path = winsim::to_utf8(static_cast<const char *>(dwItem1), call.world.acp());
      break;
    default:
      call.not_simulated("with items of kind " + flags_text(uFlags & SHCNF_TYPE));
  }
  if (dwItem2 != nullptr) call.not_simulated("with a second item");
  winsim::Trace::Record r;
  r["event"] = static_cast<DWORD>(wEventId);
  r["flags"] = uFlags;
  r["path"] = std::move(path);
  call.world.record("shell.notify", std::move(r));
}
