// The world's audio hardware, as the control face sets it up: the default render endpoint that
// the audio endpoint enumerator reports, and the beep device "\\.\BeepDev".
//
// A fresh world has no audio endpoint and a working beep device. What plays is traced as
// `sound` {via: "wave", file} (PlaySoundA), {via: "beepdev", freq, duration} (an 8-byte tone
// written to the beep device) or {via: "beep", freq, duration} (Beep); each lasts its length in
// virtual time. A wave file's length is its FileNode::play_ms.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace winsim {

class World;

class Audio {
 public:
  enum class Endpoint {
    None,       // no default render endpoint: GetDefaultAudioEndpoint fails with E_NOTFOUND
    Named,      // an endpoint with a friendly name
    Unnamed,    // an endpoint whose friendly name is not set (the value reads as VT_EMPTY)
    NonString,  // an endpoint whose friendly-name property holds a number (VT_UI4 1), no text
  };
  enum class BeepDevice {
    Present,  // opens and plays every 8-byte tone written to it
    Absent,   // CreateFileA fails with ERROR_FILE_NOT_FOUND
    Refuse,   // opens, but every write fails with ERROR_GEN_FAILURE
  };

  // The audio settings of `world`, made with the defaults on first use.
  static Audio &of(World &world);

  void set_no_endpoint();
  void set_endpoint(std::string_view friendly_name_utf8);
  void set_unnamed_endpoint();
  void set_nonstring_endpoint();
  void set_beep_device(BeepDevice mode) { beep_device_ = mode; }

  Endpoint endpoint() const { return endpoint_; }
  const std::string &friendly_name() const { return friendly_name_; }
  BeepDevice beep_device() const { return beep_device_; }

  // Threads whose CoInitialize has not been matched by CoUninitialize: 0 when a program cleaned
  // up after itself. (COM objects not released count among what a process left behind:
  // World::left_behind.)
  int com_initialized_threads() const;

  // Bookkeeping of the COM emulation.
  // CoInitialize and CoUninitialize of thread `tid`; the first returns the thread's new count.
  int com_enter(unsigned tid);
  void com_leave(unsigned tid);
  int com_count(unsigned tid) const;

 private:
  Endpoint endpoint_ = Endpoint::None;
  std::string friendly_name_;
  BeepDevice beep_device_ = BeepDevice::Present;
  std::vector<std::pair<unsigned, int>> com_threads_;  // tid, CoInitialize count
};

}  // namespace winsim
