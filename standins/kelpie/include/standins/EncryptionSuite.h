// The encryption suite behind the stand-in of its proxy library Kelpie: whether kelp_Init
// succeeds, the volumes the suite has mounted, planned failures of the list, and what the
// program did with the library. One suite per world (World::part); tests and scenario verbs set
// it up and read back what the program did.
//
// The library's handles and lists are blocks of the world's LibraryHeap, and each record of a
// list is a real 0xB8-byte _UTL_VOLUME_STATUS with its fields at their offsets. A program that
// uses a list after freeing it, frees one twice or uses a released handle stops the run as a
// fault of the program.
#pragma once

#include <cstdint>
#include <vector>

#include "notifier/Kelpie.h"

namespace winsim {
class World;
}

namespace standins {

class EncryptionSuite {
 public:
  // A mounted volume as the list reports it: the record's fields at 0x80, 0x84 and 0x88.
  struct Volume {
    std::int32_t drive = 0;
    std::uint32_t field84 = 1;
    std::uint32_t field88 = 0;
  };

  // The suite of `world`, made on first use: kelp_Init succeeds, no volume is mounted.
  static EncryptionSuite &of(winsim::World &world);

  // ---- Set-up ------------------------------------------------------------------------------
  void set_init_fails(bool fails) { init_fails_ = fails; }
  // Lists handed out from now on hold this volume; a drive already listed is updated in place.
  void mount(const Volume &volume);
  // The volume leaves the list; false when no volume has this drive number.
  bool dismount(std::int32_t drive);
  // The next kelp_GetVolumeList call fails.
  void fail_next_list() { ++planned_list_failures_; }
  // Mounted volumes in the order they were first listed.
  const std::vector<Volume> &volumes() const { return volumes_; }

  // ---- What the program did ------------------------------------------------------------------
  int init_calls() const { return init_calls_; }
  // The record the last kelp_Init call was given.
  const _SDK_Kelp_Init_Param &init_param() const { return init_param_; }
  int lists_handed_out() const { return lists_handed_out_; }  // successful list calls
  int lists_given_back() const { return lists_given_back_; }  // kelp_FreeVolumeList calls
  int release_calls() const { return release_calls_; }

  // ---- Used by the library's functions -------------------------------------------------------
  // A new session handle, or null when initialization is to fail.
  void *open_session(const _SDK_Kelp_Init_Param &param);
  // Consumes a planned failure of the list: true when this list call fails.
  bool list_fails();
  // A new list of the mounted volumes; null when none is mounted.
  _UTL_VOLUME_STATUS *hand_out_list();
  void count_given_back() { ++lists_given_back_; }
  void count_release() { ++release_calls_; }

 private:
  std::vector<Volume> volumes_;
  bool init_fails_ = false;
  int planned_list_failures_ = 0;
  int init_calls_ = 0;
  _SDK_Kelp_Init_Param init_param_{};
  int lists_handed_out_ = 0;
  int lists_given_back_ = 0;
  int release_calls_ = 0;
};

}  // namespace standins
