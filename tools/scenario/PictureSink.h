// The run as one picture (simrun --svg): virtual time across, one lane per thing that shows
// state. Built as the run goes, keeping only what it draws, so a simulated week costs about as
// much as a day.
//   scenario       what the scenario did: each line that acts on the world a marker with the
//                  line on hover (a line with a warning in the error colour); the machine
//                  asleep from a suspend to its resume
//   LEDs           status LED (pin 10), RAID LEDs A (32) and B (12): lit, dark, or blinking
//                  (a band)
//   alarms         each sound of the RAID alarm and the system alarm as a bar of its length
//   status values  "SystemStatus" and the components' "...Status" codes, and the disks' states
//                  their messages tell: normal, warning, error, failed reading; above a
//                  component's status, the readings the scenario feeds it (fan speed,
//                  temperatures) with their values
//   event log      each entry a marker coloured by its type, its text on hover
//   services       start pending, running, stop pending, stopped (in the error colour with a
//                  nonzero exit code)
//   processes      one lane per program: each process from start to exit, its exit code (a
//                  nonzero one in the error colour)
//   other lanes    shell notifications, broadcasts, window messages, files and folders,
//                  registry changes, the service manager's requests, faults injected; an
//                  operation that failed in the error colour, its code named on hover
// A legend under the lanes says what each colour means.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "scenario/PictureMarks.h"
#include "scenario/PictureScale.h"
#include "scenario/PictureSteps.h"
#include "scenario/TimelineText.h"
#include "winsim/TraceSink.h"

namespace scenario {

class PictureSink : public winsim::TraceSink {
 public:
  // `span`: the virtual ms the picture spans (the scenario's end time).
  PictureSink(std::string title, std::uint64_t span);

  void take(const Record &record) override;

  // The picture of the run, which ended at `ended_at`; `stopped` when the world stopped it.
  std::string svg(std::uint64_t ended_at, bool stopped = false) const;

  // Where a lane was drawn (for tests): its top edge and height, in pixels.
  struct Place {
    double top;
    double height;
  };
  std::optional<Place> place_of(const std::string &label) const;
  const PictureScale &scale() const { return scale_; }

  enum class Look { Led, Status, Reading, Service, Sound, Event, Process, Mark, Power };

 private:
  struct Lane {
    std::string label;
    Look look;
    int section;
    std::size_t order;
    PictureSteps steps;
    PictureMarks marks;
    std::string beside;              // drawn right above this lane, when it is drawn
    std::vector<std::string> texts;  // a reading lane's values, its steps' values index them
  };
  // An LED's writes, read for blinking: stretches of under a second that follow each other.
  struct Led {
    int level = -1;
    std::uint64_t since = 0;  // the last change of level
    bool blinking = false;
    std::vector<std::pair<std::uint64_t, int>> unsure;  // changes not drawn yet
  };
  // The tones or wave of one alarm, played by one thread.
  struct Sounding {
    std::uint64_t from = 0;
    std::uint64_t to = 0;
    bool low_tone = false;  // the RAID alarm's 1567 Hz
    std::string file;
  };
  struct Running {
    std::uint64_t from;
    std::string image;
    std::string cmdline;
  };

  Lane &lane(const std::string &label, Look look, int section);
  void gpio(const Record &r, std::uint64_t t);
  void commit_led(Lane &lane, std::uint64_t t, int value);
  void close_led(Lane &lane, Led &led, std::uint64_t end);
  void sound(const Record &r, std::uint64_t t);
  void close_soundings(std::uint64_t t, bool all);
  void registry(const Record &r, std::uint64_t t);
  void event(const Record &r, std::uint64_t t);
  void disk_status(const Record &r, std::uint64_t t);
  void process_exit(std::uint32_t pid, std::uint64_t t, std::uint32_t code, bool ended);
  void mark(const std::string &label, const Record &r, std::uint64_t t, int rank);
  void scenario(const Record &r, std::uint64_t t);
  void reading(const Record &r, std::uint64_t t);
  void asleep(std::uint64_t from, std::uint64_t to);

  void draw_lane(std::string &out, const Lane &lane, double top, double height,
                 std::uint64_t end) const;
  void draw_steps(std::string &out, const Lane &lane, double top, double height,
                  std::uint64_t end) const;
  void draw_marks(std::string &out, const Lane &lane, double top, double height) const;
  std::string pin_of(const Lane &lane) const;
  std::vector<const Lane *> lanes_in_order() const;
  static std::string legend(const std::vector<const Lane *> &lanes, double top);
  static double legend_height(const std::vector<const Lane *> &lanes);
  static bool has_look(const std::vector<const Lane *> &lanes, Look look);

  std::string title_;
  PictureScale scale_;
  std::vector<Lane> lanes_;
  std::map<std::string, std::size_t> index_;
  std::map<int, Led> leds_;                      // by pin
  std::map<std::uint32_t, Sounding> soundings_;  // by thread
  std::map<std::uint32_t, Running> running_;     // by pid
  std::map<std::string, std::string> registry_;  // value -> data, to draw only changes
  std::optional<std::uint64_t> asleep_since_;    // the machine's suspend, until it resumes
  TimelineText text_;                            // the hover texts of records
};

}  // namespace scenario
