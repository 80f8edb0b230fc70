// PlaySoundA: sounds that last their length in virtual time and are traced as `sound`.
#include "core/Call.h"
#include "winsim/Audio.h"
#include "winsim/FileSystem.h"
#include "winsim/Text.h"
#include "winsim/win32.h"

using winsim::Call;

namespace {

// The calling thread waits while a sound of `ms` plays.
void play_for(Call &call, std::uint64_t ms, const std::string &what) {
  if (ms == 0) return;
  call.world.scheduler().block(what, call.world.now() + ms);
}

// The wave file PlaySoundA would play: its node when it exists with a play length.
const winsim::FileNode *playable_wave(Call &call, const std::string &full) {
  const winsim::FileNode *node = call.world.files().find(full);
  if (node == nullptr || node->directory || node->play_ms == 0) return nullptr;
  return node;
}

}  // namespace

BOOL WINAPI PlaySoundA(LPCSTR pszSound, HMODULE hmod, DWORD fdwSound) {
  (void)hmod;
  Call call("PlaySoundA");
  std::string name =
      pszSound == nullptr ? std::string() : winsim::to_utf8(pszSound, call.world.acp());
  if (auto e = call.fault({name}, ERROR_FILE_NOT_FOUND)) {
    call.set_error(*e);
    return FALSE;
  }
  if (pszSound == nullptr) return TRUE;  // stops a sound that plays asynchronously: none does
  if ((fdwSound & SND_FILENAME) == 0) call.not_simulated("for a sound that is not a file");
  auto full = winsim::FileSystem::resolve(name, call.process.current_dir);
  const winsim::FileNode *wave = full ? playable_wave(call, *full) : nullptr;
  const bool output = winsim::Audio::of(call.world).endpoint() != winsim::Audio::Endpoint::None;
  if (wave == nullptr || !output) {
    // What plays instead, and what an asynchronous call says before it finds out, winsim does
    // not know.
    if ((fdwSound & SND_NODEFAULT) == 0) call.not_simulated("without SND_NODEFAULT for no sound");
    if (fdwSound & SND_ASYNC) call.not_simulated("with SND_ASYNC for no sound");
    return FALSE;
  }
  std::uint64_t length = wave->play_ms;
  winsim::Trace::Record r;
  r["via"] = "wave";
  r["file"] = *full;
  r["duration"] = length;
  call.world.record("sound", std::move(r));
  if ((fdwSound & SND_ASYNC) == 0) play_for(call, length, "PlaySoundA(\"" + *full + "\")");
  return TRUE;
}
