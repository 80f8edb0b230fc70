#include "standins/EncryptionSuite.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "winsim/LibraryHeap.h"
#include "winsim/World.h"

namespace standins {
namespace {

// A session handle: a block of the library's own, so a released one is caught when used.
constexpr std::size_t kSessionSize = 16;

std::string at_now(winsim::World &world) {
  char buf[48];
  std::snprintf(buf, sizeof buf, " at %llu.%03llu s",
                static_cast<unsigned long long>(world.now() / 1000),
                static_cast<unsigned long long>(world.now() % 1000));
  return buf;
}

}  // namespace

EncryptionSuite &EncryptionSuite::of(winsim::World &world) {
  return world.part<EncryptionSuite>();
}

void EncryptionSuite::mount(const Volume &volume) {
  auto it = std::find_if(volumes_.begin(), volumes_.end(),
                         [&](const Volume &v) { return v.drive == volume.drive; });
  if (it == volumes_.end())
    volumes_.push_back(volume);
  else
    *it = volume;
}

bool EncryptionSuite::dismount(std::int32_t drive) {
  auto it = std::find_if(volumes_.begin(), volumes_.end(),
                         [&](const Volume &v) { return v.drive == drive; });
  if (it == volumes_.end()) return false;
  volumes_.erase(it);
  return true;
}

void *EncryptionSuite::open_session(const _SDK_Kelp_Init_Param &param) {
  ++init_calls_;
  init_param_ = param;
  if (init_fails_) return nullptr;
  winsim::World &world = winsim::World::get();
  return winsim::LibraryHeap::of(world).allocate(kSessionSize,
                                                 "the handle kelp_Init returned" + at_now(world));
}

bool EncryptionSuite::list_fails() {
  if (planned_list_failures_ == 0) return false;
  --planned_list_failures_;
  return true;
}

_UTL_VOLUME_STATUS *EncryptionSuite::hand_out_list() {
  ++lists_handed_out_;
  if (volumes_.empty()) return nullptr;
  winsim::World &world = winsim::World::get();
  void *block = winsim::LibraryHeap::of(world).allocate(
      volumes_.size() * sizeof(_UTL_VOLUME_STATUS),
      "the volume list kelp_GetVolumeList handed out" + at_now(world));
  auto *records = static_cast<_UTL_VOLUME_STATUS *>(block);
  for (std::size_t i = 0; i < volumes_.size(); ++i) {
    records[i].nDriveNo = volumes_[i].drive;
    records[i].dwAutoMounted = volumes_[i].field84;
    records[i].dwDismounting = volumes_[i].field88;
    records[i].pNext = i + 1 < volumes_.size() ? &records[i + 1] : nullptr;
  }
  return records;
}

}  // namespace standins
