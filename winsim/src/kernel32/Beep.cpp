// Beep: a tone on the machine's speaker that lasts its length in virtual time, traced as
// `sound`.
#include <string>

#include "core/Call.h"
#include "winsim/win32.h"

using winsim::Call;

namespace {

constexpr DWORD kLowestBeep = 37;
constexpr DWORD kHighestBeep = 32767;

// The calling thread waits while a sound of `ms` plays.
void play_for(Call &call, std::uint64_t ms, const std::string &what) {
  if (ms == 0) return;
  call.world.scheduler().block(what, call.world.now() + ms);
}

}  // namespace

BOOL WINAPI Beep(DWORD dwFreq, DWORD dwDuration) {
  Call call("Beep");
  if (auto e = call.fault({}, ERROR_GEN_FAILURE)) return call.fail(*e);
  // A frequency out of the range the speaker plays is taken, and plays nothing.
  if (dwFreq < kLowestBeep || dwFreq > kHighestBeep) return TRUE;
  winsim::Trace::Record r;
  r["via"] = "beep";
  r["freq"] = dwFreq;
  r["duration"] = dwDuration;
  call.world.record("sound", std::move(r));
  play_for(call, dwDuration,
           "Beep(" + std::to_string(dwFreq) + ", " + std::to_string(dwDuration) + ")");
  return TRUE;
}
