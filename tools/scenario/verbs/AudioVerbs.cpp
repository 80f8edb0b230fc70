#include "scenario/verbs/AudioVerbs.h"

#include <string>

#include "winsim/Audio.h"

namespace scenario {
namespace {

void audio(winsim::World &world, const Line &line) {
  winsim::Audio &a = winsim::Audio::of(world);
  const std::string &what =
      line.word(1, "audio output (none, endpoint, endpoint-unnamed, endpoint-nonstring)");
  if (what == "none") {
    line.no_more_than(1);
    a.set_no_endpoint();
  } else if (what == "endpoint") {
    const std::string &name = line.word(2, "friendly name of the endpoint");
    line.no_more_than(2);
    a.set_endpoint(name);
  } else if (what == "endpoint-unnamed") {
    line.no_more_than(1);
    a.set_unnamed_endpoint();
  } else if (what == "endpoint-nonstring") {
    line.no_more_than(1);
    a.set_nonstring_endpoint();
  } else {
    throw LineError("audio: unknown output \"" + what +
                    "\" (none, endpoint \"<name>\", endpoint-unnamed or endpoint-nonstring)");
  }
}

void beepdev(winsim::World &world, const Line &line) {
  const std::string &mode = line.word(1, "beep device state (present, absent, refuse)");
  line.no_more_than(1);
  winsim::Audio &a = winsim::Audio::of(world);
  if (mode == "present")
    a.set_beep_device(winsim::Audio::BeepDevice::Present);
  else if (mode == "absent")
    a.set_beep_device(winsim::Audio::BeepDevice::Absent);
  else if (mode == "refuse")
    a.set_beep_device(winsim::Audio::BeepDevice::Refuse);
  else
    throw LineError("beepdev: unknown state \"" + mode + "\" (present, absent or refuse)");
}

}  // namespace

void add_audio_verbs(Verbs &verbs) {
  verbs.add("audio", audio,
            "audio none\naudio endpoint \"<name>\"\naudio endpoint-unnamed\n"
            "audio endpoint-nonstring");
  verbs.add("beepdev", beepdev, "beepdev present|absent|refuse");
}

}  // namespace scenario
